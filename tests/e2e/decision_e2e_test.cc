// drenable deciding from the arrays: the real program on sandboxed nodes of
// both data centres, reaching zarnsim through the SMI-S servers of its own
// data centre. One DR group per case, all in one simulator; each case
// checks the exit code, the package log, the FORCEFLAG file and, from the
// simulator's request log, whether the DR group was failed over.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"

namespace {

using json = nlohmann::json;
using Messages = std::vector<std::string>;

const char* const DC1_WWN = "50014380025B4A80";
const char* const DC2_WWN = "50014380025B4C20";
const char* const PKGDIR = "/opt/kxcluster/pkg/pkg1";
const char* const ENV_FILE = "/opt/kxcluster/pkg/pkg1/pkg1.env";
const char* const FORCEFLAG = "/opt/kxcluster/pkg/pkg1/FORCEFLAG";
const char* const RECORDS = "/opt/kxcluster/pkg/pkg1/decisions.jsonl";

const char* const AVAIL = "AVAILABILITY_PREFERRED";
const char* const DATA = "DATA_CURRENCY_PREFERRED";
const char* const REMOTE = "REMOTE_PROTECTION_PREFERRED";

// ---- the engine's and the array interface's messages ----------------------

const char* const SWAPPED =
    "Failover and swap the role of the device group successful.\n\t\t\t\t"
    "Replication is started in opposite direction between new \n\t\t\t\t"
    "source and destination. The package is allowed to start up.";
const char* const SWAP_FAILED =
    "Error - Failed to failover and swap the role of the device group.\n\t\t\t\t"
    "The package is NOT allowed to start up.";
const char* const G1 =
    "The package is not allowed to start on this node.\n\t\t\t\t"
    "It may be possible to start up on the next adoptive node.";
const char* const G6 = "Error - An invalid startup policy is detected.";
const char* const F1 =
    "FORCEFLAG file exists in the package directory. \n\t\t\t\t"
    "Force the package to start up.";
const char* const UNEXPECTED =
    "Error - Getting unexpected Data Replication state. Fix the \n\t\t\t\t"
    "problem and then restart the package";
const char* const FORCEFLAG_REMOVED = "The FORCEFLAG file exists. It will be removed.";
const char* const I1 =
    "An invalid device group state is detected.\n\t\t\t\t"
    "The package is NOT allowed to start up. \n\t\t\t\t"
    "Fix the problem and restart this package.";
const char* const I3 =
    "An invalid device group state is detected.\n\t\t\t\t"
    "The program will NOT allow the package to start up.\n\t\t\t"
    "Fix the problem and restart this package.";
const char* const S1 =
    "The replication link state is good, the role of the device  \n\t\t\t\t"
    "group on this site is \"source\", and the state of the data  \n\t\t\t\t"
    "is current. The package is allowed to start up.";
const char* const T1 =
    "The replication link state is good, the role of the device  \n\t\t\t\t"
    "group on this site is \"destination\", and the state of the data  \n\t\t\t\t"
    "is current. The program will attempt to start up the package.";
const char* const T5 =
    "The replication link state is good, the role of the device \n\t\t\t\t"
    "group on this site is \"destination\" and the data Track Copy is \n\t\t\t\t"
    "in progress. Because the WAIT_TIME is set to 0 minute, \n\t\t\t\t"
    "the program will not wait and the package is NOT allowed to start up.";
const char* const T11 =
    "The replication link state is good, the role of the device \n\t\t\t\t"
    "group on this site is \"destination\" and the data Log Copy is \n\t\t\t\t"
    "in progress. DR MODE is SYNCHRONOUS.\n\t\t\t\t"
    "Because the WAIT_TIME is set to 0 minute, \n\t\t\t\t"
    "the program will not wait and the package is NOT allowed to start up.";
const char* const T16 =
    "The role of the device group on this site is \"destination\". The state \n\t\t\t\t"
    "of the data may be inconsistent due to replication link is down \n\t\t\t\t"
    "while data copying from source to destination is still in progress.\n\t\t\t\t"
    "The package is NOT allowed to start up.";
const char* const SUSPENDED = "The replication link of this DR group is in suspend mode.";
const char* const FAILSAFE =
    "This version of SF/YRZARN does not support Failsafe mode enable.\n\t\t\t\t"
    "Change Failsafe mode of this DR group to disable, \n\t\t\t\t"
    "and then restart the package.";

std::string policyLine(const std::string& policy) {
  return "The configured startup policy for the package is " + policy;
}
std::string S3(const std::string& p) {
  return "The role of the device group on this site is \"source\" and \n\t\t\t\t"
         "the state of data is current. Even though the state of the \n\t\t\t\t"
         "replication link is down, because the package startup policy \n\t\t\t\t"
         "is " + p + ", the package is allowed to\n\t\t\t\tstart up.";
}
std::string S5(const std::string& p) {
  return "The role of the device group on this site is \"source\" and \n\t\t\t\t"
         "the state of data is current. Even though the state of the \n\t\t\t\t"
         "replication link is down and the data in the destination site \n\t\t\t\t"
         "is out-of-sync (non-current), because the package startup \n\t\t\t\tpolicy is " +
         p + ", the package is allowed to start up";
}
std::string G7(const std::string& p) {
  return "Error - Invalid startup policy " + p +
         ". \n\t\t\t\tChange to the correct policy then restart the package.";
}
std::string T2(const std::string& p) {
  return "The replication link state is good and the role of the device \n\t\t\t\t"
         "group on this site is \"destination\". Even though the state of the \n\t\t\t\t"
         "data may not be current, because the package startup policy is \n\t\t\t\t " +
         p + ", the program will attempt to start up the package.";
}
std::string T3(const std::string& p) {
  return "The replication link state is good and the role of the device \n\t\t\t\t"
         "group on this site is \"destination\". Because the state of the \n\t\t\t\t"
         "data may not be current and the package startup policy is \n\t\t\t\t " +
         p + ", the package is NOT allowed to start up.\n\t\t\t\t"
         "Either manually resync the data, or force the package to start up \n\t\t\t\t"
         "by create the \"FORCEFLAG\" file in the package directory.\n\t\t\t\t"
         "Then, restart the package.";
}
std::string T4(int minutes) {
  return "The replication link state is good, the role of the device \n\t\t\t\t"
         "group on this site is \"destination\" and the data Track Copy is \n\t\t\t\t"
         "in progress. Because the WAIT_TIME is set to \n\t\t\t\t" +
         std::to_string(minutes) +
         " minutes, the program will wait for completion \n\t\t\t\tof the track copy.";
}
std::string T7(int minutes) {
  return "The replication link state is good, the role of the device \n\t\t\t\t"
         "group on this site is \"destination\" and the data Log Copy is \n\t\t\t\t"
         "in progress. Because the WAIT_TIME is set to \n\t\t\t\t" +
         std::to_string(minutes) +
         " minutes, the program will wait for completion\n\t\t\t\tof the log copy.";
}
std::string T12(const std::string& p) {
  return "The role of the device group on this site is \"destination\" and \n\t\t\t\t"
         "the state of data is current. Even though the state of the \n\t\t\t\t"
         "replication link is down, because the package startup policy is \n\t\t\t\t" +
         p + ", the program will attempt to start up the package.";
}
std::string T13(const std::string& p) {
  return "The role of the device group on this site is \"destination\" and \n\t\t\t\t"
         "the state of data is current. Because the state of the \n\t\t\t\t"
         "replication link is down and the package startup policy is\n\t\t\t\t" +
         p + ", the package is NOT allowed to start up.\n\t\t\t\t"
         "To force the package to start up, create the \"FORCEFLAG\"  \n\t\t\t\t"
         "file in the package directory.Then, restart the package.";
}
std::string T14(const std::string& p) {
  return "The role of the device group on this site is \"destination\". \n\t\t\t\t"
         "The state of the replication link is down and the state of \n\t\t\t\t"
         "data may not be current. Because the package startup policy is \n\t\t\t\t" +
         p + ", the program will attempt to start up the package.";
}
std::string T15(const std::string& p) {
  return "The role of the device group on this site is \"destination\". \n\t\t\t\t"
         "The state of the replication link is down and the state of \n\t\t\t\t"
         "data may not be current. Because the package startup policy is \n\t\t\t\t" +
         p + ", the package is NOT allowed to start up. \n\t\t\t\t"
         "To force the package to start up, create the \"FORCEFLAG\"  \n\t\t\t\t"
         "file in the package directory. Then, restart the package.";
}
std::string count(int n) {
  char text[32];
  std::snprintf(text, sizeof text, "Failover Count: %2d", n);
  return text;
}
const char* const WAITING_TAIL = "Check again after 60 seconds.\n\t\t\t\tThe remaining wait time is ";

// ---- the arrays ------------------------------------------------------------

json sideState(const char* role) {
  return {{"ParticipationType", role}, {"LinkState", "good"},
          {"LogState", "normal"},      {"FailSafe", "disabled"},
          {"FailSafeLock", "no"},      {"Suspend", "no"},
          {"WriteMode", "synchronous"}, {"Fullcopystate", "no"},
          {"TotalTransmit", "0"}};
}
json with(json base, const json& changes) {
  for (auto it = changes.begin(); it != changes.end(); ++it) base[it.key()] = it.value();
  return base;
}

// One DR group of the scenario: the state of its side on each array and
// further members (failoverResults, events, countdowns).
struct Group {
  std::string name;
  json dc1;
  json dc2;
  json extra = json::object();
};

std::string instanceId(const char* wwn, size_t index) {
  char id[32];
  std::snprintf(id, sizeof id, "\\DRG\\%04zu", index + 1);
  return wwn + std::string(id);
}
std::string elementName(const std::string& name) { return "\\Data Replication\\" + name; }

json scenarioOf(const std::vector<Group>& groups) {
  json drGroups = json::array();
  for (size_t i = 0; i < groups.size(); ++i) {
    const Group& g = groups[i];
    json group = {{"name", g.name},
                  {"sides",
                   {{{"array", "dc1"}, {"instanceId", instanceId(DC1_WWN, i)},
                     {"volumes", {"vd01"}}, {"state", g.dc1}},
                    {{"array", "dc2"}, {"instanceId", instanceId(DC2_WWN, i)},
                     {"volumes", {"vd01"}}, {"state", g.dc2}}}}};
    for (auto it = g.extra.begin(); it != g.extra.end(); ++it) group[it.key()] = it.value();
    drGroups.push_back(group);
  }
  return {{"host", "smis-dc1"},
          {"arrays",
           {{{"id", "dc1"}, {"wwn", DC1_WWN},
             {"volumes", {{{"id", "vd01"}, {"wwn", "6001438002A3C1E00000A00001240000"}}}}},
            {{"id", "dc2"}, {"wwn", DC2_WWN},
             {"volumes", {{{"id", "vd01"}, {"wwn", "6001438002A3C2F00000B00003410000"}}}}}}},
          {"drGroups", drGroups}};
}

json results(std::initializer_list<const char*> codes) {
  json a = json::array();
  for (const char* c : codes) a.push_back(c);
  return {{"failoverResults", a}};
}

// Every DR group the cases below use. A case's node decides which side is
// local: node1 and node2 are in data centre 1, node3 and node4 in 2.
std::vector<Group> allGroups() {
  json src = sideState("source"), dst = sideState("destination");
  json srcDown = with(src, {{"LinkState", "failed"}});
  json dstDown = with(dst, {{"LinkState", "failed"}});
  json locked = {{"FailSafeLock", "yes"}};  // link good, replication stopped
  return {
      {"srcUpSynced", src, dst},
      {"srcUpBehind", with(src, {{"LogState", "logging"}}), dst},
      {"srcUpInvalid", with(src, {{"LogState", "unknown"}}), dst},
      {"srcDownSynced", with(srcDown, {{"LogState", "normal"}}), dstDown},
      {"srcDownBehind", with(srcDown, {{"LogState", "logging"}}), dstDown},
      {"dstUpSynced", src, dst},
      {"dstUpSyncedPreview", src, dst},
      {"dstUpBehind", with(src, {{"LogState", "logging"}}), dst},
      {"dstUpBehindForced", with(src, {{"LogState", "logging"}}), dst},
      {"dstUpBehindAvail", with(src, {{"LogState", "logging"}}), dst},
      {"dstDownSyncedAvail", with(src, locked), with(dst, locked)},
      {"dstDownBehindAvail", srcDown, dstDown},
      {"dstUpCopyNoWait", src, with(dst, {{"Fullcopystate", "yes"}})},
      {"dstUpMergeNoWait", with(src, {{"LogState", "merging"}, {"TotalTransmit", "40"}}), dst},
      {"dstDownSynced", with(src, locked), with(dst, locked)},
      {"dstDownBehind", srcDown, dstDown},
      {"dstDownBehindForced", srcDown, dstDown},
      {"dstDownBehindRemote", srcDown, dstDown},
      {"dstDownCopy", srcDown, with(dstDown, {{"Fullcopystate", "yes"}})},
      {"dstDownInvalid", with(src, {{"FailSafeLock", "yes"}, {"LinkState", "unknown"}}),
       with(dst, {{"FailSafeLock", "yes"}, {"LinkState", "unknown"}})},
      {"failsafe", with(src, {{"FailSafe", "enabled"}}), with(dst, {{"FailSafe", "enabled"}})},
      // Waits (run under faketime).
      {"waitCopy", src, with(dst, {{"Fullcopystate", "yes"}}),
       {{"events", {{{"afterReads", 4}, {"side", "both"}, {"set", {{"Fullcopystate", "no"}}}}}}}},
      {"waitMerge",
       with(src, {{"LogState", "merging"}, {"WriteMode", "asynchronous"}, {"TotalTransmit", "12"}}),
       with(dst, {{"WriteMode", "asynchronous"}}),
       {{"countdowns",
         {{{"side", "source"}, {"step", 2},
           {"then", {{{"side", "source"}, {"set", {{"LogState", "normal"}}}}}}}}}}},
      {"waitBusy", src, dst, results({"STORAGE_SYSTEM_BUSY", "STORAGE_SYSTEM_BUSY", "SUCCESS"})},
      {"waitLock", src, dst, results({"LOCK_COLLISION", "LOCK_COLLISION", "SUCCESS"})},
      {"dcByItem", src, dst},
      {"refusedCodeZero", src, dst,
       {{"failoverResults",
         json::array({json{{"returnValue", 4}, {"errorCodes", json::array({0})}}})}}},
      {"dstUpBehindPreview", with(src, {{"LogState", "logging"}}), dst},
      {"dstDownBehindNotAFile", srcDown, dstDown},
      // Read back with drenable -explain.
      {"explainStart", src, dst},
      {"explainFailover", with(src, {{"LogState", "logging"}, {"TotalTransmit", "17"}}), dst},
      {"explainRefused", with(src, {{"LogState", "logging"}, {"TotalTransmit", "17"}}), dst},
      {"recordPlanted", src, dst},
      {"timeLimited", src, dst},
  };
}

class DecisionE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    groups_ = new std::vector<Group>(allGroups());
    sim_ = new support::ZarnSim(ZARNSIM_BIN, scenarioOf(*groups_).dump());
  }
  static void TearDownTestSuite() {
    delete sim_;
    sim_ = nullptr;
    delete groups_;
    groups_ = nullptr;
  }

  struct Run {
    std::string group;
    std::string host;
    std::string policy = AVAIL;
    int waitMinutes = 5;
    bool forceflag = false;
    bool preview = false;
    bool fast = false;  // under libfaketime, the clock 100 times faster
    int smisPort = 0;   // 0: the simulator's
    std::string dc1Hosts = "node1 node2";
    std::string dc2Hosts = "node3 node4";
    // What an unprivileged user put at the FORCEFLAG path ("fifo") or at
    // the environment file's ("fifo", "zero": a link to /dev/zero).
    std::string plantedFlag = "";
    std::string plantedEnv = "";
    // A symbolic link planted at the decision log's name, to a file.
    bool plantedRecord = false;
    std::string timeLimit = "";  // DRENABLE_TIME_LIMIT, when not empty
  };

  // Runs drenable for the package of one DR group; remembers the node.
  support::RunResult drenable(const Run& run) {
    EXPECT_TRUE(sim_->ok()) << sim_->error();
    node_ = std::make_unique<support::Sandbox>(run.host);
    support::Sandbox& node = *node_;
    node.writeFile("/etc/hosts", "127.0.0.1\tlocalhost smis-dc1 smis-dc2\n");
    std::vector<support::SmisEntry> servers(2);
    servers[0].host = "smis-dc1";
    servers[1].host = "smis-dc2";
    for (auto& s : servers) s.port = run.smisPort != 0 ? run.smisPort : sim_->port();
    std::vector<support::DeviceEntry> devices;
    for (size_t i = 0; i < groups_->size(); ++i) {
      const std::string name = elementName((*groups_)[i].name);
      devices.push_back({DC1_WWN, name, instanceId(DC1_WWN, i), "6001438002A3C1E00000A00001240000"});
      devices.push_back({DC2_WWN, name, instanceId(DC2_WWN, i), "6001438002A3C2F00000B00003410000"});
    }
    node.writeFile(support::MAP_FILE, support::mapFileText(servers, devices), 0600);
    support::ArrayVariables vars;
    vars.drGroup = run.group;
    vars.dc1Hosts = run.dc1Hosts;
    vars.dc2Hosts = run.dc2Hosts;
    // A sped-up clock would make the 300 s query time-out 3 real seconds.
    if (run.fast) vars.queryTimeout = "6000";
    node.makeDir(PKGDIR);
    if (run.plantedEnv.empty())
      node.writeFile(ENV_FILE, support::packageEnvText(PKGDIR, run.policy, run.waitMinutes, vars));
    if (run.forceflag) node.writeFile(FORCEFLAG, "");
    if (run.plantedFlag == "fifo") plantFifo(FORCEFLAG);
    if (run.plantedEnv == "fifo") plantFifo(ENV_FILE);
    if (run.plantedEnv == "zero") {
      EXPECT_EQ(symlink("/dev/zero", node.hostPath(ENV_FILE).c_str()), 0);
    }
    if (run.plantedRecord) {
      node.writeFile(std::string(PKGDIR) + "/other", "kept\n");
      EXPECT_EQ(symlink("other", node.hostPath(RECORDS).c_str()), 0);
    }

    support::RunOptions o;
    if (run.preview)
      o.args = {"-preview", ENV_FILE};
    else
      o.args = {ENV_FILE, "0", "0", "", ""};
    o.env["PACKAGE"] = "pkg1";
    if (!run.timeLimit.empty()) o.env["DRENABLE_TIME_LIMIT"] = run.timeLimit;
    if (run.fast) {
      support::preloadFakeTime(o, FAKETIME_SLEEP_LIB, "@2024-01-01 00:00:00 x100");
    }
    // A run that blocks on a planted file fails the test soon.
    if (!run.plantedFlag.empty() || !run.plantedEnv.empty()) o.timeoutSeconds = 15;
    sim_->clearRequests();
    support::RunResult r = node.run(DRENABLE_BIN, o);
    EXPECT_EQ(r.setupError, "");
    if (!run.plantedRecord) checkRecord(run, r);
    return r;
  }

  // Every run leaves exactly one decision record, in the package folder and
  // the journal, that agrees with what happened; a run that never learnt
  // the package folder leaves none and says so.
  void checkRecord(const Run& run, const support::RunResult& r) {
    const std::optional<std::string> text = node_->readFile(RECORDS);
    if (!run.plantedEnv.empty()) {
      EXPECT_FALSE(text.has_value());
      Messages m = r.normalMessages();
      EXPECT_NE(std::find(m.begin(), m.end(),
                          "Warning - No decision record is written: the package directory is "
                          "not known."),
                m.end());
      return;
    }
    ASSERT_TRUE(text.has_value()) << r.describe();
    ASSERT_EQ(std::count(text->begin(), text->end(), '\n'), 1) << *text;
    lastRecord_ = json::parse(*text);
    const json& rec = lastRecord_;
    EXPECT_EQ(rec["exit"], r.exitCode) << *text;
    EXPECT_EQ(rec["preview"], run.preview) << *text;
    EXPECT_EQ(rec.value("failovers", json::array()).size(), failovers(run.group)) << *text;
    const char* flag = !run.forceflag ? "absent" : forceflagLeft() ? "present" : "used";
    EXPECT_EQ(rec["forceflag"], flag) << *text;
    EXPECT_EQ(rec["package"], "pkg1");
    EXPECT_LE(rec["reason"].get<std::string>().size(), 128u);
    ASSERT_EQ(r.journal.size(), 1u) << r.describe();
    EXPECT_EQ(r.journal[0].at("MESSAGE_ID"), "a03ebe107da641489bf7b3d7daaa0983");
    EXPECT_EQ(r.journal[0].at("DRENABLE_EXIT"), std::to_string(r.exitCode));
    EXPECT_EQ(json::parse(r.journal[0].at("DRENABLE_RECORD")), rec);
  }

  // drenable -explain on the node of the last run.
  support::RunResult explain(std::vector<std::string> options) {
    support::RunOptions o;
    o.args = {"-explain"};
    o.args.insert(o.args.end(), options.begin(), options.end());
    o.args.push_back(ENV_FILE);
    return node_->run(DRENABLE_BIN, o);
  }

  // A FIFO made at a node path by the unprivileged user nobody, in a
  // package folder that user may write to.
  void plantFifo(const char* nodePath) {
    support::Sandbox& node = *node_;
    ASSERT_EQ(chmod(node.hostPath(PKGDIR).c_str(), 0777), 0);
    support::RunOptions o;
    o.args = {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/mkfifo",
              nodePath};
    support::RunResult r = node.run("/usr/bin/setpriv", o);
    ASSERT_EQ(r.exitCode, 0) << r.describe();
    struct stat st;
    ASSERT_EQ(lstat(node.hostPath(nodePath).c_str(), &st), 0);
    ASSERT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(st.st_uid, 65534u);
  }

  // The package log from the policy line on: the decision and what was
  // done about it.
  static Messages decision(const support::RunResult& r) {
    Messages all = r.normalMessages(), out;
    bool on = false;
    for (const auto& m : all) {
      if (m.rfind("The configured startup policy", 0) == 0) on = true;
      if (on) out.push_back(m);
    }
    return out;
  }
  // FastFailover requests for a DR group since the run began.
  static size_t failovers(const std::string& group) {
    size_t n = 0;
    for (const auto& r : sim_->requests("FastFailover"))
      if (r.detail("drgroup") == elementName(group)) ++n;
    return n;
  }
  bool forceflagLeft() const { return node_->readFile(FORCEFLAG).has_value(); }

  static support::ZarnSim* sim_;
  static std::vector<Group>* groups_;
  std::unique_ptr<support::Sandbox> node_;
  json lastRecord_;
};

support::ZarnSim* DecisionE2E::sim_ = nullptr;
std::vector<Group>* DecisionE2E::groups_ = nullptr;

const char* const LEAVING = "Leaving Data Replication Enabler";

// ---- source site ----------------------------------------------------------

TEST_F(DecisionE2E, SourceLinkUpCurrentStarts) {
  auto r = drenable({"srcUpSynced", "node1"});
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  Messages m = r.normalMessages();
  ASSERT_GE(m.size(), 4u) << r.describe();
  EXPECT_EQ(m[0], "Entering Data Replication Enabler");
  EXPECT_EQ(m[1], "Connecting to SMI-S server smis-dc1:" + std::to_string(sim_->port()));
  EXPECT_EQ(m[2].rfind("Local DR Group state: \n\t\t\t\tDR Mode: source\n", 0), 0u) << m[2];
  EXPECT_EQ(m[3].rfind("Remote DR Group state: \n\t\t\t\tDR Mode: destination\n", 0), 0u);
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), S1, LEAVING}));
  EXPECT_TRUE(r.sysLog.empty());
  // Exactly the two DR group reads, nothing else.
  auto requests = sim_->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].operation, "GetInstance");
  EXPECT_EQ(requests[1].operation, "GetInstance");
}

TEST_F(DecisionE2E, SourceLinkUpDestinationBehindDependsOnPolicy) {
  auto r = drenable({"srcUpBehind", "node2", REMOTE});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(REMOTE), G7(REMOTE), LEAVING}));
  ASSERT_EQ(r.sysLog.size(), 1u);
  EXPECT_EQ(r.sysLogMessages()[0],
            std::string("Unable to start up package pkg1. See the package's\t\t\t\tlog "
                        "file located in the \"") +
                PKGDIR + "\" directory for more information.");
}

TEST_F(DecisionE2E, SourceLinkUpInvalidLogStateRefuses) {
  auto r = drenable({"srcUpInvalid", "node1"});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), I1, LEAVING}));
  Messages m = r.normalMessages();
  EXPECT_NE(std::find(m.begin(), m.end(), "Error - Unexpected DR log state unknown detected."),
            m.end());
}

TEST_F(DecisionE2E, SourceLinkDownStartsUnderAvailabilityOrCurrency) {
  auto r = drenable({"srcDownSynced", "node1"});
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), S3(AVAIL), LEAVING}));
  EXPECT_EQ(sim_->requests().size(), 1u);  // the remote array is not asked

  r = drenable({"srcDownBehind", "node2", DATA});
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(DATA), S5(DATA), LEAVING}));
}

// ---- destination site -----------------------------------------------------

TEST_F(DecisionE2E, DestinationLinkUpCurrentFailsOverToThisSite) {
  auto r = drenable({"dstUpSynced", "node3"});
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), T1, count(1), SWAPPED, LEAVING}));
  Messages m = r.normalMessages();
  EXPECT_EQ(m[1], "Connecting to SMI-S server smis-dc2:" + std::to_string(sim_->port()));
  ASSERT_EQ(failovers("dstUpSynced"), 1u);
  auto ff = sim_->requests("FastFailover")[0];
  EXPECT_EQ(ff.detail("array"), DC2_WWN);
  EXPECT_EQ(ff.status, "ok");
  EXPECT_TRUE(r.sysLog.empty());
}

TEST_F(DecisionE2E, PreviewSendsNoFailover) {
  auto r = drenable({"dstUpSyncedPreview", "node4", AVAIL, 5, false, true});
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(decision(r),
            (Messages{policyLine(AVAIL), T1, count(1), "In preview mode", SWAPPED, LEAVING}));
  EXPECT_EQ(failovers("dstUpSyncedPreview"), 0u);
  EXPECT_TRUE(sim_->requests("FastFailover").empty());
}

TEST_F(DecisionE2E, DestinationLinkUpBehindNeedsPolicyOrForceflag) {
  auto r = drenable({"dstUpBehind", "node3", DATA});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(DATA), T3(DATA), LEAVING}));
  Messages m = r.normalMessages();
  EXPECT_NE(std::find(m.begin(), m.end(), SUSPENDED), m.end());
  EXPECT_EQ(failovers("dstUpBehind"), 0u);

  r = drenable({"dstUpBehindForced", "node3", DATA, 5, true});
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(DATA), FORCEFLAG_REMOVED, F1, count(1), SWAPPED,
                                   LEAVING}));
  EXPECT_FALSE(forceflagLeft());
  EXPECT_EQ(failovers("dstUpBehindForced"), 1u);
}

TEST_F(DecisionE2E, DestinationLinkUpCopyOrMergeWithoutWaitTime) {
  auto r = drenable({"dstUpCopyNoWait", "node4", AVAIL, 0});
  EXPECT_EQ(r.exitCode, 2) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), T5, LEAVING}));
  EXPECT_EQ(r.sysLog.size(), 1u);

  r = drenable({"dstUpMergeNoWait", "node4", DATA, 0, true});
  EXPECT_EQ(r.exitCode, 2) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(DATA), T11, LEAVING}));
  EXPECT_TRUE(forceflagLeft());  // not consulted in synchronous mode
  EXPECT_EQ(failovers("dstUpMergeNoWait"), 0u);
}

TEST_F(DecisionE2E, DestinationLinkDownCurrent) {
  // Failsafe lock: the link is up but replication is stopped.
  auto r = drenable({"dstDownSynced", "node3", REMOTE});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(REMOTE), T13(REMOTE), LEAVING}));
  EXPECT_EQ(failovers("dstDownSynced"), 0u);
}

TEST_F(DecisionE2E, DestinationUnderAvailabilityFailsOverWhateverTheData) {
  const struct {
    const char* group;
    std::string message;
  } cases[] = {{"dstUpBehindAvail", T2(AVAIL)},
               {"dstDownSyncedAvail", T12(AVAIL)},
               {"dstDownBehindAvail", T14(AVAIL)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.group);
    auto r = drenable({c.group, "node4"});
    EXPECT_EQ(r.exitCode, 3) << r.describe();
    EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), c.message, count(1), SWAPPED, LEAVING}));
    EXPECT_EQ(failovers(c.group), 1u);
  }
}

TEST_F(DecisionE2E, DestinationLinkDownBehindRefusedThenForced) {
  auto r = drenable({"dstDownBehind", "node3", DATA});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(DATA), T15(DATA), LEAVING}));
  EXPECT_EQ(failovers("dstDownBehind"), 0u);

  r = drenable({"dstDownBehindForced", "node3", DATA, 5, true});
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(DATA), FORCEFLAG_REMOVED, F1, count(1), SWAPPED,
                                   LEAVING}));
  EXPECT_FALSE(forceflagLeft());
  EXPECT_EQ(failovers("dstDownBehindForced"), 1u);

  // REMOTE_PROTECTION_PREFERRED is not honoured here; the file stays.
  r = drenable({"dstDownBehindRemote", "node4", REMOTE, 5, true});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(REMOTE), G6, UNEXPECTED, LEAVING}));
  EXPECT_TRUE(forceflagLeft());
  EXPECT_EQ(failovers("dstDownBehindRemote"), 0u);
}

TEST_F(DecisionE2E, DestinationLinkDownCopyOrInvalidRefuses) {
  auto r = drenable({"dstDownCopy", "node3"});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), T16, LEAVING}));

  r = drenable({"dstDownInvalid", "node3"});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), I3, LEAVING}));
}

TEST_F(DecisionE2E, FailsafeGroupIsRefusedBeforeTheTable) {
  auto r = drenable({"failsafe", "node3", DATA, 5, true});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  Messages m = r.normalMessages();
  ASSERT_GE(m.size(), 2u);
  EXPECT_EQ(m[m.size() - 2], FAILSAFE);
  EXPECT_TRUE(decision(r).empty());
  EXPECT_TRUE(forceflagLeft());
}

TEST_F(DecisionE2E, NoReachableSmisServerRefusesOnThisNodeOnly) {
  auto r = drenable({"dstUpSynced", "node3", AVAIL, 5, false, false, false, 1});
  EXPECT_EQ(r.exitCode, 2) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), G1, LEAVING}));
  EXPECT_TRUE(sim_->requests().empty());
}

// ---- premises of the decision ----------------------------------------------

// node1 is in data centre 2 although data centre 1 lists node10: the node
// uses its own site's server and array, and fails the group over to them.
TEST_F(DecisionE2E, DataCentreIsTheListThatNamesTheNode) {
  Run run{"dcByItem", "node1"};
  run.dc1Hosts = "node10,node2";
  run.dc2Hosts = "node3\tnode1.example.com";
  auto r = drenable(run);
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  Messages m = r.normalMessages();
  ASSERT_GE(m.size(), 2u) << r.describe();
  EXPECT_EQ(m[1], "Connecting to SMI-S server smis-dc2:" + std::to_string(sim_->port()));
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), T1, count(1), SWAPPED, LEAVING}));
  ASSERT_EQ(failovers("dcByItem"), 1u);
  EXPECT_EQ(sim_->requests("FastFailover")[0].detail("array"), DC2_WWN);
}

TEST_F(DecisionE2E, NodeInBothHostListsIsRefusedBeforeAnyArray) {
  Run run{"dcByItem", "node1"};
  run.dc2Hosts = "node3 node1";
  auto r = drenable(run);
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  Messages m = r.normalMessages();
  EXPECT_NE(std::find(m.begin(), m.end(),
                      "Error - The local host node1 is named in both DC1_HOST_LIST and "
                      "DC2_HOST_LIST.\n\t\t\t\tA node belongs to one data center only."),
            m.end())
      << r.describe();
  EXPECT_TRUE(decision(r).empty());
  EXPECT_TRUE(sim_->requests().empty());
}

// FastFailover refused with the code 0: the roles did not swap, so the
// package must not start as if they had.
TEST_F(DecisionE2E, RefusedFailoverWithCodeZeroRefusesTheStart) {
  auto r = drenable({"refusedCodeZero", "node3"});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(decision(r),
            (Messages{policyLine(AVAIL), T1, count(1),
                      "Error - Unexpected error. The error code from SMI-S service is 0x0",
                      SWAP_FAILED, LEAVING}));
  EXPECT_EQ(failovers("refusedCodeZero"), 1u);
}

TEST_F(DecisionE2E, PreviewReportsTheForceflagAndKeepsIt) {
  auto r = drenable({"dstUpBehindPreview", "node3", DATA, 5, true, true});
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(decision(r),
            (Messages{policyLine(DATA),
                      "The FORCEFLAG file exists and would be used. In preview mode it is kept.",
                      F1, count(1), "In preview mode", SWAPPED, LEAVING}));
  EXPECT_TRUE(forceflagLeft());
  EXPECT_EQ(failovers("dstUpBehindPreview"), 0u);

  // The start that follows uses it.
  r = drenable({"dstUpBehindPreview", "node3", DATA, 5, true});
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(DATA), FORCEFLAG_REMOVED, F1, count(1), SWAPPED,
                                   LEAVING}));
  EXPECT_FALSE(forceflagLeft());
}

// A FIFO a package administrator put in place of FORCEFLAG neither blocks
// the start nor forces it.
TEST_F(DecisionE2E, ForceflagThatIsAFifoIsIgnoredWithoutBlocking) {
  const std::string ignored =
      std::string("Error - ") + FORCEFLAG +
      " is a FIFO, not a regular file.\n\t\t\t\tIt is ignored; only a regular "
      "FORCEFLAG file forces the package to start up.";
  for (bool preview : {true, false}) {
    SCOPED_TRACE(preview ? "preview" : "start");
    Run run{"dstDownBehindNotAFile", "node3", DATA, 5, false, preview};
    run.plantedFlag = "fifo";
    auto r = drenable(run);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1) << r.describe();
    EXPECT_EQ(decision(r), (Messages{policyLine(DATA), ignored, T15(DATA), LEAVING}));
    EXPECT_EQ(failovers("dstDownBehindNotAFile"), 0u);
  }
}

// An environment file that is a FIFO or /dev/zero is refused unread.
TEST_F(DecisionE2E, EnvironmentFileThatIsNotARegularFileIsRefused) {
  for (const char* planted : {"fifo", "zero"}) {
    SCOPED_TRACE(planted);
    Run run{"dstDownBehindNotAFile", "node3"};
    run.plantedEnv = planted;
    auto r = drenable(run);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1) << r.describe();
    Messages m = r.normalMessages();
    ASSERT_GE(m.size(), 3u) << r.describe();
    EXPECT_EQ(m[1], std::string("Error - Unable to read the package environment file ") +
                        ENV_FILE + ". \n\t\t\t\tIt is not a regular file.");
    EXPECT_EQ(m[2], std::string("Error - Error found in the environment file ") + ENV_FILE);
    EXPECT_TRUE(sim_->requests().empty());
  }
}

// ---- waits, under faketime --------------------------------------------------

// The waiting messages of a run, checked for their text and for remaining
// times that go down by at least 60 seconds each; returns how many.
size_t checkWaits(const Messages& m, const std::string& what, int waitSeconds) {
  size_t n = 0;
  long last = waitSeconds + 60;
  const std::string prefix = what + WAITING_TAIL;
  for (const auto& line : m) {
    if (line.rfind(what, 0) != 0) continue;
    EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    long remaining = std::atol(line.c_str() + prefix.size());
    EXPECT_LE(remaining, last - 60) << line;
    EXPECT_GT(remaining, 0) << line;
    EXPECT_EQ(line.substr(line.size() - 9), " seconds.");
    last = remaining;
    ++n;
  }
  return n;
}

TEST_F(DecisionE2E, WaitsForTheTrackCopyThenFailsOver) {
  auto r = drenable({"waitCopy", "node3", AVAIL, 10, false, false, true});
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  Messages d = decision(r);
  ASSERT_GE(d.size(), 4u) << r.describe();
  EXPECT_EQ(d[1], T4(10));
  EXPECT_EQ(d[2], "The DR Group is in copying state");
  EXPECT_EQ(checkWaits(d, "Waiting for completion of copying. ", 600), 2u) << r.describe();
  EXPECT_EQ(d[d.size() - 3], count(1));
  EXPECT_EQ(d[d.size() - 2], SWAPPED);
  EXPECT_EQ(failovers("waitCopy"), 1u);
}

TEST_F(DecisionE2E, WaitsForTheMergeThenFailsOver) {
  auto r = drenable({"waitMerge", "node4", AVAIL, 10, false, false, true});
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  Messages d = decision(r);
  ASSERT_GE(d.size(), 4u) << r.describe();
  EXPECT_EQ(d[1], T7(10));
  EXPECT_EQ(d[2], "The DR Group is in merging state");
  EXPECT_EQ(checkWaits(d, "Waiting for completion of merging. ", 600), 3u) << r.describe();
  EXPECT_EQ(d[d.size() - 3], count(1));
  EXPECT_EQ(failovers("waitMerge"), 1u);
}

TEST_F(DecisionE2E, WaitsForABusyArray) {
  auto r = drenable({"waitBusy", "node3", AVAIL, 5, false, false, true});
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  Messages d = decision(r);
  ASSERT_GE(d.size(), 4u) << r.describe();
  EXPECT_EQ(d[1], T1);
  EXPECT_EQ(d[2], count(1));
  EXPECT_EQ(d[3], "The Storage system is busy");
  EXPECT_EQ(checkWaits(d, "Waiting for storage system available. ", 300), 2u) << r.describe();
  EXPECT_EQ(d[d.size() - 2], SWAPPED);
  EXPECT_EQ(failovers("waitBusy"), 3u);
}

TEST_F(DecisionE2E, RetriesALockCollision) {
  auto r = drenable({"waitLock", "node4", AVAIL, 5, false, false, true});
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  const char* const lock = "Error - LOCK COLLISION. Retry the failover operation";
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), T1, count(1), lock, count(2), lock,
                                   count(3), SWAPPED, LEAVING}));
  EXPECT_EQ(failovers("waitLock"), 3u);
}

// ---- the decision record, read back ----------------------------------------

// One run of each outcome: the rule that fired, the writes the arrays
// reported, and drenable -explain telling it (words, the record itself,
// and the lines a script reads).
TEST_F(DecisionE2E, RecordNamesTheRuleAndExplainTellsIt) {
  const struct {
    Run run;
    const char* rule;
    json writes;
    json givenUp;
    const char* outcome;
    std::vector<std::string> words;
  } cases[] = {
      {{"explainStart", "node1"}, "source-link-up-synced", 0, nullptr, "start",
       {"started (exit 0)", "This site holds the source: nothing is given up."}},
      {{"explainFailover", "node3"}, "destination-link-up-behind", 17, 17,
       "start-after-failover",
       {"started after a failover (exit 3)", "17 writes that had not reached this site were given up"}},
      {{"explainRefused", "node4", DATA}, "destination-link-up-behind-refused", 17, nullptr,
       "refused",
       {"refused (exit 1)", "17 writes on the source had not reached this site",
        "/opt/kxcluster/pkg/pkg1/FORCEFLAG and start the package again"}},
      {{"explainRefused", "node3", AVAIL, 5, false, false, false, 1}, "role-unknown", nullptr,
       nullptr, "refused-here", {"refused on this node (exit 2)", "No SMI-S server of DC2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    auto r = drenable(c.run);
    EXPECT_EQ(lastRecord_["rule"], c.rule);
    EXPECT_EQ(lastRecord_.contains("writes_outstanding") ? lastRecord_["writes_outstanding"] : json(),
              c.writes);
    EXPECT_EQ(lastRecord_.contains("writes_given_up") ? lastRecord_["writes_given_up"] : json(),
              c.givenUp);
    // The SMI-S server of the node's site, and whether it could be used.
    ASSERT_TRUE(lastRecord_["servers"].is_array()) << lastRecord_.dump();
    const json& server = lastRecord_["servers"][0];
    EXPECT_EQ(server["host"], c.run.host == "node1" ? "smis-dc1" : "smis-dc2");
    EXPECT_EQ(server["used"], c.outcome != std::string("refused-here")) << server.dump();

    auto words = explain({});
    EXPECT_EQ(words.exitCode, 0) << words.describe();
    // The words are wrapped: compared with every run of blanks made one.
    std::string flat;
    for (char ch : words.out)
      if (!std::isspace(static_cast<unsigned char>(ch)) || (!flat.empty() && flat.back() != ' '))
        flat += std::isspace(static_cast<unsigned char>(ch)) ? ' ' : ch;
    for (const std::string& w : c.words)
      EXPECT_NE(flat.find(w), std::string::npos) << w << "\n" << words.out;
    auto raw = explain({"-json"});
    EXPECT_EQ(json::parse(raw.out), lastRecord_);
    auto summary = explain({"-summary"});
    EXPECT_NE(summary.out.find("outcome=" + std::string(c.outcome) + "\n"), std::string::npos)
        << summary.out;
    EXPECT_NE(summary.out.find("rule=" + std::string(c.rule) + "\n"), std::string::npos);
    EXPECT_TRUE(r.err.empty() && words.err.empty()) << r.err << words.err;
  }
}

// Given 20 seconds where the failover's answer may take the query time-out
// of 300, no failover is begun; a time limit that is no number is ignored.
TEST_F(DecisionE2E, TimeLimitBeginsNoFailoverThatCouldNotFinish) {
  Run run{"timeLimited", "node3"};
  run.timeLimit = "20";
  auto r = drenable(run);
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  Messages d = decision(r);
  ASSERT_EQ(d.size(), 6u) << r.describe();
  // The seconds left depend on how long the run took to get there.
  const std::string limit = d[3];
  d[3] = "";
  EXPECT_EQ(d, (Messages{policyLine(AVAIL), T1, count(1), "", SWAP_FAILED, LEAVING}));
  EXPECT_EQ(limit.rfind("Error - The time limit of the start (DRENABLE_TIME_LIMIT, 20 seconds) "
                        "leaves ",
                        0),
            0u)
      << limit;
  EXPECT_NE(limit.find(" seconds, less than\n\t\t\t\tthe query time-out (300 seconds) the "
                       "failover's answer may take.\n\t\t\t\tThe failover is not begun."),
            std::string::npos)
      << limit;
  EXPECT_EQ(failovers("timeLimited"), 0u);
  EXPECT_EQ(lastRecord_["time_limit"], 20);
  EXPECT_EQ(lastRecord_["reason"],
            "refused: start time limit of 20 s ran out before the failover; "
            "AVAILABILITY_PREFERRED; raise the start time-out");

  run.timeLimit = "soon";
  r = drenable(run);
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  Messages m = r.normalMessages();
  EXPECT_NE(std::find(m.begin(), m.end(),
                      "Warning - DRENABLE_TIME_LIMIT=soon is not a whole number of seconds (1 "
                      "or more): no time limit applies."),
            m.end());
  EXPECT_EQ(failovers("timeLimited"), 1u);
}

// A link an unprivileged user left at the decision log's name is not
// followed, and the decision stands.
TEST_F(DecisionE2E, UnwritableRecordLeavesTheDecisionAsItIs) {
  Run run{"recordPlanted", "node1"};
  run.plantedRecord = true;
  auto r = drenable(run);
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(decision(r), (Messages{policyLine(AVAIL), S1,
                                   std::string("Warning - The decision record could not be "
                                               "written to ") +
                                       RECORDS + ": it is a symbolic link.",
                                   LEAVING}));
  EXPECT_EQ(node_->readFile(std::string(PKGDIR) + "/other"), "kept\n");
}

TEST_F(DecisionE2E, ExplainRefusesWhatItCannotRead) {
  auto r = drenable({"explainStart", "node1"});
  ASSERT_EQ(r.exitCode, 0);
  const struct {
    const char* name;
    std::string records;  // "" : no log at all
    int exit;
    const char* says;
  } cases[] = {
      {"NoRecordYet", "", 1, "no decision has been recorded for this package yet"},
      {"DamagedLastLine", "{\"exit\":0,\"time\":\"x\"}\n{\"exit\":", 1,
       "line 2 of /opt/kxcluster/pkg/pkg1/decisions.jsonl is not a decision record"},
      {"NotARecord", "[1,2]\n", 1, "is not a decision record (it is not a JSON object)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.records.empty())
      ::unlink(node_->hostPath(RECORDS).c_str());
    else
      node_->writeFile(RECORDS, c.records, 0600);
    auto e = explain({});
    EXPECT_EQ(e.exitCode, c.exit) << e.describe();
    EXPECT_NE(e.err.find(c.says), std::string::npos) << e.err;
  }
  support::RunOptions o;
  o.args = {"-explain", "-n", "0", ENV_FILE};
  EXPECT_EQ(node_->run(DRENABLE_BIN, o).exitCode, 2);
}

}  // namespace
