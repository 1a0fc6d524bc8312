// The query tools ZARNGetDRState, ZARNGetAttributes and ZARNGetVdiskWWN on
// sandboxed nodes against zarnsim: the real programs, the real map file
// path, host names that decide which array is local, and the exact output
// and exit status a script sees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"

namespace {

using Lines = std::vector<std::string>;

const std::string A = "50014380025B4A80";  // DC1's array
const std::string B = "50014380025B4C20";  // DC2's array
const std::string DR = "\\Data Replication\\";
const std::string DISK = "6001438002A3C1E00000A00001240000";
const char* const PKGDIR = "/opt/kxcluster/pkg/pkg1";
const char* const ENV_FILE = "/opt/kxcluster/pkg/pkg1/pkg1.env";

// dg01 replicates three disks between dc1 (presented to node1 and node2)
// and dc2 (node3 and node4); the dc2 side is linked, the dc1 side logging
// unless linkState says otherwise. dc2 is reported only when manageDc2.
std::string scenario(const std::string& dc1LogState, bool manageDc2 = true,
                     const std::string& faults = "[]") {
  return R"({
  "arrays": [
    {"id": "dc1", "wwn": "50014380025B4A80", "volumes": [
      {"id": "v1", "wwn": "6001438002A3C1E00000A00001240000", "hosts": ["node1", "node2"]},
      {"id": "v2", "wwn": "600A0002", "hosts": ["node1", "node2"]},
      {"id": "v3", "wwn": "600A0003", "hosts": ["node1", "node2"]}]},
    {"id": "dc2", "wwn": "50014380025B4C20", "managed": )" +
         std::string(manageDc2 ? "true" : "false") + R"(, "volumes": [
      {"id": "v1", "wwn": "6001438002A3C1E00000A00001240000", "hosts": ["node3", "node4"]}]}
  ],
  "drGroups": [
    {"name": "dg01", "sides": [
      {"array": "dc1", "instanceId": "A.0001", "volumes": ["v3", "v1", "v2"],
       "state": {"LinkState": "failed", "LogState": ")" +
         dc1LogState + R"(", "Fullcopystate": "no"}},
      {"array": "dc2", "instanceId": "B.0001", "volumes": ["v1"],
       "state": {"LinkState": "failed", "Fullcopystate": "no"}}]}
  ],
  "faults": )" + faults + "}";
}

std::string state(const std::string& role, const std::string& logState) {
  return " participationType: " + role + "\n linkState: failed\n logState: " + logState +
         "\n fullcopyState: no\n";
}

// Standard output without the logger's lines.
std::string toolOutput(const support::RunResult& r) {
  std::string out;
  size_t start = 0, end;
  while ((end = r.out.find('\n', start)) != std::string::npos) {
    std::string line = r.out.substr(start, end + 1 - start);
    if (line.find(" - Node ") == std::string::npos) out += line;
    start = end + 1;
  }
  return out;
}

// Two simulators: smis-a reports both arrays, smis-b only dc1 (and has dc1
// logging "merging" instead of "logging", to tell them apart); smis-down
// refuses connections. All three resolve to 127.0.0.1 on the nodes.
class QueryToolsE2E : public ::testing::Test {
 protected:
  QueryToolsE2E()
      : simA(ZARNSIM_BIN, scenario("logging")), simB(ZARNSIM_BIN, scenario("merging", false)) {}

  void SetUp() override {
    ASSERT_TRUE(simA.ok()) << simA.error();
    ASSERT_TRUE(simB.ok()) << simB.error();
    servers = {support::simEntry(simA, "smis-a"), support::deadEntry("smis-down"),
               support::simEntry(simB, "smis-b")};
  }

  // A node of this name with the server list (and the devices) in its map
  // file.
  support::Sandbox& makeNode(const std::string& name,
                         const std::vector<support::DeviceEntry>& devices = {}) {
    nodes.push_back(std::make_unique<support::Sandbox>(name));
    support::Sandbox& node = *nodes.back();
    node.writeFile("/etc/hosts", "127.0.0.1\tlocalhost smis-a smis-b smis-down\n");
    node.writeFile(support::MAP_FILE, support::mapFileText(servers, devices), 0600);
    return node;
  }

  static support::RunResult run(support::Sandbox& node, const char* program,
                            std::vector<std::string> args) {
    support::RunOptions o;
    o.args = std::move(args);
    support::RunResult r = node.run(program, o);
    EXPECT_EQ("", r.setupError);
    return r;
  }

  support::ZarnSim simA;
  support::ZarnSim simB;
  std::vector<support::SmisEntry> servers;
  std::vector<std::unique_ptr<support::Sandbox>> nodes;
};

TEST_F(QueryToolsE2E, DRStateComesFromTheFirstServerThatAnswers) {
  support::Sandbox& node = makeNode("node1");
  // Given order decides: smis-b before smis-a; unknown and unreachable
  // servers are passed over without a word.
  support::RunResult r = run(node, ZARNGETDRSTATE_BIN,
                         {"dg01", "5001-4380-025B-4A80", "smis-x", "smis-down", "smis-b",
                          "smis-a"});
  EXPECT_EQ(0, r.exitCode) << r.describe();
  EXPECT_EQ(state("source", "merging"), r.out);  // exactly the four lines
  EXPECT_EQ("", r.err);
  EXPECT_EQ(0u, simA.requests().size());

  r = run(node, ZARNGETDRSTATE_BIN, {"dg01", B, "smis-a", "smis-b"});
  EXPECT_EQ(0, r.exitCode) << r.describe();
  EXPECT_EQ(state("destination", "normal"), r.out);
}

TEST_F(QueryToolsE2E, DRStateReadsThroughTheMapEntryFirst) {
  support::Sandbox& node = makeNode("node1", {{A, DR + "dg01", "A.0001", ""}});
  support::RunResult r = run(node, ZARNGETDRSTATE_BIN, {"dg01", A, "smis-a"});
  EXPECT_EQ(0, r.exitCode) << r.describe();
  EXPECT_EQ(state("source", "logging"), r.out);
  std::vector<support::SimRequest> asked = simA.requests();
  ASSERT_EQ(1u, asked.size());
  EXPECT_EQ("GetInstance", asked[0].operation);
}

TEST_F(QueryToolsE2E, DRStateFailuresAndArguments) {
  support::Sandbox& node = makeNode("node1");
  struct Case {
    Lines args;
    std::string out;
  } cases[] = {
      {{"dg01", A}, "Error - Provide enough Arguments: DR Group, Local Array WWN, WMS list.\n"},
      {{"dg09", A, "smis-a", "smis-b"},
       "Error - In getting DR group state or the DR Group \"" + DR +
           "dg09\" is not found in the array " + A + ".\n" +
           "Make sure valid active WMS is there in the WMS list.\n"},
  };
  for (const Case& c : cases) {
    support::RunResult r = run(node, ZARNGETDRSTATE_BIN, c.args);
    EXPECT_EQ(255, r.exitCode) << r.describe();
    EXPECT_EQ(c.out, r.out) << r.describe();
  }
}

TEST_F(QueryToolsE2E, AttributesDependOnTheNodeTheyAreAskedOn) {
  const std::string nodesArg[] = {"node4", "node1", "node3", "node2"};
  struct Case {
    const char* host;
    std::string out;
  } cases[] = {
      {"node1",
       "dts/yrzarn/DR_GROUP_NAME\tdg01\n"
       "dts/yrzarn/DC1_STORAGE_WORLD_WIDE_NAME\t5001-4380-025B-4A80\n"
       "dts/yrzarn/DC1_SMIS_LIST\tsmis-a\n"
       "dts/yrzarn/DC1_HOST_LIST\tnode1,node2\n"
       "dts/yrzarn/DC2_STORAGE_WORLD_WIDE_NAME\t5001-4380-025B-4C20\n"
       "dts/yrzarn/DC2_SMIS_LIST\tsmis-a\n"
       "dts/yrzarn/DC2_HOST_LIST\tnode4,node3\n\n"},
      {"node3",
       "dts/yrzarn/DR_GROUP_NAME\tdg01\n"
       "dts/yrzarn/DC1_STORAGE_WORLD_WIDE_NAME\t5001-4380-025B-4C20\n"
       "dts/yrzarn/DC1_SMIS_LIST\tsmis-a\n"
       "dts/yrzarn/DC1_HOST_LIST\tnode4,node3\n"
       "dts/yrzarn/DC2_STORAGE_WORLD_WIDE_NAME\t5001-4380-025B-4A80\n"
       "dts/yrzarn/DC2_SMIS_LIST\tsmis-a\n"
       "dts/yrzarn/DC2_HOST_LIST\tnode1,node2\n\n"},
  };
  for (const Case& c : cases) {
    support::Sandbox& node = makeNode(c.host);
    simB.clearRequests();
    support::RunResult r = run(node, ZARNGETATTRIBUTES_BIN,
                           {"6001-4380-02A3-C1E0-0000-A000-0124-0000", nodesArg[0],
                            nodesArg[1], nodesArg[2], nodesArg[3]});
    EXPECT_EQ(0, r.exitCode) << r.describe();
    EXPECT_EQ(c.out, r.out) << c.host;
    EXPECT_EQ("", r.err) << c.host;
    // smis-b was asked too, but manages only one of the arrays.
    EXPECT_FALSE(simB.requests("EnumerateInstanceNames").empty()) << c.host;
  }
}

TEST_F(QueryToolsE2E, AttributesWarnings) {
  support::Sandbox& node = makeNode("node1");
  struct Case {
    Lines args;
    std::string out;
  } cases[] = {
      {{DISK, "node1"}, "WARNING: Provide enough Arguments, Device WWN and Cluster Nodes.\n"},
      {{DISK, "node1", "node5"},
       "WARNING: node5 is not connected to both Local Array " + A + " and Remote Array " + B +
           "\n"},
  };
  for (const Case& c : cases) {
    support::RunResult r = run(node, ZARNGETATTRIBUTES_BIN, c.args);
    EXPECT_EQ(255, r.exitCode) << r.describe();
    EXPECT_EQ(c.out, r.out) << r.describe();
  }
}

class VdiskE2E : public QueryToolsE2E {
 protected:
  // The package's environment file names the DR group and DC1's array.
  support::Sandbox& packageNode(const std::string& name = "node1") {
    support::Sandbox& node = makeNode(name, devices);
    node.makeDir(PKGDIR);
    support::ArrayVariables vars;
    vars.dc1Smis = "smis-a";
    node.writeFile(ENV_FILE, support::packageEnvText(PKGDIR, "AVAILABILITY_PREFERRED", 0, vars));
    return node;
  }

  std::vector<support::DeviceEntry> devices = {{A, DR + "dg01", "A.0001", ""},
                                           {B, DR + "dg01", "B.0001", ""}};
};

TEST_F(VdiskE2E, ListsTheDisksOfThePackagesDRGroup) {
  // smis-a is the default server.
  support::Sandbox& node = packageNode();
  support::RunResult r = run(node, ZARNGETVDISKWWN_BIN, {ENV_FILE, "ignored"});
  EXPECT_EQ(0, r.exitCode) << r.describe();
  EXPECT_EQ("", r.err);
  EXPECT_EQ(Lines{"Connecting to SMI-S server smis-a:" + std::to_string(simA.port())},
            r.normalMessages());
  EXPECT_EQ("ZARNDRVDISK 600A0003\nZARNDRVDISK " + DISK + "\nZARNDRVDISK 600A0002\n",
            toolOutput(r));
}

TEST_F(VdiskE2E, PackageNameIsAskedOfTheClusterManager) {
  support::Sandbox& node = makeNode("node1", devices);
  node.installClusterDoubles();
  node.answer("kxgetpkgenv", "pkg1", 0,
              "YRZARN_DR_GROUP_NAME=dg01\n"
              "YRZARN_DC1_STORAGE_WORLD_WIDE_NAME=5001-4380-025B-4A80\n"
              "YRZARN_DC2_STORAGE_WORLD_WIDE_NAME=5001-4380-025B-4C20\n"
              "YRZARN_DC1_SMIS_LIST=smis-a\nYRZARN_DC1_HOST_LIST=node1 node2\n"
              "YRZARN_DC2_SMIS_LIST=smis-a\nYRZARN_DC2_HOST_LIST=node3 node4\n");
  support::RunResult r = run(node, ZARNGETVDISKWWN_BIN, {"pkg1"});
  EXPECT_EQ(0, r.exitCode) << r.describe();
  EXPECT_EQ(Lines{"kxgetpkgenv pkg1"}, r.calls);
  EXPECT_EQ("ZARNDRVDISK 600A0003\nZARNDRVDISK " + DISK + "\nZARNDRVDISK 600A0002\n",
            toolOutput(r));
}

TEST_F(VdiskE2E, FailuresAreOneLineOnTheErrorStream) {
  support::RunResult r = run(packageNode(), ZARNGETVDISKWWN_BIN, {});
  EXPECT_EQ(255, r.exitCode) << r.describe();
  EXPECT_EQ("Warning - Provide enough Arguments, Device WWN, Environment file & Command "
            "Name - 'kxcheckconf/kxapplyconf'\n\n",
            r.out);

  // The default server down: no other server is tried.
  std::swap(servers[0], servers[1]);
  r = run(packageNode(), ZARNGETVDISKWWN_BIN, {ENV_FILE});
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ("Failed to connect to SMIS server smis-down\n"
            "No more SMIS server found for this package \n",
            r.err);
  EXPECT_EQ("", toolOutput(r));

  std::swap(servers[0], servers[1]);
  devices.pop_back();
  devices.pop_back();
  r = run(packageNode(), ZARNGETVDISKWWN_BIN, {ENV_FILE});
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ("DRGroup not found \n", r.err);
}

TEST_F(VdiskE2E, CIMFailureAfterConnectingEndsWithStatusOne) {
  support::ZarnSim failing(ZARNSIM_BIN,
                       scenario("logging", true,
                                R"([{"operation": "AssociatorNames", "action": "cimError",
                                     "description": "CIM_ERR_FAILED: provider restarted"}])"));
  ASSERT_TRUE(failing.ok()) << failing.error();
  servers[0].port = failing.port();
  support::RunResult r = run(packageNode(), ZARNGETVDISKWWN_BIN, {ENV_FILE});
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ("Failed to get the virtual disks of the DR group " + DR +
                "dg01 from SMIS server smis-a: CIM_ERR_FAILED: provider restarted\n",
            r.err);
  EXPECT_EQ("", toolOutput(r));
  EXPECT_FALSE(r.timedOut);
}

}  // namespace
