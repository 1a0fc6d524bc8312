#include "cim/object_path.h"

#include <gtest/gtest.h>

#include "cim/exception.h"

namespace cim {
namespace {

// Values with every character the text form treats specially survive a
// round trip, and the text shows backslashes and quotes escaped once.
TEST(ObjectPathTest, KeyValuesRoundTripThroughTextForm) {
  struct Case {
    std::string raw;
    std::string quoted;
  } cases[] = {
      {R"(ARRAY1\CG\0001)", R"("ARRAY1\\CG\\0001")"},
      {R"(say "hi")", R"("say \"hi\"")"},
      {R"(a\"b)", R"("a\\\"b")"},
      {R"(ends\)", R"("ends\\")"},
      {"a,b=c:d.e", R"("a,b=c:d.e")"},
      {"", R"("")"},
      {"\\Data Replication\\dg01", R"("\\Data Replication\\dg01")"},
  };
  for (const auto& c : cases) {
    ObjectPath path("", NamespaceName("root/ZARN"), Name("QNZARN_ConsistencySet"),
                    {KeyBinding("InstanceID", c.raw)});
    std::string text = path.toString();
    EXPECT_EQ(text, "root/ZARN:QNZARN_ConsistencySet.InstanceID=" + c.quoted) << c.raw;
    ObjectPath back = ObjectPath::parse(text);
    ASSERT_EQ(back.getKeyBindings().size(), 1u) << c.raw;
    EXPECT_EQ(back.getKeyBindings()[0].getValue(), c.raw);
    EXPECT_EQ(back.getKeyBindings()[0].getType(), KeyBinding::STRING) << c.raw;
    EXPECT_EQ(back, path) << c.raw;
  }
}

TEST(ObjectPathTest, ParsesHostNamespaceClassAndKeyKinds) {
  ObjectPath p = ObjectPath::parse(
      R"(//array1.example.com:5989/root/ZARN:QNZARN_X.Name="ARRAY1\\RS",Count=42,On=TRUE)");
  EXPECT_EQ(p.getHost(), "array1.example.com:5989");
  EXPECT_EQ(p.getNameSpace().getString(), "root/ZARN");
  EXPECT_EQ(p.getClassName().getString(), "QNZARN_X");
  ASSERT_EQ(p.getKeyBindings().size(), 3u);
  EXPECT_EQ(p.getKeyBindings()[0].getValue(), R"(ARRAY1\RS)");
  EXPECT_EQ(p.getKeyBindings()[1].getType(), KeyBinding::NUMERIC);
  EXPECT_EQ(p.getKeyBindings()[1].getValue(), "42");
  EXPECT_EQ(p.getKeyBindings()[2].getType(), KeyBinding::BOOLEAN);
  EXPECT_EQ(p.toString(),
            R"(//array1.example.com:5989/root/ZARN:QNZARN_X.Name="ARRAY1\\RS",Count=42,On=TRUE)");

  // A colon inside a key value is not a namespace separator.
  ObjectPath q = ObjectPath::parse(R"(C.K="a:b")");
  EXPECT_TRUE(q.getNameSpace().isNull());
  EXPECT_EQ(q.getKeyBindings()[0].getValue(), "a:b");

  // A quoted path with keys is a reference key and keeps its own escaping.
  ObjectPath r = ObjectPath::parse(R"(A.Ref="root/ZARN:C.K=\"v\\\\1\"")");
  ASSERT_EQ(r.getKeyBindings().size(), 1u);
  EXPECT_EQ(r.getKeyBindings()[0].getType(), KeyBinding::REFERENCE);
  EXPECT_EQ(r.getKeyBindings()[0].getValue(), R"(root/ZARN:C.K="v\\1")");
  EXPECT_EQ(ObjectPath::parse(r.toString()), r);
}

TEST(ObjectPathTest, RejectsMalformedText) {
  const char* bad[] = {
      "",                      // no class
      "C.",                    // no key after '.'
      "C.K",                   // no '='
      "C.K=",                  // no value
      R"(C.K="open)",          // unterminated
      R"(C.K="a\b")",          // only \\ and \" are legal
      R"(C.K="a"x)",           // junk after the quote
      "C.K=maybe",             // neither boolean nor number
      "C.K=Tru",               // bad boolean
      R"(C.K="a",)",           // dangling comma
      "//host",                // host without '/'
      "bad ns:C",              // illegal namespace
      "1C",                    // illegal class name
  };
  for (const char* text : bad)
    EXPECT_THROW(ObjectPath::parse(text), InvalidObjectPathException) << text;
}

TEST(ObjectPathTest, EqualityIgnoresNameCaseAndKeyOrderButNotValueCase) {
  ObjectPath a = ObjectPath::parse(R"(root/zarn:qnzarn_x.A="v",B="w")");
  ObjectPath b = ObjectPath::parse(R"(ROOT/ZARN:QNZARN_X.b="w",a="v")");
  EXPECT_EQ(a, b);
  EXPECT_NE(a, ObjectPath::parse(R"(root/zarn:qnzarn_x.A="V",B="w")"));
  EXPECT_NE(a, ObjectPath::parse(R"(root/zarn:qnzarn_x.A="v")"));
  ASSERT_NE(a.findKey("b"), nullptr);
  EXPECT_EQ(*a.findKey("b"), "w");
  EXPECT_EQ(a.findKey("c"), nullptr);
}

TEST(NameTest, LegalNamesAndNamespaces) {
  EXPECT_NO_THROW(Name("QNZARN_StorageSystem"));
  EXPECT_NO_THROW(Name("_x1"));
  EXPECT_TRUE(Name("").isNull());
  EXPECT_THROW(Name("1abc"), InvalidNameException);
  EXPECT_THROW(Name("a b"), InvalidNameException);
  EXPECT_EQ(Name("ElementName"), Name("elementname"));

  EXPECT_EQ(NamespaceName("/root/ZARN").getString(), "root/ZARN");
  EXPECT_EQ(NamespaceName("root/ZARN"), NamespaceName("ROOT/zarn"));
  for (const char* bad : {"", "/", "root//ZARN", "root/", "root/ZA RN", "root:x"})
    EXPECT_THROW(NamespaceName{bad}, InvalidNameException) << bad;
}

}  // namespace
}  // namespace cim
