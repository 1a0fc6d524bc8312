// ZARNGetAttributes against the array simulator: local and remote array
// told apart by this node's host name (the fake platform's), the node
// sorting, the server lists, and every warning case.
#include "zarn/tools/zarn_get_attributes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/zarn/query_tool_fixture.h"

namespace {

using support::Lines;

const std::string A = "50014380025B4A80";
const std::string B = "50014380025B4C20";
// The replicated disk of dg01, under the same name on both arrays.
const std::string DISK = "6001438002A3C1E00000A00001240000";
const std::string DISK_DASHED = "6001-4380-02A3-C1E0-0000-A000-0124-0000";

// dg01 replicates the disk between dc1 (presented to node1 and node2) and
// dc2 (node3 and node4). Other disks: "NOHOSTS" presented to nobody on dc2,
// "ONEARRAY" only on dc1, "TWOGROUPS" in dg05 and dg06, "NOGROUP" in no DR
// group, "NONAME" in a DR group without a name.
std::string scenario(bool manageDc2 = true) {
  return std::string(R"({
  "arrays": [
    {"id": "dc1", "wwn": "50014380025B4A80", "volumes": [
      {"id": "d1", "wwn": "6001438002A3C1E00000A00001240000", "hosts": ["node1", "node2"]},
      {"id": "d2", "wwn": "NOHOSTS", "hosts": ["node1"]},
      {"id": "d3", "wwn": "ONEARRAY", "hosts": ["node1"]},
      {"id": "d4", "wwn": "TWOGROUPS", "hosts": ["node1"]},
      {"id": "d5", "wwn": "NOGROUP", "hosts": ["node1"]},
      {"id": "d6", "wwn": "NONAME", "hosts": ["node1"]}]},
    {"id": "dc2", "wwn": "50014380025B4C20", "managed": )") +
         (manageDc2 ? "true" : "false") + R"(, "volumes": [
      {"id": "d1", "wwn": "6001438002A3C1E00000A00001240000", "hosts": ["node3", "node4"]},
      {"id": "d2", "wwn": "NOHOSTS"}]}
  ],
  "drGroups": [
    {"name": "dg01", "sides": [
      {"array": "dc1", "volumes": ["d1", "d2"]}, {"array": "dc2", "volumes": ["d1", "d2"]}]},
    {"name": "dg03", "sides": [{"array": "dc1", "volumes": ["d3"]}]},
    {"name": "dg05", "sides": [{"array": "dc1", "volumes": ["d4"]}]},
    {"name": "dg06", "sides": [{"array": "dc1", "volumes": ["d4"]}]},
    {"name": "dg07", "elementName": "", "sides": [{"array": "dc1", "volumes": ["d6"]}]}
  ]
})";
}

std::string attributes(const std::string& group, const std::string& dc1,
                       const std::string& smis, const std::string& dc1Hosts,
                       const std::string& dc2, const std::string& dc2Hosts) {
  return "dts/yrzarn/DR_GROUP_NAME\t" + group + "\n" +
         "dts/yrzarn/DC1_STORAGE_WORLD_WIDE_NAME\t" + dc1 + "\n" +
         "dts/yrzarn/DC1_SMIS_LIST\t" + smis + "\n" +
         "dts/yrzarn/DC1_HOST_LIST\t" + dc1Hosts + "\n" +
         "dts/yrzarn/DC2_STORAGE_WORLD_WIDE_NAME\t" + dc2 + "\n" +
         "dts/yrzarn/DC2_SMIS_LIST\t" + smis + "\n" +
         "dts/yrzarn/DC2_HOST_LIST\t" + dc2Hosts + "\n\n";
}

const std::string NOTHING_FOUND =
    "WARNING: Unable to find Local Array WWN.\n"
    "WARNING: No DR Group is found for the device.\n"
    "WARNING: Unable to find Remote Array WWN.\n"
    "WARNING: Unable to retrieve hosts for the local Array.\n"
    "WARNING: Unable to retrieve hosts for the Remote Array.\n";

class ZARNGetAttributesTest : public support::QueryToolTest {
 protected:
  void SetUp() override { startSim(scenario()); }

  int find(const std::string& wwn,
           const Lines& nodes = {"node4", "node1", "node3", "node2"}) {
    ZARNGetAttributes tool({&sys.console, &std::cerr});
    tool.setMapFileName(mapFile());
    Lines words{"ZARNGetAttributes", wwn};
    words.insert(words.end(), nodes.begin(), nodes.end());
    return support::runWith(tool, words);
  }
};

TEST_F(ZARNGetAttributesTest, ThisNodesArrayIsDC1AndTheNodesAreSorted) {
  struct Case {
    const char* host;
    std::string expected;
  } cases[] = {
      {"node1", attributes("dg01", "5001-4380-025B-4A80", "127.0.0.1", "node1,node2",
                           "5001-4380-025B-4C20", "node4,node3")},
      {"node4", attributes("dg01", "5001-4380-025B-4C20", "127.0.0.1", "node4,node3",
                           "5001-4380-025B-4A80", "node1,node2")},
  };
  writeMap({simEntry()});
  for (const Case& c : cases) {
    sys.host.name = c.host;
    sys.console.writes.clear();
    // The device's name with dashes between groups matches the volume's.
    EXPECT_EQ(0, find(DISK_DASHED)) << c.host;
    // One write: the attribute lines and the empty line.
    EXPECT_EQ(Lines{c.expected}, sys.console.writes) << c.host;
  }
}

TEST_F(ZARNGetAttributesTest, EveryServerIsAskedAndUnreachableOnesAreSilent) {
  // Two names of the same simulator and one dead server.
  writeMap({simEntry(), deadEntry("smis-down"), simEntry("localhost")});
  EXPECT_EQ(0, find(DISK, {"node1", "node3"}));
  EXPECT_EQ(attributes("dg01", "5001-4380-025B-4A80", "127.0.0.1,localhost", "node1",
                       "5001-4380-025B-4C20", "node3"),
            output());
  EXPECT_EQ(2u, sim().requests("EnumerateInstanceNames").size());
}

TEST_F(ZARNGetAttributesTest, ServerManagingOneArrayIsInNeitherList) {
  support::ZarnSim dc1Only(ZARNSIM_BIN, scenario(false));
  ASSERT_TRUE(dc1Only.ok()) << dc1Only.error();
  support::SmisEntry partial = simEntry("localhost");
  partial.port = dc1Only.port();
  writeMap({partial, simEntry()});
  EXPECT_EQ(0, find(DISK, {"node1", "node3"}));
  EXPECT_EQ(attributes("dg01", "5001-4380-025B-4A80", "127.0.0.1", "node1",
                       "5001-4380-025B-4C20", "node3"),
            output());
  EXPECT_EQ(1u, dc1Only.requests("EnumerateInstanceNames").size());
}

TEST_F(ZARNGetAttributesTest, NodeOnNeitherArrayIsRefused) {
  writeMap({simEntry()});
  EXPECT_EQ(-1, find(DISK, {"node1", "node9", "node3"}));
  EXPECT_EQ("WARNING: node9 is not connected to both Local Array " + A +
                " and Remote Array " + B + "\n",
            output());
}

TEST_F(ZARNGetAttributesTest, DiskInTwoDRGroupsIsUnsupported) {
  writeMap({simEntry()});
  EXPECT_EQ(-1, find("TWO-GROUPS"));
  EXPECT_EQ("WARNING: Unsupported configuration. Multiple dr groups have been detected "
            "for a single package.\n"
            "The device TWOGROUPS belongs to DR Group dg05\n"
            "The device TWOGROUPS belongs to DR Group dg06\n",
            output());
}

TEST_F(ZARNGetAttributesTest, IncompleteFindingsAreWarnedInOrder) {
  writeMap({simEntry()});
  struct Case {
    const char* what;
    std::string host;
    std::string wwn;
    std::string expected;
  } cases[] = {
      {"this node on neither array", "node9", DISK,
       "WARNING: Unable to find Local Array WWN.\n"
       "WARNING: Local host doesn't match with any of the Hosts-list in the Local and "
       "Remote Arrays.\n"
       "WARNING: Unable to retrieve hosts for the local Array.\n"},
      {"disk presented to no host on dc2", "node1", "NOHOSTS",
       "WARNING: Unable to retrieve hosts for the Remote Array.\n"},
      {"disk on one array only", "node1", "ONEARRAY",
       "WARNING: Unable to find Remote Array WWN.\n"
       "WARNING: Unable to retrieve hosts for the Remote Array.\n"},
      {"disk in no DR group", "node1", "NOGROUP",
       "WARNING: No DR Group is found for the device.\n"
       "WARNING: Unable to find Remote Array WWN.\n"
       "WARNING: Unable to retrieve hosts for the Remote Array.\n"},
      {"DR group without a name", "node1", "NONAME",
       "WARNING: No DR Group is found for the device.\n"
       "WARNING: Unable to find Remote Array WWN.\n"
       "WARNING: Unable to retrieve hosts for the Remote Array.\n"},
  };
  for (const Case& c : cases) {
    sys.host.name = c.host;
    sys.console.writes.clear();
    EXPECT_EQ(-1, find(c.wwn)) << c.what;
    EXPECT_EQ(c.expected, output()) << c.what;
  }
}

TEST_F(ZARNGetAttributesTest, NoArrayFoundNamesTheServers) {
  struct Case {
    const char* what;
    std::vector<support::SmisEntry> servers;
    std::string wwn;
    std::string expected;
  } cases[] = {
      {"empty server list", {}, DISK, NOTHING_FOUND},
      {"no server reachable", {deadEntry("smis-a"), deadEntry("smis-b")}, DISK,
       "WARNING: SMIS Servers smis-a smis-b could not be reached.\n" + NOTHING_FOUND},
      {"disk unknown", {deadEntry("smis-a"), simEntry()}, "600000000000",
       "WARNING: SMIS Servers smis-a could not be reached.\n"
       "WARNING: SMIS Servers 127.0.0.1 are not managing the cluster arrays.\n" +
           NOTHING_FOUND},
  };
  for (const Case& c : cases) {
    if (c.servers.empty())
      support::spit(mapFile(), "");  // a map file without a server list
    else
      writeMap(c.servers);
    sys.console.writes.clear();
    EXPECT_EQ(-1, find(c.wwn)) << c.what;
    EXPECT_EQ(c.expected, output()) << c.what;
  }
}

TEST_F(ZARNGetAttributesTest, MissingMapFileIsAWarning) {
  EXPECT_EQ(-1, find(DISK));
  EXPECT_EQ("WARNING: " + mapFile() + " file does not exist or could not be opened\n",
            output());
}

TEST_F(ZARNGetAttributesTest, ServerFailingMidwayCountsAsUnreachable) {
  support::ZarnSim failing(ZARNSIM_BIN, R"({
    "arrays": [{"id": "dc1", "wwn": "50014380025B4A80"}],
    "faults": [{"operation": "AssociatorNames", "action": "cimError"}]})");
  ASSERT_TRUE(failing.ok()) << failing.error();
  support::SmisEntry entry = simEntry("smis-failing");
  entry.port = failing.port();
  writeMap({entry});
  EXPECT_EQ(-1, find(DISK));
  EXPECT_EQ("WARNING: SMIS Servers smis-failing could not be reached.\n" + NOTHING_FOUND,
            output());
}

TEST_F(ZARNGetAttributesTest, ArrayNameTooShortForTheStorageFormatIsReported) {
  support::ZarnSim shortNames(ZARNSIM_BIN, R"({
    "arrays": [
      {"id": "dc1", "wwn": "5001438002", "volumes": [
        {"id": "d1", "wwn": "DISK", "hosts": ["node1"]}]},
      {"id": "dc2", "wwn": "50014380025B4C20", "volumes": [
        {"id": "d1", "wwn": "DISK", "hosts": ["node3"]}]}],
    "drGroups": [{"name": "dg01", "sides": [
      {"array": "dc1", "volumes": ["d1"]}, {"array": "dc2", "volumes": ["d1"]}]}]})");
  ASSERT_TRUE(shortNames.ok()) << shortNames.error();
  support::SmisEntry entry = simEntry();
  entry.port = shortNames.port();
  writeMap({entry});
  EXPECT_EQ(-1, find("DISK", {"node1", "node3"}));
  EXPECT_EQ("WARNING: The array WWN 5001438002 is shorter than 16 characters.\n", output());
}

TEST(ZARNGetAttributesText, StorageFormatAndDRGroupNames) {
  std::string formatted;
  EXPECT_TRUE(ZARNGetAttributes::convertToStorageFormat(A, &formatted));
  EXPECT_EQ("5001-4380-025B-4A80", formatted);
  EXPECT_TRUE(ZARNGetAttributes::convertToStorageFormat(A + "FF", &formatted));
  EXPECT_EQ("5001-4380-025B-4A80", formatted);
  EXPECT_FALSE(ZARNGetAttributes::convertToStorageFormat("50014380025B4A8", &formatted));

  const std::pair<const char*, const char*> groups[] = {
      {"\\Data Replication\\dg01", "dg01"},
      {"\\Data Replication\\dg01\\", "dg01"},
      {"dg01", "dg01"},
      {"a\\b\\c", "c"},
  };
  for (const auto& g : groups) EXPECT_EQ(g.second, ZARNGetAttributes::extractDRGroup(g.first));
}

}  // namespace
