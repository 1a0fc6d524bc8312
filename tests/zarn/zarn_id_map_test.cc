#include "zarn/store/zarn_id_map.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <list>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"
#include "tests/support/map_store.h"
#include "zarn/store/smis_manager.h"

namespace {

DeviceID dev(const std::string& id, const std::string& wwids) {
  DeviceID d;
  d.instanceID = id;
  d.wwidList = wwids;
  return d;
}

// Every entry as "storage|group|id|wwids", in iteration order.
std::vector<std::string> entriesOf(ZARNIDMap& m) {
  std::vector<std::string> out;
  m.resetZARNMap();
  std::string storage, group;
  DeviceID d;
  while (m.getNextElement(storage, group, d) == 0)
    out.push_back(storage + "|" + group + "|" + d.instanceID + "|" + d.wwidList);
  return out;
}

const std::string DG = "\\Data Replication\\";

struct ReadCase {
  const char* name;
  std::string text;
  int result;
  std::vector<std::string> entries;
};

std::ostream& operator<<(std::ostream& os, const ReadCase& c) {
  return os << c.name;
}

class ZARNIDMapReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ZARNIDMapReadTest, LoadsTheDeviceIDMapSection) {
  const ReadCase& c = GetParam();
  ZARNIDMap m;
  m.setID("stale", "g", dev("i", ""));
  EXPECT_EQ(c.result, m.readText(c.text));
  EXPECT_EQ(c.result == 0 ? "" : "Corrupted ZARN data in the map file",
            m.getErrorMessage());
  EXPECT_EQ(c.entries, entriesOf(m));
}

const std::string CORRUPT_PREFIX = "<zarnmap>\nS1\n<drgroup>\n";
const std::string LONG_ID(400, 'i');

INSTANTIATE_TEST_SUITE_P(
    Layouts, ZARNIDMapReadTest,
    testing::Values(
        ReadCase{"EmptyFile", "", 0, {}},
        ReadCase{"OnlyAServerList",
                 "#\n<smisdata>\n" + support::entry("a@1&ns&N&u", "p") +
                     "</smisdata>\n",
                 0,
                 {}},
        ReadCase{"TwoStorageSystems",
                 "<zarnmap>\nS1\n<drgroup>\n" + DG + "g1:id1\n<wwidlist>\nw1\nw2\n"
                 "</wwidlist>\n" + DG + "g2:id2\n<wwidlist>\n</wwidlist>\n"
                 "</drgroup>\nS2\n<drgroup>\n" + DG + "g1:id3\n<wwidlist>\nw3\n"
                 "</wwidlist>\n</drgroup>\n</zarnmap>\n#\nignored\n",
                 0,
                 {"S1|" + DG + "g1|id1|w1,w2", "S1|" + DG + "g2|id2|",
                  "S2|" + DG + "g1|id3|w3"}},
        ReadCase{"RunsOfColonsCountAsOne",
                 CORRUPT_PREFIX + "::g::id:extra\n<wwidlist>\n</wwidlist>\n"
                 "</drgroup>\n</zarnmap>",
                 0,
                 {"S1|g|id|"}},
        ReadCase{"LongLinesAreReadWhole",
                 CORRUPT_PREFIX + "g:" + LONG_ID + "\n<wwidlist>\n" +
                     std::string(300, 'w') + "\n</wwidlist>\n</drgroup>\n"
                     "</zarnmap>\n",
                 0,
                 {"S1|g|" + LONG_ID + "|" + std::string(300, 'w')}},
        ReadCase{"MissingEndTag",
                 CORRUPT_PREFIX + "g:i\n<wwidlist>\n</wwidlist>\n</drgroup>\n",
                 1, {}},
        ReadCase{"DRGroupListWithoutGroups",
                 CORRUPT_PREFIX + "</drgroup>\n</zarnmap>\n", 1, {}},
        ReadCase{"DRGroupLineWithoutID",
                 CORRUPT_PREFIX + "g:\n<wwidlist>\n</wwidlist>\n</drgroup>\n"
                 "</zarnmap>\n",
                 1, {}},
        ReadCase{"MissingWWIDListTag",
                 CORRUPT_PREFIX + "g:i\nw1\n</wwidlist>\n</drgroup>\n"
                 "</zarnmap>\n",
                 1, {}},
        ReadCase{"UnterminatedWWIDList",
                 CORRUPT_PREFIX + "g:i\n<wwidlist>\nw1\n", 1, {}},
        ReadCase{"MissingDRGroupTag",
                 "<zarnmap>\nS1\ng:i\n<wwidlist>\n</wwidlist>\n</drgroup>\n"
                 "</zarnmap>\n",
                 1, {}},
        ReadCase{"EmptyStorageName",
                 "<zarnmap>\n\n<drgroup>\ng:i\n<wwidlist>\n</wwidlist>\n"
                 "</drgroup>\n</zarnmap>\n",
                 1, {}}));

TEST(ZARNIDMapTest, SetIDReplacesAndGetIDIsCaseSensitive) {
  ZARNIDMap m;
  EXPECT_EQ(0, m.setID("S", "g", dev("1", "a")));
  EXPECT_EQ(0, m.setID("S", "g", dev("2", "b")));
  DeviceID d;
  EXPECT_EQ(0, m.getID("S", "g", d));
  EXPECT_EQ("2", d.instanceID);
  EXPECT_EQ("b", d.wwidList);
  EXPECT_EQ(1u, entriesOf(m).size());
  EXPECT_EQ(1, m.getID("s", "G", d));
  EXPECT_EQ("Device ID of the storage s and DR group G not found in the "
            "yrzarn.map",
            m.getErrorMessage());
  EXPECT_EQ("2", d.instanceID);
}

TEST(ZARNIDMapTest, EmptyNamesAreRefused) {
  ZARNIDMap m;
  DeviceID d;
  EXPECT_EQ(1, m.setID("", "g", d));
  EXPECT_EQ("(Internal) - Set ZARN ID map - invalid storage name",
            m.getErrorMessage());
  EXPECT_EQ(1, m.getID("S", "", d));
  EXPECT_EQ("(Internal) - Set ZARN ID map - invalid DR group name",
            m.getErrorMessage());
  EXPECT_TRUE(entriesOf(m).empty());
}

TEST(ZARNIDMapTest, IterationEndsWithOneAndAnEmptyMapGivesTwo) {
  ZARNIDMap m;
  std::string s, g;
  DeviceID d;
  EXPECT_EQ(2, m.getNextElement(s, g, d));
  EXPECT_EQ("No ID in the map.", m.getErrorMessage());
  m.setID("S", "g:with:colons", dev("i", ""));
  m.resetZARNMap();
  EXPECT_EQ(0, m.getNextElement(s, g, d));
  EXPECT_EQ("S", s);
  EXPECT_EQ("g:with:colons", g);
  m.getErrorMessage().clear();
  EXPECT_EQ(1, m.getNextElement(s, g, d));
  EXPECT_EQ("", m.getErrorMessage());
}

TEST(ZARNIDMapTest, GetListGroupsByStorageInKeyOrderAndExtends) {
  ZARNIDMap m;
  m.setID("AB", "g1", dev("4", ""));
  m.setID("A", "g2", dev("2", "w"));
  m.setID("A", "g1", dev("1", ""));
  m.setID("B", "g", dev("3", ""));
  std::list<EDStorageCell> cells;
  EXPECT_EQ(0, m.getList(cells));
  EXPECT_EQ(0, m.getList(cells));
  std::vector<std::string> shape;
  for (auto& c : cells) {
    std::string s = c.name + ":";
    for (auto& g : c.drgList) s += " " + g.name + "=" + g.id;
    shape.push_back(s);
  }
  EXPECT_EQ((std::vector<std::string>{"A: g1=1 g2=2 g1=1 g2=2", "AB: g1=4 g1=4",
                                      "B: g=3 g=3"}),
            shape);
}

TEST(ZARNIDMapTest, CopiesKeepTheIterationPosition) {
  ZARNIDMap m;
  m.setID("A", "g1", dev("1", ""));
  m.setID("A", "g2", dev("2", ""));
  m.resetZARNMap();
  std::string s, g;
  DeviceID d;
  m.getNextElement(s, g, d);
  ZARNIDMap copy(m);
  ASSERT_EQ(0, copy.getNextElement(s, g, d));
  EXPECT_EQ("g2", g);
}

TEST(ZARNIDMapTest, WriterLaysOutTheSectionAndItReadsBack) {
  ZARNIDMap m;
  m.setID("S2", DG + "g", dev("id3", "w5"));
  m.setID("S1", DG + "g2", dev("id2", ""));
  m.setID("S1", DG + "g1", dev("id1", "w1,w2,"));
  std::string out;
  ASSERT_EQ(0, m.writeText("", &out));
  const std::string expected =
      "<zarnmap>\nS1\n<drgroup>\n" + DG + "g1:id1\n<wwidlist>\nw1\nw2\n"
      "</wwidlist>\n" + DG + "g2:id2\n<wwidlist>\n</wwidlist>\n</drgroup>\n"
      "S2\n<drgroup>\n" + DG + "g:id3\n<wwidlist>\nw5\n</wwidlist>\n"
      "</drgroup>\n</zarnmap>\n";
  EXPECT_EQ(expected, out);
  ZARNIDMap back;
  ASSERT_EQ(0, back.readText(out));
  EXPECT_EQ((std::vector<std::string>{"S1|" + DG + "g1|id1|w1,w2",
                                      "S1|" + DG + "g2|id2|",
                                      "S2|" + DG + "g|id3|w5"}),
            entriesOf(back));
}

TEST(ZARNIDMapTest, EntriesTheFileCannotCarryAreRefused) {
  struct Case {
    std::string storage, group;
    DeviceID value;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {"S", "g:x", dev("i", ""), "the DR group name contains \":\""},
      {"S:x", "g", dev("i", ""), "the DR group name contains \":\""},
      {"S", "g\nx", dev("i", ""), "the DR group name contains a line feed"},
      {"S", "g", dev("", ""), "the DR group ID is empty"},
      {"S", "g", dev("i:j", ""), "the DR group ID contains \":\""},
      {"S", "g", dev("i\n", ""), "the DR group ID contains a line feed"},
      {"#", "g", dev("i", ""), "the storage system name is a tag of the map file"},
      {"</zarnmap>", "g", dev("i", ""),
       "the storage system name is a tag of the map file"},
      {"S\n", "g", dev("i", ""), "the storage system name contains a line feed"},
      {"S", "g", dev("i", "w1,</wwidlist>"),
       "the WWID </wwidlist> is a tag of the map file"},
      {"S", "g", dev("i", "#"), "the WWID # is a tag of the map file"},
      {"S", "g", dev("i", "<smisdata>"),
       "the WWID <smisdata> is a tag of the map file"},
      {"S", "g", dev("i", "w\nx"), "the WWID list contains a line feed"},
  };
  for (const Case& c : cases) {
    ZARNIDMap m;
    m.setID("OK", "g", dev("i", "w"));
    ASSERT_EQ(0, m.setID(c.storage, c.group, c.value));
    std::string out = "untouched";
    EXPECT_EQ(1, m.writeText("", &out)) << c.problem;
    EXPECT_NE(std::string::npos, m.getErrorMessage().find(
                                     " cannot be stored in the map file: " +
                                     c.problem))
        << m.getErrorMessage();
  }
  ZARNIDMap m;
  m.setID("S", "g", dev("i", "w"));
  m.setID("S", "h:x", dev("i", "w"));
  std::string out;
  EXPECT_EQ(1, m.writeText("", &out));
  EXPECT_EQ("The DR group h:x of the storage system S cannot be stored in the "
            "map file: the DR group name contains \":\"",
            m.getErrorMessage());
}

class ZARNIDMapFileTest : public testing::Test {
 protected:
  ZARNIDMapFileTest() : path(dir.file("yrzarn.map")) {}

  fake::ScopedPlatform platform;
  support::TempDir dir;
  std::string path;
};

TEST_F(ZARNIDMapFileTest, MissingFileIsAnErrorAndNothingIsCreated) {
  ZARNIDMap m(false, path);
  EXPECT_EQ(1, m.readFile());
  EXPECT_EQ("Could not open the file " + path + " for read", m.getErrorMessage());
  m.setID("S", "g", dev("i", ""));
  m.getErrorMessage().clear();
  EXPECT_EQ(1, m.writeFile());
  EXPECT_EQ("Could not open the file " + path + " for read", m.getErrorMessage());
  EXPECT_TRUE(dir.files().empty());
  EXPECT_TRUE(ZARNIDMap(true, path).validate());
}

TEST_F(ZARNIDMapFileTest, EmptyMapLeavesTheFileAlone) {
  support::spit(path, "anything\n", 0644);
  struct stat before;
  stat(path.c_str(), &before);
  ZARNIDMap m(false, path);
  EXPECT_EQ(0, m.writeFile());
  struct stat after;
  stat(path.c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ("anything\n", support::slurp(path));
  EXPECT_EQ((std::vector<std::string>{"yrzarn.map"}), dir.files());
}

TEST_F(ZARNIDMapFileTest, SaveReplacesWhatStandsBeforeTheSeparatorKeepsTheRest) {
  const std::string serverList =
      "#\n<smisdata>\n" + support::entry("a@5988&ns&N&u", std::string("p\0q", 3)) +
      support::entry("b@5989&ns&Y&u", std::string(63, '\xff')) + "</smisdata>\n";
  for (const std::string& before :
       {std::string(), std::string("<zarnmap>\nold\n</zarnmap>\njunk\n")}) {
    support::spit(path, before + serverList, 0640);
    ZARNIDMap m(false, path);
    m.setID("S", "g", dev("i", "w"));
    ASSERT_EQ(0, m.writeFile());
    EXPECT_EQ("<zarnmap>\nS\n<drgroup>\ng:i\n<wwidlist>\nw\n</wwidlist>\n"
              "</drgroup>\n</zarnmap>\n" + serverList,
              support::slurp(path));
    EXPECT_EQ(0600u, support::modeOf(path));  // narrowed, never kept
  }
}

TEST_F(ZARNIDMapFileTest, FileWithoutSeparatorGetsOnlyTheMap) {
  support::spit(path, "<zarnmap>\nold\n", 0600);
  ZARNIDMap m(false, path);
  m.setID("S", "g", dev("i", ""));
  ASSERT_EQ(0, m.writeFile());
  EXPECT_EQ("<zarnmap>\nS\n<drgroup>\ng:i\n<wwidlist>\n</wwidlist>\n"
            "</drgroup>\n</zarnmap>\n",
            support::slurp(path));
}

// Each writer rewrites the whole file; the section of the other one must
// come through byte for byte, however often they take turns.
TEST_F(ZARNIDMapFileTest, WritersTakingTurnsKeepEachOthersSection) {
  SMISManager servers(false, path);
  servers.addOrUpdateSMIS(
      support::server("a", 5988, "root/eva", "N", "admin", std::string(63, '%')));
  servers.addOrUpdateSMIS(support::server("b", 5989, "interop", "Y", "root", ""));
  ASSERT_EQ(0, servers.writeFile());
  const std::string serverSection = support::slurp(path);

  ZARNIDMap map(false, path);
  map.setID("S1", DG + "g1", dev("id1", "w1,w2"));
  map.setID("S2", DG + "g2", dev(LONG_ID, ""));
  ASSERT_EQ(0, map.writeFile());
  const std::string file = support::slurp(path);
  std::string mapSection;
  ASSERT_EQ(0, map.writeText("", &mapSection));
  EXPECT_EQ(mapSection + serverSection, file);

  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(0, servers.writeFile());
    ASSERT_EQ(0, map.writeFile());
    EXPECT_EQ(file, support::slurp(path));
  }
  EXPECT_EQ(0600u, support::modeOf(path));

  SMISManager serversBack(true, path);
  ZARNIDMap mapBack(true, path);
  EXPECT_FALSE(serversBack.validate());
  EXPECT_FALSE(mapBack.validate());
  EXPECT_EQ(support::listOf(servers), support::listOf(serversBack));
  EXPECT_EQ(entriesOf(map), entriesOf(mapBack));
}

TEST(ZARNIDMapDebugTest, OperationsAnnounceThemselves) {
  fake::ScopedPlatform platform;
  fake::ScopedEnv debugOn("DATAREP_DEBUG", std::string("1"));
  fake::ScopedLogger logger;
  {
    ZARNIDMap m;
    m.writeFile();
  }
  EXPECT_EQ((std::vector<std::string>{
                "DEBUG Inside the ZARNIDMap constructor",
                "DEBUG Inside the ZARNIDMap::writeFile method",
                "DEBUG The ZARN map contains no data; No write to the file",
                "DEBUG Inside the ZARNIDMap destructor"}),
            platform.messages());
}

}  // namespace
