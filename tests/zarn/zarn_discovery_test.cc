#include "zarn/tools/zarn_discovery.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/fake_platform.h"
#include "tests/support/map_store.h"
#include "tests/support/tool_args.h"

namespace {

using Lines = std::vector<std::string>;

// Runs the state machine over text and writes down what it did: each
// message as "err: ..." or "out: ...", each DR group to store as
// "store <first> <second> <name>", and at the end "complete" or
// "incomplete" (or "stopped" after a refused line).
Lines transcript(const std::string& text) {
  DiscoveryInput input;
  Lines out;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    DiscoveryInput::Step step = input.feed(line, ++number);
    for (const auto& m : step.messages)
      out.push_back((m.toStdout ? "out: " : "err: ") + m.text);
    if (step.failed) {
      out.push_back("stopped");
      return out;
    }
    if (step.drGroup)
      out.push_back("store " + input.firstStorage() + " " +
                    input.secondStorage() + " " + step.drGroupName);
  }
  out.push_back(input.complete() ? "complete" : "incomplete");
  return out;
}

const std::string PAIR =
    "<storage_pair_info>\n"
    "\"5001-4380-025B-4A80\"\n"
    "\"5001-4380-025B-4C20\"\n"
    "<dr_group_info>\n";
const std::string A = "50014380025B4A80";
const std::string B = "50014380025B4C20";
const std::string DR = "\\Data Replication\\";

struct InputCase {
  const char* what;
  std::string text;
  Lines expected;
};

TEST(DiscoveryInputTest, StateMachine) {
  const std::string name237(237, 'n');
  const InputCase cases[] = {
      {"one pair, two DR groups", PAIR + "\"dg01\"\n\"dg02\"\n",
       {"store " + A + " " + B + " " + DR + "dg01",
        "store " + A + " " + B + " " + DR + "dg02", "complete"}},
      {"comments, blank lines, leading blanks and trailing comments",
       "# pairs\n\n   \t\n  <storage_pair_info>   # first pair\n"
       "\t\"5001-4380-025B-4A80\"\t\n \"5001-4380-025B-4C20\" #dc2\n"
       "<dr_group_info>\n  \"dg01\"   # the database  \n",
       {"store " + A + " " + B + " " + DR + "dg01", "complete"}},
      {"a name given with its prefix is kept as it is",
       PAIR + "\"\\Data Replication\\dg01\"\n\"x\\Data Replication\\y\"\n",
       {"store " + A + " " + B + " " + DR + "dg01",
        "store " + A + " " + B + " x" + DR + "y", "complete"}},
      {"a second pair starts after the DR groups",
       PAIR + "\"dg01\"\n<storage_pair_info>\n\"AAAA-BBBB-CCCC-DDDD\"\n"
              "\"aaaa-bbbb-cccc-dddd\"\n<dr_group_info>\n\"dg09\"\n",
       {"store " + A + " " + B + " " + DR + "dg01",
        "store AAAABBBBCCCCDDDD aaaabbbbccccdddd " + DR + "dg09", "complete"}},
      {"empty file", "", {"incomplete"}},
      {"only comments", "# nothing\n\n", {"incomplete"}},
      {"ends after the pair tag", "<storage_pair_info>\n", {"incomplete"}},
      {"ends after the DR group tag", PAIR, {"incomplete"}},
      {"wrong first tag", "<dr_group_info>\n",
       {"err: Error - Wrong file format. Line 1: The <storage_pair_info> "
        "expected.",
        "stopped"}},
      {"tag with trailing text is not the tag", "<storage_pair_info> x\n",
       {"err: Error - Wrong file format. Line 1: The <storage_pair_info> "
        "expected.",
        "stopped"}},
      {"first name without quotes", "<storage_pair_info>\n5001-4380-025B-4A80\n",
       {"err: Error - Wrong data format; Missing double quote",
        "err: Error - Wrong data format. Line 2", "stopped"}},
      {"first name without dashes",
       "\n<storage_pair_info>\n\"50014380025B4A80\"\n",
       {"err: Error - Wrong format of the Storage World Wide Name. Line 3",
        "stopped"}},
      {"first name of 20 characters", "<storage_pair_info>\n\"5001-4380-025B-4A80A\"\n",
       {"err: Error - Wrong format of the Storage World Wide Name. Line 2",
        "stopped"}},
      {"second name with a dash out of place: reported on standard output",
       "<storage_pair_info>\n\"5001-4380-025B-4A80\"\n\"5001-43800-25B-4C20\"\n",
       {"out: Error - Wrong format of the Storage World Wide Name. Line 3",
        "stopped"}},
      {"second name without quotes",
       "<storage_pair_info>\n\"5001-4380-025B-4A80\"\n\"5001-4380-025B-4C20\n",
       {"err: Error - Wrong data format; Missing double quote",
        "err: Error - Wrong data format. Line 3", "stopped"}},
      {"a lone quote is not a quoted value",
       "<storage_pair_info>\n\"\n",
       {"err: Error - Wrong data format; Missing double quote",
        "err: Error - Wrong data format. Line 2", "stopped"}},
      {"DR group tag missing", "<storage_pair_info>\n\"5001-4380-025B-4A80\"\n"
                               "\"5001-4380-025B-4C20\"\n\"dg01\"\n",
       {"err: Error - Wrong file format. Line 4: The <dr_group_info> expected.",
        "stopped"}},
      {"pair tag right after the DR group tag", PAIR + "<storage_pair_info>\n",
       {"err: Error - Wrong data format; Missing double quote",
        "err: Error - Wrong data format. Line 5", "stopped"}},
      {"DR group tag again after a DR group", PAIR + "\"dg01\"\n<dr_group_info>\n",
       {"store " + A + " " + B + " " + DR + "dg01",
        "err: Error - Wrong data format; Missing double quote",
        "err: Error - Wrong data format. Line 6", "stopped"}},
      {"longest DR group name", PAIR + "\"" + name237 + "\"\n",
       {"store " + A + " " + B + " " + DR + name237, "complete"}},
      {"DR group name one too long", PAIR + "\"" + name237 + "n\"\n",
       {"err: Error - The DR Group Name is too long. Line 5", "stopped"}},
      {"a # inside a quoted name cuts it", PAIR + "\"dg#01\"\n",
       {"err: Error - Wrong data format; Missing double quote",
        "err: Error - Wrong data format. Line 5", "stopped"}},
      {"a line longer than 255 characters is refused, not taken as the end",
       PAIR + "\"dg01\"\n#" + std::string(255, '-') + "\n\"dg02\"\n",
       {"store " + A + " " + B + " " + DR + "dg01",
        "err: Error - Line 6 of the input file is longer than 255 characters",
        "stopped"}},
      {"a line of 255 characters is read",
       PAIR + "\"dg01\"" + std::string(249, ' ') + "\n",
       {"store " + A + " " + B + " " + DR + "dg01", "complete"}},
  };
  for (const InputCase& c : cases)
    EXPECT_EQ(c.expected, transcript(c.text)) << c.what;
}

TEST(DiscoveryInputTest, Token) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {" \t ", ""},
      {"# comment", ""},
      {"  \t# comment", ""},
      {"\"dg\"", "\"dg\""},
      {" \t\"dg 01\" \t", "\"dg 01\""},
      {"\"dg\"  # note", "\"dg\""},
      {"\"dg\"#note", "\"dg\""},
      {"a b#c", "a b"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, discoveryToken(c.first)) << c.first;
}

// Answers lookups from a table and records them.
class TableSource : public DeviceIDSource {
 public:
  int initiateSMISData() override { return initiateResult; }
  void setQueryTime(int seconds) override { queryTimes.push_back(seconds); }
  int findDeviceID(const std::string& storageName, const std::string& drGrpName,
                   DeviceID& devID) override {
    lookups.push_back(storageName + " " + drGrpName);
    auto it = answers.find(storageName + " " + drGrpName);
    if (it == answers.end()) return 1;
    devID = it->second;
    return 0;
  }
  void answer(const std::string& storage, const std::string& drGroup,
              const std::string& id, const std::string& wwids) {
    DeviceID d;
    d.instanceID = id;
    d.wwidList = wwids;
    answers[storage + " " + DR + drGroup] = d;
  }

  int initiateResult = 0;
  std::map<std::string, DeviceID> answers;
  Lines lookups;
  std::vector<int> queryTimes;
};

const std::string SERVERS =
    "#\n<smisdata>\nsmis1@5988&root/ZARN&N&admin\n" + std::string("pw") +
    std::string(62, '\0') + "\n</smisdata>\n";

class ZARNDiscoveryTest : public ::testing::Test {
 protected:
  ZARNDiscoveryTest() : debug_("DATAREP_DEBUG", std::nullopt) {
    logger_ = std::make_unique<fake::ScopedLogger>();
    mapFile = dir.file("yrzarn.map");
    input = dir.file("input.txt");
    source.answer(A, "dg01", A + "-1", "w1,w2");
    source.answer(B, "dg01", B + "-1", "w3,w4");
    source.answer(A, "dg02", A + "-2", "w5");
    source.answer(B, "dg02", B + "-2", "");
  }

  int run(std::vector<std::string> args) {
    args.insert(args.begin(), "zarndiscovery");
    ZARNDiscovery tool({&sys.console, &err}, mapFile, &source);
    return support::runWith(tool, args);
  }
  std::string out() const {
    std::string all;
    for (const auto& w : sys.console.writes) all += w;
    return all;
  }

  fake::ScopedPlatform sys;
  support::TempDir dir;
  std::string mapFile;
  std::string input;
  TableSource source;
  std::ostringstream err;

 private:
  fake::ScopedEnv debug_;
  std::unique_ptr<fake::ScopedLogger> logger_;
};

const char USAGE[] =
    "Usage: \n"
    "To generate the map data:\n"
    "\tzarndiscovery -f SF_ZARN_configuration_file\n"
    "\n"
    "To display the map list:\n"
    "\tzarndiscovery -l\n"
    "\n"
    "To pass SMIS QUERY timeout period in seconds with -f flag\n"
    "\tzarndiscovery -f SF_ZARN_configuration_file -t Query_Time_In_Seconds\n";

const std::string TWO_GROUPS_MAP =
    "<zarnmap>\n" + A + "\n<drgroup>\n" + DR + "dg01:" + A + "-1\n"
    "<wwidlist>\nw1\nw2\n</wwidlist>\n" + DR + "dg02:" + A + "-2\n"
    "<wwidlist>\nw5\n</wwidlist>\n</drgroup>\n" + B + "\n<drgroup>\n" + DR +
    "dg01:" + B + "-1\n<wwidlist>\nw3\nw4\n</wwidlist>\n" + DR + "dg02:" + B +
    "-2\n<wwidlist>\n</wwidlist>\n</drgroup>\n</zarnmap>\n";

TEST_F(ZARNDiscoveryTest, BuildLooksEachGroupUpOnBothArraysAndKeepsTheServerList) {
  support::spit(mapFile, SERVERS, 0640);
  support::spit(input, PAIR + "\"dg01\"\n\"\\Data Replication\\dg02\"\n");
  EXPECT_EQ(0, run({"-f", input}));
  EXPECT_EQ((Lines{A + " " + DR + "dg01", B + " " + DR + "dg01",
                   A + " " + DR + "dg02", B + " " + DR + "dg02"}),
            source.lookups);
  EXPECT_EQ(std::vector<int>{0}, source.queryTimes);
  EXPECT_EQ("", err.str());
  std::string verify = "Verifying the storage system ";
  EXPECT_EQ(verify + A + " and DR Group " + DR + "dg01 ......\n"
                "Generating the mapping data ...... \n" +
                verify + B + " and DR Group " + DR + "dg01 ......\n"
                "Generating the mapping data ...... \n" +
                verify + A + " and DR Group " + DR + "dg02 ......\n"
                "Generating the mapping data ...... \n" +
                verify + B + " and DR Group " + DR + "dg02 ......\n"
                "Generating the mapping data ...... \n"
                "Adding the mapping data to the file .... \n"
                "The mapping data is successfully generated.\n",
            out());
  EXPECT_EQ(TWO_GROUPS_MAP + SERVERS, support::slurp(mapFile));
  EXPECT_EQ(0600u, support::modeOf(mapFile));
}

TEST_F(ZARNDiscoveryTest, BuildReplacesTheWholeStoredMap) {
  support::spit(mapFile, TWO_GROUPS_MAP + SERVERS);
  support::spit(input, PAIR + "\"dg02\"\n");
  EXPECT_EQ(0, run({"-f", input, "-t", "45s"}));
  EXPECT_EQ(std::vector<int>{45}, source.queryTimes);
  EXPECT_EQ("<zarnmap>\n" + A + "\n<drgroup>\n" + DR + "dg02:" + A + "-2\n"
                "<wwidlist>\nw5\n</wwidlist>\n</drgroup>\n" + B +
                "\n<drgroup>\n" + DR + "dg02:" + B +
                "-2\n<wwidlist>\n</wwidlist>\n</drgroup>\n</zarnmap>\n" + SERVERS,
            support::slurp(mapFile));
}

// Failures at any point of a build leave the map file exactly as it was.
TEST_F(ZARNDiscoveryTest, FailedBuildsWriteNothing) {
  struct Case {
    const char* what;
    std::string input;
    std::string err;
    std::string outEnd;
    size_t lookups;
  } cases[] = {
      {"lookup fails on the second array",
       PAIR + "\"dg01\"\n\"dg03\"\n",
       "Error - Failed to verify the storage system and DR Group\n",
       "Verifying the storage system " + B + " and DR Group " + DR +
           "dg03 ......\n",
       4},
      {"syntax error after stored groups", PAIR + "\"dg01\"\n\"dg02\"\nfoo\n",
       "Error - Wrong data format; Missing double quote\n"
       "Error - Wrong data format. Line 7\n",
       "Generating the mapping data ...... \n", 4},
      {"incomplete input", PAIR + "\"dg01\"\n<storage_pair_info>\n",
       "Error - input file contains incomplate data\n",
       "Generating the mapping data ...... \n", 2},
      {"storage name refused on standard output",
       "<storage_pair_info>\n\"5001-4380-025B-4A80\"\n\"bad\"\n", "",
       "Error - Wrong format of the Storage World Wide Name. Line 3\n", 0},
  };
  source.answer(A, "dg03", A + "-3", "w9");
  for (const Case& c : cases) {
    support::spit(mapFile, TWO_GROUPS_MAP + SERVERS);
    support::spit(input, c.input);
    err.str("");
    sys.console.writes.clear();
    source.lookups.clear();
    EXPECT_EQ(1, run({"-f", input})) << c.what;
    EXPECT_EQ(c.err, err.str()) << c.what;
    std::string o = out();
    EXPECT_EQ(c.outEnd, o.substr(o.size() - std::min(o.size(), c.outEnd.size())))
        << c.what << "\n" << o;
    EXPECT_EQ(c.lookups, source.lookups.size()) << c.what;
    EXPECT_EQ(TWO_GROUPS_MAP + SERVERS, support::slurp(mapFile)) << c.what;
  }
}

TEST_F(ZARNDiscoveryTest, ServerListMustLoad) {
  support::spit(input, PAIR + "\"dg01\"\n");
  source.initiateResult = 1;
  EXPECT_EQ(1, run({"-f", input}));
  EXPECT_EQ("Error - Fail to initialize the SMIS Data list\n", err.str());
  EXPECT_TRUE(source.lookups.empty());
  EXPECT_FALSE(support::exists(mapFile));
}

TEST_F(ZARNDiscoveryTest, SavingNeedsAnExistingMapFile) {
  support::spit(input, PAIR + "\"dg01\"\n");
  EXPECT_EQ(1, run({"-f", input}));
  EXPECT_EQ("", err.str());
  std::string o = out();
  EXPECT_NE(std::string::npos,
            o.find("Adding the mapping data to the file .... \nError - Could "
                   "not open the file " + mapFile + " for read\n"))
      << o;
  EXPECT_FALSE(support::exists(mapFile));
}

TEST_F(ZARNDiscoveryTest, ArgumentErrors) {
  const std::string NEGATIVE_TIME =
      "Error - invalid argument for -t option. Require a query time of 0 or "
      "more seconds\n";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, ""},
      {{"-t", "5"}, ""},
      {{"-f", input, "-t", "5", "-l", "x"}, ""},
      {{"-x"}, "zarndiscovery: invalid option -- 'x'\n"},
      {{"-f"}, "zarndiscovery: option requires an argument -- 'f'\n"},
      {{"-f", ""}, "Error - Missing input file name\n"},
      {{"-l", "extra"}, "Error - Too many arguments\n"},
      {{"-d", "-f", input}, "Error - Too many arguments\n"},
      {{"-f", input, "-t", "-1"}, NEGATIVE_TIME},
      {{"-t", "-300", "-f", input}, NEGATIVE_TIME},
  };
  for (const Case& c : cases) {
    err.str("");
    sys.console.writes.clear();
    testing::internal::CaptureStderr();
    int status = run(c.args);
    std::string getoptErr = testing::internal::GetCapturedStderr();
    std::string all = testing::PrintToString(c.args);
    EXPECT_EQ(1, status) << all;
    EXPECT_EQ(c.err, getoptErr + err.str()) << all;
    EXPECT_EQ(USAGE, out()) << all;
  }
  EXPECT_TRUE(source.lookups.empty());

  err.str("");
  sys.console.writes.clear();
  EXPECT_EQ(1, run({"-f", dir.file("missing.txt")}));
  EXPECT_EQ("Error - Could not open the input file " + dir.file("missing.txt") + "\n",
            err.str());
  EXPECT_EQ(1, run({"-f", dir.path()}));  // a folder cannot be read

  sys.console.writes.clear();
  EXPECT_EQ(0, run({"nothing"}));
  EXPECT_EQ("", out());
}

TEST_F(ZARNDiscoveryTest, Listings) {
  support::spit(mapFile, TWO_GROUPS_MAP + SERVERS);
  const std::string blanks(19, ' ');
  EXPECT_EQ(0, run({"-l"}));
  EXPECT_EQ("SF ZARN Storage System and DR Groups map list:\n"
            "Storage WWN: " + A + "\n"
            "    DR Group Name: " + DR + "dg01\n"
            "        WWID List: \n" + blanks + "w1\n" + blanks + "w2\n\n"
            "    DR Group Name: " + DR + "dg02\n"
            "        WWID List: \n" + blanks + "w5\n\n\n"
            "Storage WWN: " + B + "\n"
            "    DR Group Name: " + DR + "dg01\n"
            "        WWID List: \n" + blanks + "w3\n" + blanks + "w4\n\n"
            "    DR Group Name: " + DR + "dg02\n"
            "        WWID List: \n\n\n",
            out());

  sys.console.writes.clear();
  EXPECT_EQ(0, run({"-d"}));
  EXPECT_EQ("SF ZARN Storage System and DR Groups map list:\n"
            "Storage WWN: " + A + "\n"
            "    DR Group Name: " + DR + "dg01\n"
            "        WWID List: \n" + blanks + "w1\n" + blanks + "w2\n"
            " (" + A + "-1)\n"
            "    DR Group Name: " + DR + "dg02\n"
            "        WWID List: \n" + blanks + "w5\n (" + A + "-2)\n\n"
            "Storage WWN: " + B + "\n"
            "    DR Group Name: " + DR + "dg01\n"
            "        WWID List: \n" + blanks + "w3\n" + blanks + "w4\n"
            " (" + B + "-1)\n"
            "    DR Group Name: " + DR + "dg02\n"
            "        WWID List: \n (" + B + "-2)\n\n",
            out());
  EXPECT_EQ("", err.str());

  // -l wins over -d and -f.
  sys.console.writes.clear();
  support::spit(mapFile, SERVERS);
  EXPECT_EQ(0, run({"-dl"}));
  EXPECT_EQ("SF ZARN Storage System and DR Groups map list:\n", out());
}

TEST_F(ZARNDiscoveryTest, ListingFailuresGoToTheirStreams) {
  const std::string message =
      "Error - Could not open the file " + mapFile + " for read\n";
  EXPECT_EQ(1, run({"-l"}));
  EXPECT_EQ(message, err.str());
  EXPECT_EQ("", out());

  err.str("");
  EXPECT_EQ(1, run({"-d"}));
  EXPECT_EQ("", err.str());
  EXPECT_EQ(message, out());

  sys.console.writes.clear();
  support::spit(mapFile, "<zarnmap>\nA\n<drgroup>\n</drgroup>\n</zarnmap>\n");
  EXPECT_EQ(1, run({"-l"}));
  EXPECT_EQ("Error - Corrupted ZARN data in the map file\n", err.str());
  EXPECT_EQ("", out());
}

}  // namespace
