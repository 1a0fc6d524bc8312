#include "cim/value.h"

#include <gtest/gtest.h>

#include "cim/exception.h"
#include "cim/instance.h"

namespace cim {
namespace {

TEST(ValueTest, GettersCheckTypeAndShape) {
  Value s("disable");
  EXPECT_EQ(s.getString(), "disable");
  EXPECT_THROW(s.getUint32(), TypeMismatchException);
  EXPECT_THROW(s.getStringArray(), TypeMismatchException);

  Value n(std::uint32_t{32801});
  EXPECT_EQ(n.getUint32(), 32801u);
  EXPECT_THROW(n.getString(), TypeMismatchException);

  Value a(std::vector<std::uint32_t>{5, 0});
  EXPECT_EQ(a.getUint32Array(), (std::vector<std::uint32_t>{5, 0}));
  EXPECT_THROW(a.getUint32(), TypeMismatchException);

  // A null string reads as empty; a null number cannot be read.
  EXPECT_EQ(Value().getString(), "");
  EXPECT_THROW(Value::null(Type::UINT32).getUint32(), TypeMismatchException);
  EXPECT_TRUE(Value::null(Type::STRING, true).getStringArray().empty());

  // Text the server sent that is not a number is caught when read.
  EXPECT_THROW(Value::fromText(Type::UINT32, "12x").getUint32(), TypeMismatchException);
  EXPECT_THROW(Value::fromText(Type::UINT32, "4294967296").getUint32(),
               TypeMismatchException);
  EXPECT_EQ(Value::fromText(Type::UINT32, "4294967295").getUint32(), 4294967295u);
}

// Untyped parameters are strings but can be read by the type the caller
// expects.
TEST(ValueTest, UntypedValuesReadAsAnyType) {
  EXPECT_EQ(Value::untyped("7").getUint32(), 7u);
  EXPECT_EQ(Value::untyped("x").getString(), "x");
  EXPECT_EQ(Value::untypedArray({"32801"}).getUint32Array(),
            (std::vector<std::uint32_t>{32801}));
  EXPECT_THROW(Value::untyped("x").getUint32(), TypeMismatchException);
}

TEST(InstanceTest, PropertyLookupIgnoresCase) {
  Instance inst(Name("QNZARN_ConsistencySet"));
  inst.addProperty(Property("LinkState", Value("good")));
  EXPECT_TRUE(inst.hasProperty("linkstate"));
  EXPECT_EQ(inst.getProperty(Name("LINKSTATE")).getValue().getString(), "good");
  EXPECT_EQ(inst.findProperty("Suspend"), Instance::NOT_FOUND);
  EXPECT_THROW(inst.getProperty(Name("Suspend")), NoSuchPropertyException);
  inst.setProperty(Property("linkstate", Value("failed")));
  EXPECT_EQ(inst.getPropertyCount(), 1u);
  EXPECT_EQ(inst.getProperty(Name("LinkState")).getValue().getString(), "failed");
}

TEST(CIMExceptionTest, MessageNamesTheCodeOnce) {
  EXPECT_EQ(CIMException(6, "CIM_ERR_NOT_FOUND: no such set").getMessage(),
            "CIM_ERR_NOT_FOUND: no such set");
  EXPECT_EQ(CIMException(1, "provider terminated").getMessage(),
            "CIM_ERR_FAILED: provider terminated");
  EXPECT_EQ(CIMException(2, "").getMessage(), "CIM_ERR_ACCESS_DENIED");
  EXPECT_EQ(CIMException(99, "x").getMessage(), "CIM_ERR_99: x");
}

}  // namespace
}  // namespace cim
