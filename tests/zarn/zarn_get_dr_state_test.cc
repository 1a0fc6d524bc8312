// ZARNGetDRState against the array simulator: the device ID map tried
// first, the search on the array without it, the order of the WMS list and
// the silent skipping of servers, and the exact output.
#include "zarn/tools/zarn_get_dr_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/zarn/query_tool_fixture.h"

namespace {

using support::Lines;

const std::string A = "50014380025B4A80";
const std::string B = "50014380025B4C20";
const std::string DG01 = "\\Data Replication\\dg01";

// dg01 on both arrays with full state on the dc2 side; dg02 with a
// Fullcopystate of the wrong type and dg03 without one, both on dc1 only.
const char* const SCENARIO = R"({
  "arrays": [
    {"id": "dc1", "wwn": "50014380025B4A80"},
    {"id": "dc2", "wwn": "50014380025B4C20"}
  ],
  "drGroups": [
    {"name": "dg01", "sides": [
      {"array": "dc1", "instanceId": "A.0001",
       "state": {"Fullcopystate": "no"}},
      {"array": "dc2", "instanceId": "B.0001",
       "state": {"ParticipationType": "destination", "LinkState": "failed",
                 "LogState": "logging", "Fullcopystate": "yes"}}]},
    {"name": "dg02", "sides": [
      {"array": "dc1", "instanceId": "A.0002", "state": {"Fullcopystate": 7}}]},
    {"name": "dg03", "sides": [{"array": "dc1", "instanceId": "A.0003"}]}
  ]
})";

const std::string DC2_STATE =
    " participationType: destination\n"
    " linkState: failed\n"
    " logState: logging\n"
    " fullcopyState: yes\n";

std::string notFound(const std::string& group, const std::string& wwn) {
  return "Error - In getting DR group state or the DR Group \"" + group +
         "\" is not found in the array " + wwn + ".\n" +
         "Make sure valid active WMS is there in the WMS list.\n";
}

std::string noDashes(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
  return text;
}

class ZARNGetDRStateTest : public support::QueryToolTest {
 protected:
  void SetUp() override { startSim(SCENARIO); }

  int query(const std::string& group, const std::string& wwn, const Lines& wms) {
    ZARNGetDRState tool({&sys.console, &std::cerr});
    tool.setMapFileName(mapFile());
    Lines words{"ZARNGetDRState", group, wwn};
    words.insert(words.end(), wms.begin(), wms.end());
    return support::runWith(tool, words);
  }
};

TEST_F(ZARNGetDRStateTest, PrintsTheFourPropertiesThroughTheMapEntry) {
  writeMap({simEntry()}, {{B, DG01, "B.0001", ""}});
  EXPECT_EQ(0, query("dg01", "5001-4380-025B-4C20", {"127.0.0.1"}));
  // Exactly the four lines, one write, nothing else.
  EXPECT_EQ(Lines{DC2_STATE}, sys.console.writes);
  // The map gave the path: no search on the array.
  EXPECT_EQ(Lines{"GetInstance QNZARN_ConsistencySet.InstanceID=\"B.0001\""}, requests());
}

TEST_F(ZARNGetDRStateTest, SearchesTheArrayWithoutAMapEntry) {
  // The entry for another array does not help.
  writeMap({simEntry()}, {{A, DG01, "A.0001", ""}});
  EXPECT_EQ(0, query("dg01", B, {"127.0.0.1"}));
  EXPECT_EQ(DC2_STATE, output());
  // The array's DR groups, each read for its name; then the state.
  Lines asked = requests();
  ASSERT_EQ(4u, asked.size()) << ::testing::PrintToString(asked);
  EXPECT_EQ("EnumerateInstanceNames QNZARN_StorageSystem", asked[0]);
  EXPECT_EQ(0u, asked[1].rfind("AssociatorNames QNZARN_StorageSystem.", 0)) << asked[1];
  EXPECT_NE(std::string::npos, asked[1].find(B)) << asked[1];
  EXPECT_EQ("GetInstance QNZARN_ConsistencySet.InstanceID=\"B.0001\"", asked[2]);
  EXPECT_EQ(asked[2], asked[3]);
}

TEST_F(ZARNGetDRStateTest, WorldWideNameWithOrWithoutDashesGivesTheSameState) {
  writeMap({simEntry()});
  for (const std::string& wwn : {B, std::string("5001-4380-025B-4C20"),
                                std::string("-50014380025B4C20--")}) {
    sys.console.writes.clear();
    EXPECT_EQ(0, query("dg01", wwn, {"127.0.0.1"})) << wwn;
    EXPECT_EQ(DC2_STATE, output()) << wwn;
  }
}

TEST_F(ZARNGetDRStateTest, PrefixGivenTwiceIsNotFound) {
  writeMap({simEntry()});
  ZARNGetDRState tool({&sys.console, &std::cerr});
  tool.setMapFileName(mapFile());
  EXPECT_EQ(-1, support::runWith(tool, {"ZARNGetDRState", DG01, B, "127.0.0.1"}));
  EXPECT_EQ("\\Data Replication\\" + DG01, tool.getDRGroup());
  EXPECT_EQ(notFound("\\Data Replication\\" + DG01, B), output());
}

TEST_F(ZARNGetDRStateTest, SkipsUnknownAndUnreachableServersSilently) {
  writeMap({support::QueryToolTest::deadEntry("smis-down"), simEntry()});
  EXPECT_EQ(0, query("dg01", B, {"smis-unknown", "smis-down", "127.0.0.1"}));
  EXPECT_EQ(DC2_STATE, output());
}

TEST_F(ZARNGetDRStateTest, EmptyServerNameStopsTheSearch) {
  writeMap({simEntry()});
  EXPECT_EQ(-1, query("dg01", B, {"", "127.0.0.1"}));
  EXPECT_EQ("Error - Failed to get a valid WMS in the Local WMS list.\n"
            "Make sure the active WMS is there in the list. \n",
            output());
  EXPECT_EQ(Lines{}, requests());
}

TEST_F(ZARNGetDRStateTest, WrongMapIdentifierFailsOnEveryServer) {
  // Two entries reaching the same simulator: each is asked once, through
  // the map, and neither searches the array.
  writeMap({simEntry(), simEntry("localhost")}, {{B, DG01, "B.9999", ""}});
  EXPECT_EQ(-1, query("dg01", B, {"127.0.0.1", "localhost"}));
  EXPECT_EQ(notFound(DG01, B), output());
  EXPECT_EQ((Lines{"GetInstance QNZARN_ConsistencySet.InstanceID=\"B.9999\"",
                   "GetInstance QNZARN_ConsistencySet.InstanceID=\"B.9999\""}),
            requests());
}

// Whatever goes wrong on the only server, the outcome is the same two
// lines and nothing of the state.
TEST_F(ZARNGetDRStateTest, LookupAndReadFailuresEndWithTheNotFoundLines) {
  writeMap({simEntry()});
  struct Case {
    const char* what;
    std::string group;
    std::string wwn;
  } cases[] = {
      {"unknown array", "dg01", "5001-4380-025B-FFFF"},
      {"unknown DR group", "dg09", B},
      {"DR group on the other array only", "dg02", B},
      {"Fullcopystate not a string", "dg02", A},
      {"Fullcopystate absent", "dg03", A},
  };
  for (const Case& c : cases) {
    sys.console.writes.clear();
    EXPECT_EQ(-1, query(c.group, c.wwn, {"127.0.0.1"})) << c.what;
    EXPECT_EQ(notFound("\\Data Replication\\" + c.group, noDashes(c.wwn)), output())
        << c.what;
  }
}

TEST_F(ZARNGetDRStateTest, NoServerListIsReported) {
  // No map file at all.
  EXPECT_EQ(-1, query("dg01", B, {"127.0.0.1"}));
  EXPECT_EQ("Error - " + mapFile() + " file does not exist or could not be opened\n",
            output());
}

TEST_F(ZARNGetDRStateTest, UnreadableDeviceMapFallsBackToTheSearch) {
  writeMap({simEntry()});
  // A device ID map section that does not end: the map loads empty.
  std::string text = support::slurp(mapFile());
  support::spit(mapFile(), "<zarnmap>\n" + B + "\n" + text);
  EXPECT_EQ(0, query("dg01", B, {"127.0.0.1"}));
  EXPECT_EQ(DC2_STATE, output());
}

}  // namespace
