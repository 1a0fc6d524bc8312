// The lookups that answer from what the server already gave: the storage
// system by world wide name and the DR group side by array and name, with
// the malformed answers a provider may give.
#include "zarn/smis/smis_lookup.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "drif/logger.h"
#include "tests/support/fake_platform.h"

namespace {

cim::ObjectPath system(std::vector<cim::KeyBinding> keys) {
  return cim::ObjectPath("", cim::NamespaceName(), "QNZARN_StorageSystem", std::move(keys));
}

TEST(FindStorageSystem, TakesTheFirstPathWhoseNameKeyIsTheWorldWideName) {
  const std::vector<cim::ObjectPath> systems = {
      system({}),                                                   // no keys at all
      system({cim::KeyBinding("CreationClassName", "50014380025B4A80")}),  // not the Name key
      system({cim::KeyBinding("Name", "50014380025b4a80")}),        // case differs
      system({cim::KeyBinding("CreationClassName", "QNZARN_StorageSystem"),
              cim::KeyBinding("Name", "50014380025B4A80")}),
      system({cim::KeyBinding("Name", "50014380025B4A80")}),        // a later match
  };
  const struct {
    const char* wwn;
    int expected;  // index in systems, -1 for none
  } cases[] = {
      {"50014380025B4A80", 3},
      {"50014380025b4a80", 2},
      {"50014380025B4C20", -1},
      {"", -1},
  };
  for (const auto& c : cases) {
    const cim::ObjectPath* found = findStorageSystem(systems, c.wwn);
    EXPECT_EQ(c.expected < 0 ? nullptr : &systems[c.expected], found) << c.wwn;
  }
}

// drenable's trace names each path without keys it passes on the way to the
// one sought, and only those.
TEST(FindStorageSystem, ReportsKeylessPathsBeforeTheMatchWhenGivenALog) {
  fake::ScopedPlatform platform;
  fake::ScopedEnv debugOn("DATAREP_DEBUG", std::string(""));
  fake::ScopedLogger logger;
  const std::vector<cim::ObjectPath> systems = {
      system({}), system({cim::KeyBinding("Name", "A")}), system({})};
  ASSERT_NE(nullptr, findStorageSystem(systems, "A", Logger::getInstance()));
  const std::string keyless =
      "DEBUG No keyBinding information found in a Storage System Object Path";
  EXPECT_EQ(std::vector<std::string>{keyless}, platform.messages());
  EXPECT_EQ(nullptr, findStorageSystem(systems, "B", Logger::getInstance()));
  EXPECT_EQ((std::vector<std::string>{keyless, keyless, keyless}), platform.messages());
  EXPECT_EQ(nullptr, findStorageSystem(systems, "B"));
  EXPECT_EQ(3u, platform.messages().size());
}

cim::Instance drGroup(const std::string& path, std::optional<std::string> instanceID,
                      std::optional<std::string> elementName) {
  cim::Instance group("QNZARN_ConsistencySet");
  group.setPath(cim::ObjectPath("", cim::NamespaceName(), "QNZARN_ConsistencySet",
                                {cim::KeyBinding("InstanceID", path)}));
  if (instanceID) group.addProperty(cim::Property("InstanceID", cim::Value(*instanceID)));
  if (elementName) group.addProperty(cim::Property("ElementName", cim::Value(*elementName)));
  return group;
}

TEST(FindDRGroupByInstanceIDPrefix, MatchesTheArrayByTheFirstSixteenCharacters) {
  const std::string A = "50014380025B4A80", B = "50014380025B4C20";
  const std::string DG01 = "\\Data Replication\\dg01";
  const std::vector<cim::Instance> groups = {
      drGroup("no-id", std::nullopt, DG01),            // passed over, not fatal
      drGroup("no-name", A + "\\DRG\\0000", std::nullopt),
      drGroup("b1", B + "\\DRG\\0001", DG01),
      drGroup("a1", A + "\\DRG\\0001", DG01),
      drGroup("a1-again", A + "\\DRG\\0009", DG01),
      drGroup("short", "5001", DG01),
  };
  const struct {
    std::string storage, name;
    const char* expected;  // the path's InstanceID key, nullptr for none
  } cases[] = {
      {A, DG01, "a1"},
      {B, DG01, "b1"},
      {A, "\\Data Replication\\dg02", nullptr},
      {A, "dg01", nullptr},
      {"5001", DG01, "short"},
      {"50014380025B4A8", DG01, nullptr},
  };
  for (const auto& c : cases) {
    const cim::Instance* found = findDRGroupByInstanceIDPrefix(groups, c.storage, c.name);
    if (c.expected == nullptr) {
      EXPECT_EQ(nullptr, found) << c.storage << " " << c.name;
    } else {
      ASSERT_NE(nullptr, found) << c.storage << " " << c.name;
      EXPECT_EQ(c.expected, *found->getPath().findKey("InstanceID")) << c.storage;
    }
  }
}

}  // namespace
