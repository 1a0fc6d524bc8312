// ZARNGetVdiskWWN against the array simulator: the package's DR group found
// through the device ID map and the default server, one line per member
// disk in the server's order, the error lines, and CIM failures after the
// connection reported instead of lost.
#include "zarn/tools/zarn_get_vdisk_wwn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/zarn/query_tool_fixture.h"

namespace {

using support::Lines;

const std::string A = "50014380025B4A80";
const std::string B = "50014380025B4C20";
const std::string DR = "\\Data Replication\\";
const char* const ENV_FILE = "/opt/kxcluster/pkg/pkg1/pkg1.env";

// dg01 has three disks on dc1, listed out of their creation order; dg02
// has none.
std::string scenario(const std::string& faults = "[]") {
  return R"({
  "arrays": [
    {"id": "dc1", "wwn": "50014380025B4A80", "volumes": [
      {"id": "v1", "wwn": "600A0001"}, {"id": "v2", "wwn": "600A0002"},
      {"id": "v3", "wwn": "600A0003"}]},
    {"id": "dc2", "wwn": "50014380025B4C20", "volumes": [{"id": "v1", "wwn": "600B0001"}]}
  ],
  "drGroups": [
    {"name": "dg01", "sides": [
      {"array": "dc1", "instanceId": "A.0001", "volumes": ["v3", "v1", "v2"]},
      {"array": "dc2", "instanceId": "B.0001", "volumes": ["v1"]}]},
    {"name": "dg02", "sides": [{"array": "dc1", "instanceId": "A.0002"}]}
  ],
  "faults": )" + faults + "}";
}

const std::vector<support::DeviceEntry> DEVICES = {
    {A, DR + "dg01", "A.0001", "600A0003,600A0001,600A0002"},
    {B, DR + "dg01", "B.0001", "600B0001"},
    {A, DR + "dg02", "A.0002", ""},
};

const std::string DG01_DISKS =
    "ZARNDRVDISK 600A0003\nZARNDRVDISK 600A0001\nZARNDRVDISK 600A0002\n";

class ZARNGetVdiskWWNTest : public support::QueryToolTest {
 protected:
  void SetUp() override { startSim(scenario()); }

  // The package's array variables (and QUERY_TIME_OUT when not empty).
  void writeEnv(const std::string& group, const std::string& dc1Wwn,
                const std::string& timeout = "") {
    std::string text = "DR_GROUP_NAME=" + group + "\nDC1_STORAGE_WORLD_WIDE_NAME=" + dc1Wwn +
                       "\nDC2_STORAGE_WORLD_WIDE_NAME=5001-4380-025B-4C20"
                       "\nDC1_SMIS_LIST=smis-dc1\nDC1_HOST_LIST=node1 node2"
                       "\nDC2_SMIS_LIST=smis-dc2\nDC2_HOST_LIST=node3 node4\n";
    if (!timeout.empty()) text += "QUERY_TIME_OUT=" + timeout + "\n";
    sys.files.contents[ENV_FILE] = text;
  }

  int run() {
    ZARNGetVdiskWWN tool({&sys.console, &err});
    tool.setMapFileName(mapFile());
    return support::runWith(tool, {"ZARNGetVdiskWWN", ENV_FILE});
  }

  // What the tool itself printed on standard output (the logger's lines
  // left out).
  std::string results() const {
    std::string out;
    for (const std::string& w : sys.console.writes)
      if (w.find(" - Node ") == std::string::npos) out += w;
    return out;
  }
  // The logger's messages.
  Lines logged() const {
    Lines out;
    for (const std::string& w : sys.console.writes) {
      size_t at = w.find(" : ");
      if (w.find(" - Node ") != std::string::npos && at != std::string::npos)
        out.push_back(w.substr(at + 3, w.size() - at - 4));
    }
    return out;
  }
  std::string connecting() {
    return "Connecting to SMI-S server 127.0.0.1:" + std::to_string(sim().port());
  }

  std::ostringstream err;
};

TEST_F(ZARNGetVdiskWWNTest, ListsTheDisksInTheServersOrder) {
  writeMap({simEntry(), deadEntry("smis-dc1")}, DEVICES);
  // The DC1 name with dashes anywhere finds the same map entry.
  for (const std::string& wwn :
       {std::string("5001-4380-025B-4A80"), std::string("50-014380025B4A-80"), A}) {
    writeEnv("dg01", wwn);
    sys.console.writes.clear();
    err.str("");
    EXPECT_EQ(0, run()) << wwn;
    EXPECT_EQ("", err.str()) << wwn;
    EXPECT_EQ(Lines{connecting()}, logged()) << wwn;
    EXPECT_EQ(DG01_DISKS, results()) << wwn;
  }
}

TEST_F(ZARNGetVdiskWWNTest, EmptyDRGroupListsNothing) {
  writeMap({simEntry()}, DEVICES);
  writeEnv("dg02", "5001-4380-025B-4A80");
  EXPECT_EQ(0, run());
  EXPECT_EQ("", err.str());
  EXPECT_EQ("", results());
}

TEST_F(ZARNGetVdiskWWNTest, LookupFailuresEndWithOneErrorLine) {
  struct Case {
    const char* what;
    std::vector<support::SmisEntry> servers;
    std::string group;
    std::string expected;
  } cases[] = {
      {"no map entry for the DR group", {simEntry()}, "dg09", "DRGroup not found \n"},
      {"empty server list", {}, "dg01", "No SMIS server not found!\n"},
      // Only the default server is tried: the package's own servers are
      // not looked at.
      {"default server unreachable", {deadEntry("smis-down"), simEntry()}, "dg01",
       "Failed to connect to SMIS server smis-down\n"
       "No more SMIS server found for this package \n"},
  };
  for (const Case& c : cases) {
    if (c.servers.empty())
      support::spit(mapFile(), "");
    else
      writeMap(c.servers, DEVICES);
    writeEnv(c.group, "5001-4380-025B-4A80");
    sys.console.writes.clear();
    err.str("");
    EXPECT_EQ(1, run()) << c.what;
    EXPECT_EQ(c.expected, err.str()) << c.what;
    EXPECT_EQ("", results()) << c.what;
  }
}

TEST_F(ZARNGetVdiskWWNTest, CIMFailureAfterConnectingIsReported) {
  struct Case {
    const char* what;
    std::string faults;
    std::string reason;  // the start of the failure's message
  } cases[] = {
      {"DR groups not enumerated",
       R"([{"operation": "EnumerateInstanceNames", "action": "cimError", "code": 4,
            "description": "CIM_ERR_INVALID_PARAMETER: no such namespace"}])",
       "CIM_ERR_INVALID_PARAMETER: no such namespace"},
      {"members not listed", R"([{"operation": "AssociatorNames", "action": "cimError"}])",
       "CIM_ERR_FAILED: injected fault"},
      // The second disk's read is cut off: no partial list is printed.
      {"second disk unread", R"([{"operation": "GetInstance", "action": "drop", "skip": 1}])",
       ""},
  };
  for (const Case& c : cases) {
    startSim(scenario(c.faults));
    writeMap({simEntry()}, DEVICES);
    writeEnv("dg01", "5001-4380-025B-4A80");
    sys.console.writes.clear();
    err.str("");
    EXPECT_EQ(1, run()) << c.what;
    const std::string start = "Failed to get the virtual disks of the DR group " + DR +
                              "dg01 from SMIS server 127.0.0.1: ";
    const std::string text = err.str();
    EXPECT_EQ(0u, text.rfind(start + c.reason, 0)) << c.what << ": " << text;
    // One line, with the failure's message.
    EXPECT_GT(text.size(), start.size() + 1) << c.what;
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << c.what;
    EXPECT_EQ('\n', text.back()) << c.what;
    EXPECT_EQ("", results()) << c.what;
  }
}

TEST_F(ZARNGetVdiskWWNTest, QueryTimeoutBelowOneSecondUsesTheDefault) {
  writeMap({simEntry()}, DEVICES);
  for (const char* timeout : {"0", "-5", "soon"}) {
    writeEnv("dg01", A, timeout);
    sys.console.writes.clear();
    err.str("");
    EXPECT_EQ(0, run()) << timeout;
    EXPECT_EQ("", err.str()) << timeout;
    EXPECT_EQ(DG01_DISKS, results()) << timeout;
  }
}

TEST_F(ZARNGetVdiskWWNTest, UnreadablePackageFindsNoDRGroup) {
  writeMap({simEntry()}, DEVICES);
  EXPECT_EQ(1, run());
  EXPECT_EQ("DRGroup not found \n", err.str());
  Lines messages = logged();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(0u, messages.front().rfind("Error - Unable to open the package environment file " +
                                           std::string(ENV_FILE),
                                       0))
      << messages.front();
}

}  // namespace
