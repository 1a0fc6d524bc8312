// zarndiscovery on a sandboxed node against zarnsim: the real program, the
// real map file path, the provider asked over CIM-XML.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"

namespace {

using Lines = std::vector<std::string>;

const std::string A = "50014380025B4A80";  // DC1's array
const std::string B = "50014380025B4C20";  // DC2's array
const std::string DR = "\\Data Replication\\";
const char* const INPUT = "/root/pairs.txt";

// Two arrays, DR groups dg01 (two disks) and dg02 (one disk) on both, and
// dg03 on another pair of arrays. faults is the scenario's fault list.
std::string scenario(const std::string& faults = "[]") {
  return R"({
  "arrays": [
    {"id": "dc1", "wwn": "50014380025B4A80", "volumes": [
      {"id": "v1", "wwn": "600A0001"}, {"id": "v2", "wwn": "600A0002"},
      {"id": "v3", "wwn": "600A0003"}]},
    {"id": "dc2", "wwn": "50014380025B4C20", "volumes": [
      {"id": "v1", "wwn": "600B0001"}, {"id": "v2", "wwn": "600B0002"},
      {"id": "v3", "wwn": "600B0003"}]},
    {"id": "dc3", "wwn": "50014380025B9999", "volumes": [{"id": "v1", "wwn": "600C0001"}]}
  ],
  "drGroups": [
    {"name": "dg01", "sides": [
      {"array": "dc1", "instanceId": "50014380025B4A80.0001", "volumes": ["v2", "v1"]},
      {"array": "dc2", "instanceId": "50014380025B4C20.0001", "volumes": ["v1", "v2"]}]},
    {"name": "dg02", "sides": [
      {"array": "dc2", "instanceId": "50014380025B4C20.0002", "volumes": ["v3"]},
      {"array": "dc1", "instanceId": "50014380025B4A80.0002", "volumes": ["v3"]}]},
    {"name": "dg03", "sides": [
      {"array": "dc3", "instanceId": "50014380025B9999.0003", "volumes": ["v1"]}]}
  ],
  "faults": )" + faults + "}";
}

const std::string PAIR =
    "# the two data centres\n"
    "<storage_pair_info>\n"
    "  \"5001-4380-025B-4A80\"\n"
    "  \"5001-4380-025B-4C20\"\n"
    "<dr_group_info>\n";

// The device ID map dg01 and dg02 make.
const std::string TWO_GROUPS =
    "<zarnmap>\n" + A + "\n<drgroup>\n" + DR + "dg01:" + A + ".0001\n"
    "<wwidlist>\n600A0002\n600A0001\n</wwidlist>\n" + DR + "dg02:" + A +
    ".0002\n<wwidlist>\n600A0003\n</wwidlist>\n</drgroup>\n" + B +
    "\n<drgroup>\n" + DR + "dg01:" + B + ".0001\n<wwidlist>\n600B0001\n"
    "600B0002\n</wwidlist>\n" + DR + "dg02:" + B + ".0002\n<wwidlist>\n"
    "600B0003\n</wwidlist>\n</drgroup>\n</zarnmap>\n";

// What a reader says of a map file open to group or others.
std::string modeWarning(const std::string& mode) {
  return std::string("Warning - The map file ") + support::MAP_FILE + " has mode " + mode +
         "; it should be readable and writable by its owner only.\n";
}

class ZarndiscoveryE2E : public ::testing::Test {
 protected:
  explicit ZarndiscoveryE2E(const std::string& faults = "[]")
      : sim(ZARNSIM_BIN, scenario(faults)) {}

  void SetUp() override {
    ASSERT_TRUE(sim.ok()) << sim.error();
    // The first (default) server is the simulator; the second is never
    // asked.
    support::SmisEntry first;
    first.port = sim.port();
    support::SmisEntry second;
    second.host = "smis-backup";
    second.port = 1;
    serverList = support::mapFileText({first, second}, {});
    node.writeFile(support::MAP_FILE, serverList, 0600);
  }

  support::RunResult run(std::vector<std::string> args) {
    support::RunOptions o;
    o.args = std::move(args);
    support::RunResult r = node.run(ZARNDISCOVERY_BIN, o);
    EXPECT_EQ("", r.setupError);
    return r;
  }
  std::string map() const { return node.readFile(support::MAP_FILE).value_or("<none>"); }
  mode_t mapMode() const {
    struct stat st;
    if (stat(node.hostPath(support::MAP_FILE).c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
  }
  // Standard output without the logger's lines.
  static std::string toolOutput(const support::RunResult& r) {
    std::string out;
    size_t start = 0, end;
    while ((end = r.out.find('\n', start)) != std::string::npos) {
      std::string line = r.out.substr(start, end + 1 - start);
      if (line.find(" - Node node1 : ") == std::string::npos) out += line;
      start = end + 1;
    }
    return out;
  }
  // The DR groups whose disks were asked for, in order.
  Lines lookups() const {
    Lines out;
    for (const support::SimRequest& r : sim.requests("AssociatorNames"))
      out.push_back(r.target);
    return out;
  }

  support::ZarnSim sim;
  support::Sandbox node{"node1"};
  std::string serverList;
};

TEST_F(ZarndiscoveryE2E, BuildsTheMapThroughTheDefaultServer) {
  // A map file someone made readable by all, and gave away, is reported
  // (on standard error only, once) and saved for root's eyes only.
  node.writeFile(support::MAP_FILE, serverList, 0644);
  ASSERT_EQ(0, chown(node.hostPath(support::MAP_FILE).c_str(), 65534, 65534));
  node.writeFile(INPUT, PAIR + "\"dg01\"   # database\n\"" + DR + "dg02\"\n");
  support::RunResult r = run({"-f", INPUT});
  ASSERT_EQ(0, r.exitCode) << r.describe();
  EXPECT_EQ(modeWarning("0644"), r.err);
  EXPECT_EQ(Lines{"Connecting to SMI-S server 127.0.0.1:" + std::to_string(sim.port())},
            r.normalMessages());
  const std::string verify = "Verifying the storage system ";
  const std::string generating = "Generating the mapping data ...... \n";
  EXPECT_EQ(verify + A + " and DR Group " + DR + "dg01 ......\n" + generating +
                verify + B + " and DR Group " + DR + "dg01 ......\n" + generating +
                verify + A + " and DR Group " + DR + "dg02 ......\n" + generating +
                verify + B + " and DR Group " + DR + "dg02 ......\n" + generating +
                "Adding the mapping data to the file .... \n"
                "The mapping data is successfully generated.\n",
            toolOutput(r));
  // One pair and two DR groups: four lookups, first array first.
  Lines targets = lookups();
  ASSERT_EQ(4u, targets.size()) << r.describe();
  const char* ids[] = {"50014380025B4A80.0001", "50014380025B4C20.0001",
                       "50014380025B4A80.0002", "50014380025B4C20.0002"};
  for (size_t i = 0; i < 4; ++i)
    EXPECT_NE(std::string::npos, targets[i].find(ids[i])) << targets[i];
  // The server list section is carried over byte for byte.
  EXPECT_EQ(TWO_GROUPS + serverList, map());
  EXPECT_EQ(0600u, mapMode());
  struct stat st;
  ASSERT_EQ(0, stat(node.hostPath(support::MAP_FILE).c_str(), &st));
  EXPECT_EQ(0u, st.st_uid);
  EXPECT_EQ(0u, st.st_gid);

  r = run({"-l"});
  ASSERT_EQ(0, r.exitCode) << r.describe();
  const std::string w(19, ' ');
  EXPECT_EQ("SF ZARN Storage System and DR Groups map list:\n"
            "Storage WWN: " + A + "\n"
            "    DR Group Name: " + DR + "dg01\n        WWID List: \n" +
                w + "600A0002\n" + w + "600A0001\n\n"
            "    DR Group Name: " + DR + "dg02\n        WWID List: \n" +
                w + "600A0003\n\n\n"
            "Storage WWN: " + B + "\n"
            "    DR Group Name: " + DR + "dg01\n        WWID List: \n" +
                w + "600B0001\n" + w + "600B0002\n\n"
            "    DR Group Name: " + DR + "dg02\n        WWID List: \n" +
                w + "600B0003\n\n\n",
            r.out);

  r = run({"-d"});
  ASSERT_EQ(0, r.exitCode) << r.describe();
  EXPECT_NE(std::string::npos,
            r.out.find("    DR Group Name: " + DR + "dg02\n        WWID List: \n" +
                       w + "600B0003\n (" + B + ".0002)\n\n"))
      << r.out;

  // A second build with dg02 only replaces the whole map.
  node.writeFile(INPUT, PAIR + "\"dg02\"\n");
  r = run({"-f", INPUT});
  ASSERT_EQ(0, r.exitCode) << r.describe();
  EXPECT_EQ("<zarnmap>\n" + A + "\n<drgroup>\n" + DR + "dg02:" + A +
                ".0002\n<wwidlist>\n600A0003\n</wwidlist>\n</drgroup>\n" + B +
                "\n<drgroup>\n" + DR + "dg02:" + B + ".0002\n<wwidlist>\n"
                "600B0003\n</wwidlist>\n</drgroup>\n</zarnmap>\n" + serverList,
            map());
}

TEST_F(ZarndiscoveryE2E, FailedRunsWriteNothing) {
  node.writeFile(support::MAP_FILE, TWO_GROUPS + serverList, 0640);

  // dg03 exists, but not on this pair of arrays.
  node.writeFile(INPUT, PAIR + "\"dg01\"\n\"dg03\"\n");
  support::RunResult r = run({"-f", INPUT});
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ(modeWarning("0640") +
                "Error - Failed to verify the storage system and DR Group\n",
            r.err);
  EXPECT_NE(std::string::npos,
            r.out.find(" : Exception: DR group " + DR + "dg03 not found in the "
                       "SMI-S 127.0.0.1. A possible cause of this problem is: \n"
                       "  - Incorrect DR group name defined in the zarndiscovery "
                       "tool input file.\n"))
      << r.out;
  EXPECT_EQ(2u, lookups().size()) << "dg01 on both arrays, then dg03 failed";

  // Ends inside a pair.
  node.writeFile(INPUT, PAIR + "\"dg01\"\n<storage_pair_info>\n");
  r = run({"-f", INPUT});
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ(modeWarning("0640") + "Error - input file contains incomplate data\n",
            r.err);

  // A world wide name without dashes.
  node.writeFile(INPUT, "<storage_pair_info>\n\"50014380025B4A80\"\n");
  r = run({"-f", INPUT});
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ(modeWarning("0640") +
                "Error - Wrong format of the Storage World Wide Name. Line 2\n",
            r.err);

  EXPECT_EQ(TWO_GROUPS + serverList, map());
  EXPECT_EQ(0640u, mapMode());
}

TEST_F(ZarndiscoveryE2E, NeedsTheServerListOfTheMapFile) {
  node.writeFile(support::MAP_FILE, TWO_GROUPS, 0600);
  node.writeFile(INPUT, PAIR + "\"dg01\"\n");
  support::RunResult r = run({"-f", INPUT});
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ((Lines{"Exception: Failed to get SMI-S information;\n\t\t\t\t"
                   "No SMI-S information defined in the map file."}),
            r.normalMessages());
  EXPECT_EQ("Error - Failed to verify the storage system and DR Group\n", r.err);
  EXPECT_EQ(TWO_GROUPS, map());
  EXPECT_TRUE(sim.requests().empty());
}

TEST_F(ZarndiscoveryE2E, UsageNamesTheProgramAsCalled) {
  support::RunResult r = run({"-t", "30"});
  EXPECT_EQ(1, r.exitCode) << r.describe();
  const std::string c = ZARNDISCOVERY_BIN;
  EXPECT_EQ("Usage: \nTo generate the map data:\n\t" + c +
                " -f SF_ZARN_configuration_file\n\nTo display the map list:\n\t" +
                c + " -l\n\nTo pass SMIS QUERY timeout period in seconds with -f "
                "flag\n\t" + c +
                " -f SF_ZARN_configuration_file -t Query_Time_In_Seconds\n",
            r.out);
  r = run({"-l", "-d"});
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ("Error - Too many arguments\n", r.err);
  EXPECT_EQ(serverList, map());
}

// The provider answers the first two DR group enumerations only after two
// and a half seconds.
class SlowProviderE2E : public ZarndiscoveryE2E {
 protected:
  SlowProviderE2E()
      : ZarndiscoveryE2E(R"([{"operation": "EnumerateInstances",
                              "className": "QNZARN_ConsistencySet", "times": 2,
                              "action": "delay", "delayMs": 2500}])") {}
};

TEST_F(SlowProviderE2E, QueryTimeOfTheCommandLine) {
  node.writeFile(INPUT, PAIR + "\"dg01\"\n");
  auto start = std::chrono::steady_clock::now();
  support::RunResult r = run({"-f", INPUT, "-t", "1"});
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ("Error - Failed to verify the storage system and DR Group\n", r.err);
  EXPECT_LT(seconds, 2.3);
  EXPECT_EQ(serverList, map());

  // Without -t the default of 300 seconds waits for the answer.
  r = run({"-f", INPUT});
  EXPECT_EQ(0, r.exitCode) << r.describe();
}

}  // namespace
