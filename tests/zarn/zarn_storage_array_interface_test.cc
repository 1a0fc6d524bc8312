// ZARNStorageArrayInterface reading the DR group and failing it over
// through the real ZARNAPI against zarnsim. The platform clock is a fake, so
// the 60-second sleeps cost nothing and the test sees every one of them.
#include "zarn/zarn_storage_array_interface.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "drif/data_rep.h"
#include "tests/support/fake_platform.h"
#include "tests/support/zarnsim.h"

namespace {

using json = nlohmann::json;
using Messages = std::vector<std::string>;
using Sleeps = std::vector<unsigned>;

const char* const ENV_FILE = "/pkg/pkg1.env";
const char* const DC1_WWN = "50014380025B4A80";
const char* const DC2_WWN = "50014380025B4C20";
const char* const DG = "\\Data Replication\\dg01";

const char* const WAIT_EXPIRED =
    "The WAIT_TIME has expired or unexpected error has occurred.";
const char* const LOCK_TEXT = "Error - LOCK COLLISION. Retry the failover operation";

std::string instanceId(const char* wwn) { return std::string(wwn) + "\\DRG\\0001"; }

// The state properties of one side; a synchronous, replicating pair.
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

// Two arrays and the one DR group dg01. local is the state of the side on
// DC1's array (the node's own data centre), remote of the side on DC2's.
// extra holds further DR group members (failoverResults, events,
// countdowns); faults the scenario's faults.
json scenario(const json& local, const json& remote,
              const json& extra = json::object(), const json& faults = json::array()) {
  json group = {
      {"name", "dg01"},
      {"sides",
       {{{"array", "dc1"}, {"instanceId", instanceId(DC1_WWN)}, {"volumes", {"vd01"}},
         {"state", local}},
        {{"array", "dc2"}, {"instanceId", instanceId(DC2_WWN)}, {"volumes", {"vd01"}},
         {"state", remote}}}}};
  for (auto it = extra.begin(); it != extra.end(); ++it) group[it.key()] = it.value();
  return {{"arrays",
           {{{"id", "dc1"}, {"wwn", DC1_WWN},
             {"volumes", {{{"id", "vd01"}, {"wwn", "6001438002A3C1E00000A00001240000"}}}}},
            {{"id", "dc2"}, {"wwn", DC2_WWN},
             {"volumes", {{{"id", "vd01"}, {"wwn", "6001438002A3C2F00000B00003410000"}}}}}}},
          {"drGroups", {group}},
          {"faults", faults}};
}

// A remote (second) read of the DR group that fails, after skip reads.
json failingRead(unsigned skip, unsigned times = 0) {
  return {{"operation", "GetInstance"}, {"className", "QNZARN_ConsistencySet"},
          {"skip", skip}, {"times", times}, {"action", "cimError"}, {"code", 6}};
}

std::string waiting(const std::string& what, int remaining) {
  return what + "Check again after 60 seconds.\n\t\t\t\tThe remaining wait time is " +
         std::to_string(remaining) + " seconds.";
}
std::string count(int n) {
  char text[32];
  std::snprintf(text, sizeof text, "Failover Count: %2d", n);
  return text;
}

class SaiOnSimTest : public ::testing::Test {
 protected:
  SaiOnSimTest() : debug_("DATAREP_DEBUG", std::nullopt) {
    char name[] = "/tmp/saitest.XXXXXX";
    folder_ = mkdtemp(name) != nullptr ? name : "/tmp";
    sys.files.dirs.insert("/pkg");
    preview = false;
  }
  ~SaiOnSimTest() override {
    sai.reset();
    logger_.reset();
    preview = false;
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // Starts zarnsim on the scenario and makes an initialised interface on
  // node1 (data centre 1). With useMap the device ID map holds dg01.
  void start(const json& scenarioJson, bool useMap = true) {
    // A test may start several times: the old interface goes first.
    sai.reset();
    logger_.reset();
    sim.reset();
    sys.console.writes.clear();
    sys.clock.sleeps.clear();
    sim = std::make_unique<support::ZarnSim>(ZARNSIM_BIN, scenarioJson.dump());
    ASSERT_TRUE(sim->ok()) << sim->error();
    support::SmisEntry server;
    server.port = sim->port();
    std::vector<support::DeviceEntry> devices;
    if (useMap) {
      devices.push_back({DC1_WWN, DG, instanceId(DC1_WWN), "6001438002A3C1E00000A00001240000"});
      devices.push_back({DC2_WWN, DG, instanceId(DC2_WWN), "6001438002A3C2F00000B00003410000"});
    }
    const std::string mapPath = folder_ + "/yrzarn.map";
    std::ofstream(mapPath) << support::mapFileText({server}, devices);

    support::ArrayVariables vars;
    vars.dc1Smis = "127.0.0.1";
    vars.dc2Smis = "127.0.0.1";
    sys.files.contents[ENV_FILE] =
        support::packageEnvText("/pkg", "AVAILABILITY_PREFERRED", 5, vars);

    logger_.emplace();
    sai = std::make_unique<ZARNStorageArrayInterface>();
    sai->getZarnApi().setMapFileName(mapPath);
    sai->getZarnApi().setUseIDMap(useMap);
    ASSERT_EQ(sai->initialize(ENV_FILE), 0) << ::testing::PrintToString(sys.messages());
    sys.console.writes.clear();
  }

  // The normal messages, without the server's connecting line.
  Messages messages() const {
    Messages out;
    for (const auto& m : sys.normalMessages())
      if (m.rfind("Connecting to SMI-S server ", 0) != 0) out.push_back(m);
    return out;
  }
  size_t failovers() const { return sim->requests("FastFailover").size(); }
  size_t reads() const { return sim->requests("GetInstance").size(); }

  fake::ScopedPlatform sys;
  std::unique_ptr<support::ZarnSim> sim;
  std::unique_ptr<ZARNStorageArrayInterface> sai;

 private:
  fake::ScopedEnv debug_;
  std::string folder_;
  std::optional<fake::ScopedLogger> logger_;
};

std::string dump(const char* heading, const json& s) {
  auto get = [&s](const char* name, const char* absent) {
    return s.contains(name) ? s[name].get<std::string>() : std::string(absent);
  };
  return std::string(heading) + "\t\t\t\tDR Mode: " + get("ParticipationType", "") +
         "\n\t\t\t\tLink State: " + get("LinkState", "") + "\n\t\t\t\tLog State: " +
         get("LogState", "") + "\n\t\t\t\tFailsafe Mode: " + get("FailSafe", "") +
         "\n\t\t\t\tFailsafe Lock: " + get("FailSafeLock", "none") +
         "\n\t\t\t\tWriteMode: " + get("WriteMode", "n/a") + "\n\t\t\t\tFullCopyState: " +
         get("Fullcopystate", "none") + "\n\t\t\t\tNumWrites: " + get("TotalTransmit", "none") +
         "\n";
}

// ---- getState -------------------------------------------------------------

TEST_F(SaiOnSimTest, SourceWithLinkUpReadsBothSidesAndIsSynced) {
  json local = sideState("source"), remote = sideState("destination");
  start(scenario(local, remote));
  DataRepState state;
  EXPECT_EQ(sai->getState(state), 0);
  EXPECT_EQ(state.role, SOURCE);
  EXPECT_EQ(state.linkState, UP);
  EXPECT_EQ(state.absoluteCurrency, NO);
  EXPECT_EQ(state.repState, SYNCED);
  EXPECT_EQ(state.writeMode, SYNCHRONOUS);
  EXPECT_EQ(messages(), (Messages{dump("Local DR Group state: \n", local),
                                  dump("Remote DR Group state: \n", remote)}));
  // With the device ID map: one request per side, nothing else.
  EXPECT_EQ(sim->requests().size(), 2u);
}

TEST_F(SaiOnSimTest, DestinationTakesLogStateAndWritesFromTheSource) {
  struct Case {
    const char* name;
    json local, remote;
    DRRepState rep;
    DRWriteMode mode;
  } cases[] = {
      {"source merging",
       sideState("destination"),
       with(sideState("source"), {{"LogState", "merging"}}), LOG_COPY_IN_PROGRESS,
       SYNCHRONOUS},
      {"source merging, full copy here",
       with(sideState("destination"), {{"Fullcopystate", "yes"}}),
       with(sideState("source"), {{"LogState", "merging"}}), TRACK_COPY_IN_PROGRESS,
       SYNCHRONOUS},
      {"asynchronous with 17 writes on the way",
       with(sideState("destination"), {{"WriteMode", "asynchronous"}}),
       with(sideState("source"), {{"WriteMode", "asynchronous"}, {"TotalTransmit", "17"}}),
       LOG_COPY_IN_PROGRESS, ASYNCHRONOUS},
      {"asynchronous, nothing on the way",
       with(sideState("destination"), {{"WriteMode", "n/a"}}),
       with(sideState("source"), {{"WriteMode", "asynchronous"}, {"TotalTransmit", "0"}}),
       SYNCED, ASYNCHRONOUS},
      {"source logging: suspended",
       sideState("destination"),
       with(sideState("source"), {{"LogState", "logging"}}), TARGET_OUT_DATED, SYNCHRONOUS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start(scenario(c.local, c.remote));
    DataRepState state;
    EXPECT_EQ(sai->getState(state), 0);
    EXPECT_EQ(state.role, TARGET);
    EXPECT_EQ(state.linkState, UP);
    EXPECT_EQ(state.repState, c.rep);
    EXPECT_EQ(state.writeMode, c.mode);
  }
}

TEST_F(SaiOnSimTest, BothSidesOfOneRoleIsInvalidDrMode) {
  start(scenario(sideState("destination"), sideState("destination")));
  DataRepState state;
  EXPECT_EQ(sai->getState(state), 1);
  EXPECT_EQ(messages().back(),
            "Error - Invalid DR Mode. Both local and remote DR groups are \n\t\t\t\t "
            "\"destination\"");
}

TEST_F(SaiOnSimTest, LinkNotGoodUsesTheLocalSideAlone) {
  const std::pair<const char*, const char*> cases[] = {
      {"failed",
       "Warning - Unable to get remote DR group state because the YR link is \n\t\t\t\t"
       "down. Will use the local DR group state only to determine the \n\t\t\t\t"
       "status of data on this site."},
      {"unknown",
       "Warning - Unable to get remote DR group state because the \n\t\t\t\t"
       "state of YR link is unknown. Will use the local DR group state \n\t\t\t\t"
       "only to determine the status of data on this site."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    // The destination's own "normal" log state is not used: the state
    // comes from the link alone.
    json local = with(sideState("destination"), {{"LinkState", c.first}, {"WriteMode", "n/a"}});
    start(scenario(local, sideState("source")));
    DataRepState state;
    EXPECT_EQ(sai->getState(state), 0);
    Messages expected{dump("Local DR Group state: \n", local), c.second};
    if (std::string(c.first) == "unknown") {
      // From the destination table and again from the link rule.
      expected.push_back("Error - Unexpected YR link state unknown detected.");
      expected.push_back("Error - Unexpected YR link state unknown detected.");
    }
    EXPECT_EQ(messages(), expected);
    EXPECT_EQ(reads(), 1u);  // the remote array is not asked
    EXPECT_EQ(state.role, TARGET);
    EXPECT_EQ(state.writeMode, SYNCHRONOUS);  // "n/a", no defaulting message
    if (std::string(c.first) == "failed") {
      EXPECT_EQ(state.linkState, DOWN);
      EXPECT_EQ(state.repState, TARGET_OUT_DATED);
    } else {
      EXPECT_EQ(state.repState, INVALID);
    }
  }
}

TEST_F(SaiOnSimTest, RemoteUnreadableWithLinkUpFallsBackToLocal) {
  json local = with(sideState("source"), {{"LogState", "merging"}, {"WriteMode", "n/a"}});
  start(scenario(local, sideState("destination"), json::object(),
                 json::array({failingRead(1, 1)})));
  DataRepState state;
  EXPECT_EQ(sai->getState(state), 0);
  Messages m = messages();
  ASSERT_EQ(m.size(), 4u) << ::testing::PrintToString(m);
  EXPECT_EQ(m[0], dump("Local DR Group state: \n", local));
  EXPECT_EQ(m[1].rfind("Warning - Failed to get remote DR group state from the SMI-S", 0), 0u);
  EXPECT_EQ(m[2],
            "Warning - Failed to get remote DR Group state even though the\n\t\t\t\t"
            "state of YR link is good. Will use local DR group  \n\t\t\t\t"
            "state only to determine the status of data on this site.");
  EXPECT_EQ(m[3],
            "Source and Target arrays returning WriteMode value as N/A, so "
            "defaulting WriteMode to Synchronous.");
  EXPECT_EQ(state.role, SOURCE);
  EXPECT_EQ(state.repState, TARGET_OUT_DATED);
}

TEST_F(SaiOnSimTest, BothWriteModesAbsentDefaultToSynchronous) {
  json local = sideState("source"), remote = sideState("destination");
  local.erase("WriteMode");
  remote.erase("WriteMode");
  start(scenario(local, remote));
  DataRepState state;
  EXPECT_EQ(sai->getState(state), 0);
  EXPECT_EQ(messages().back(),
            "Source and Target arrays returning WriteMode value as N/A, so "
            "defaulting WriteMode to Synchronous.");
  EXPECT_EQ(state.writeMode, SYNCHRONOUS);
}

TEST_F(SaiOnSimTest, LookupWithoutTheDeviceIdMapGivesTheSameState) {
  start(scenario(sideState("destination"), sideState("source")), false);
  DataRepState state;
  EXPECT_EQ(sai->getState(state), 0);
  EXPECT_EQ(state.role, TARGET);
  EXPECT_EQ(state.repState, SYNCED);
  EXPECT_GT(sim->requests().size(), 2u);  // the DR groups were searched
}

TEST_F(SaiOnSimTest, NoReachableLocalServerGivesUnknownRole) {
  start(scenario(sideState("source"), sideState("destination")));
  sim->stop();
  DataRepState state;
  EXPECT_EQ(sai->getState(state), 0);
  EXPECT_EQ(state.role, UNKNOWN_ROLE);
  EXPECT_EQ(state.linkState, UNKNOWN_LINK_STATE);
  EXPECT_EQ(state.absoluteCurrency, UNKNOWN_ABSOLUTE_CURRENCY);
  for (const auto& m : messages())
    EXPECT_EQ(m.find("Local DR Group state"), std::string::npos) << m;
}

TEST_F(SaiOnSimTest, UnreadableLocalSideFailsAndKeepsTheLastState) {
  // Reads: local and remote for the first getState, then the local one
  // fails.
  start(scenario(sideState("destination"), sideState("source"),
                 {{"failoverResults", {"INVALID_DR_STATE"}}},
                 json::array({failingRead(2, 1)})));
  DataRepState first;
  ASSERT_EQ(sai->getState(first), 0);
  DataRepState second;
  EXPECT_EQ(sai->getState(second), 1);
  // failover hands back the state of the last successful getState.
  DataRepState newState;
  EXPECT_EQ(sai->failover(newState), 2);
  EXPECT_EQ(newState.role, TARGET);
  EXPECT_EQ(newState.linkState, UP);
  EXPECT_EQ(newState.repState, TRACK_COPY_IN_PROGRESS);
}

// ---- failover and failoverSwap --------------------------------------------

json results(std::initializer_list<const char*> codes) {
  json a = json::array();
  for (const char* c : codes) a.push_back(c);
  return {{"failoverResults", a}};
}

TEST_F(SaiOnSimTest, LockCollisionOnEveryTryGivesUpAfterSix) {
  start(scenario(sideState("destination"), sideState("source"),
                 results({"LOCK_COLLISION", "LOCK_COLLISION", "LOCK_COLLISION",
                          "LOCK_COLLISION", "LOCK_COLLISION", "LOCK_COLLISION",
                          "SUCCESS"})));
  EXPECT_EQ(sai->failoverSwap(300), 1);
  Messages expected;
  for (int i = 1; i <= 6; ++i) {
    expected.push_back(count(i));
    expected.push_back(LOCK_TEXT);
  }
  EXPECT_EQ(messages(), expected);
  EXPECT_EQ(sys.clock.sleeps, Sleeps(6, 60));
  EXPECT_EQ(failovers(), 6u);
  // The budget is spent: the array is not asked again.
  EXPECT_EQ(sai->failoverSwap(300), 1);
  EXPECT_EQ(failovers(), 6u);
}

TEST_F(SaiOnSimTest, LockCollisionBudgetIsSharedByLaterCalls) {
  start(scenario(sideState("destination"), sideState("source"),
                 results({"LOCK_COLLISION", "LOCK_COLLISION", "SUCCESS", "LOCK_COLLISION",
                          "LOCK_COLLISION", "LOCK_COLLISION", "LOCK_COLLISION",
                          "LOCK_COLLISION"})));
  EXPECT_EQ(sai->failoverSwap(0), 0);
  EXPECT_EQ(sys.clock.sleeps, Sleeps(2, 60));
  EXPECT_EQ(sai->getRetryCount(), 3);
  sys.console.writes.clear();
  DataRepState newState;
  EXPECT_EQ(sai->failover(newState), 1);
  EXPECT_EQ(messages(), (Messages{count(3), LOCK_TEXT, count(4), LOCK_TEXT, count(5),
                                  LOCK_TEXT, count(6), LOCK_TEXT}));
  EXPECT_EQ(failovers(), 7u);
}

TEST_F(SaiOnSimTest, SuccessfulFailoverSwapsTheRoles) {
  start(scenario(sideState("destination"), sideState("source")));
  EXPECT_EQ(sai->failoverSwap(300), 0);
  EXPECT_EQ(messages(), Messages{count(1)});
  EXPECT_TRUE(sys.clock.sleeps.empty());
  ASSERT_EQ(failovers(), 1u);
  DataRepState state;
  EXPECT_EQ(sai->getState(state), 0);
  EXPECT_EQ(state.role, SOURCE);
}

TEST_F(SaiOnSimTest, PreviewSendsNoFailover) {
  start(scenario(sideState("destination"), sideState("source")));
  preview = true;
  EXPECT_EQ(sai->failoverSwap(300), 0);
  EXPECT_EQ(failovers(), 0u);
  EXPECT_EQ(messages(), (Messages{count(1), "In preview mode"}));
}

TEST_F(SaiOnSimTest, FailoverHandsBackTheStateToDecideOnAgain) {
  struct Case {
    const char* result;
    int expected;
    DRRepState rep;
    const char* message;
  } cases[] = {
      {"SUCCESS", 0, INVALID, nullptr},
      {"INVALID_DR_STATE", 2, TRACK_COPY_IN_PROGRESS,
       "The failover action detected that the DR group is/was in copying state."},
      {"DR_GROUP_IS_MERGING", 2, LOG_COPY_IN_PROGRESS,
       "The failover action detected that the DR group is in merging state."},
      {"STORAGE_SYSTEM_BUSY", 1, INVALID,
       "Error - The failover action failed due to storage system is busy."},
      {"INVALID_DR_MODE", 1, INVALID,
       "Error - The DR group is in invalid DR mode for failover."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    json local = with(sideState("destination"), {{"WriteMode", "asynchronous"}});
    start(scenario(local, with(sideState("source"), {{"WriteMode", "asynchronous"}}),
                   results({c.result})));
    DataRepState state;
    ASSERT_EQ(sai->getState(state), 0);
    sys.console.writes.clear();
    DataRepState newState;
    EXPECT_EQ(sai->failover(newState), c.expected);
    Messages expected{count(1)};
    if (c.message != nullptr) expected.push_back(c.message);
    EXPECT_EQ(messages(), expected);
    if (c.expected == 2) {
      EXPECT_EQ(newState.role, TARGET);
      EXPECT_EQ(newState.linkState, UP);
      EXPECT_EQ(newState.absoluteCurrency, NO);
      EXPECT_EQ(newState.writeMode, ASYNCHRONOUS);
      EXPECT_EQ(newState.repState, c.rep);
    } else {
      EXPECT_EQ(newState.role, UNKNOWN_ROLE);  // untouched
    }
  }
}

TEST_F(SaiOnSimTest, BusyThroughoutWaitsTheWholeWaitTime) {
  json r = json::array();
  for (int i = 0; i < 10; ++i) r.push_back("STORAGE_SYSTEM_BUSY");
  start(scenario(sideState("destination"), sideState("source"), {{"failoverResults", r}}));
  EXPECT_EQ(sai->failoverSwap(300), 1);
  const std::string what = "Waiting for storage system available. ";
  EXPECT_EQ(messages(),
            (Messages{count(1), "The Storage system is busy", waiting(what, 300),
                      waiting(what, 240), waiting(what, 180), waiting(what, 120),
                      waiting(what, 60), WAIT_EXPIRED}));
  EXPECT_EQ(sys.clock.sleeps, Sleeps(5, 60));
  EXPECT_EQ(failovers(), 6u);
}

TEST_F(SaiOnSimTest, WaitsThroughCopyMergeBusyAndLockCollisionUntilSuccess) {
  start(scenario(sideState("destination"), sideState("source"),
                 results({"INVALID_DR_STATE", "DR_GROUP_IS_MERGING", "STORAGE_SYSTEM_BUSY",
                          "LOCK_COLLISION", "SUCCESS"})));
  EXPECT_EQ(sai->failoverSwap(600), 0);
  EXPECT_EQ(messages(),
            (Messages{count(1), "The DR Group is in copying state",
                      waiting("Waiting for completion of copying. ", 600),
                      waiting("Waiting for completion of merging. ", 540),
                      waiting("Waiting for storage system available. ", 480), LOCK_TEXT,
                      waiting("LOCK_COLLISION .", 420)}));
  EXPECT_EQ(sys.clock.sleeps, Sleeps(4, 60));
  // The polls in the wait are outside the lock collision budget.
  EXPECT_EQ(sai->getRetryCount(), 1);
}

TEST_F(SaiOnSimTest, ZeroWaitTimeDoesNotWait) {
  const std::pair<const char*, Messages> cases[] = {
      {"INVALID_DR_STATE",
       {"The DR Group is in copying state",
        "The WAIT_TIME is 0. The program will not wait for copy operation complete"}},
      {"DR_GROUP_IS_MERGING",
       {"The DR Group is in merging state",
        "The WAIT_TIME is 0. The program will not wait for merging operation complete"}},
      {"STORAGE_SYSTEM_BUSY",
       {"The Storage system is busy",
        "The WAIT_TIME is 0. The program will not retry the failover operation"}},
      {"CONNECTION_SUSPENDED",
       {"Error - The replication link is in suspend mode. The DR group can not be failed "
        "over.\n\t\t\t\tResume the replication link for this DR group and restart the "
        "package."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    start(scenario(sideState("destination"), sideState("source"), results({c.first})));
    EXPECT_EQ(sai->failoverSwap(0), 1);
    Messages expected{count(1)};
    for (const auto& m : c.second) expected.push_back(m);
    EXPECT_EQ(messages(), expected);
    EXPECT_TRUE(sys.clock.sleeps.empty());
    EXPECT_EQ(failovers(), 1u);
  }
}

TEST_F(SaiOnSimTest, CopyingWithTheLinkDownIsNotWaitedFor) {
  // The array refuses by itself: a full copy is running.
  start(scenario(with(sideState("destination"), {{"LinkState", "failed"}, {"Fullcopystate", "yes"}}),
                 with(sideState("source"), {{"LinkState", "failed"}})));
  EXPECT_EQ(sai->failoverSwap(600), 1);
  EXPECT_EQ(messages(),
            (Messages{count(1), "The DR Group is in copying state",
                      "Error,Link is down, The program will not wait for copy operation "
                      "complete"}));
  EXPECT_TRUE(sys.clock.sleeps.empty());
}

TEST_F(SaiOnSimTest, CopyEndingWhileWaitingLetsTheFailoverThrough) {
  // The array refuses while Fullcopystate is "yes"; the copy ends with the
  // first read of the group (the link check before the wait).
  json events = {{"events",
                  {{{"afterReads", 1}, {"side", "both"}, {"set", {{"Fullcopystate", "no"}}}}}}};
  start(scenario(with(sideState("destination"), {{"Fullcopystate", "yes"}}),
                 sideState("source"), events));
  EXPECT_EQ(sai->failoverSwap(600), 0);
  EXPECT_EQ(messages(), (Messages{count(1), "The DR Group is in copying state",
                                  waiting("Waiting for completion of copying. ", 600)}));
  EXPECT_EQ(sys.clock.sleeps, Sleeps{60});
  EXPECT_EQ(failovers(), 2u);
}

// ---- waitForMerging -------------------------------------------------------

json asyncDest() { return with(sideState("destination"), {{"WriteMode", "asynchronous"}}); }
json mergingSource(const json& writes) {
  return with(sideState("source"),
              {{"WriteMode", "asynchronous"}, {"LogState", "merging"}, {"TotalTransmit", writes}});
}
json afterMerge() {
  return {{"side", "source"}, {"set", {{"LogState", "normal"}}}};
}

TEST_F(SaiOnSimTest, MergeWithNothingOutstandingFailsOverAtOnce) {
  start(scenario(asyncDest(), with(mergingSource("0"), {{"LogState", "normal"}})));
  EXPECT_EQ(sai->waitForMerging(600, "DATA_CURRENCY_PREFERRED"), 0);
  EXPECT_EQ(messages(), (Messages{"The DR Group is in merging state", count(1)}));
  EXPECT_TRUE(sys.clock.sleeps.empty());
}

TEST_F(SaiOnSimTest, MergeCountsDownThenFailsOver) {
  // Every read of the group lowers the source's count by 2; at 0 the merge
  // is over.
  json countdown = {{"countdowns",
                     {{{"side", "source"}, {"step", 2}, {"then", {afterMerge()}}}}}};
  start(scenario(asyncDest(), mergingSource("5"), countdown));
  EXPECT_EQ(sai->waitForMerging(600, "DATA_CURRENCY_PREFERRED"), 0);
  // The local read leaves 3, the remote one reports 3 and leaves 1, the
  // first poll reports 1 and ends the merge, the second reports 0.
  const std::string what = "Waiting for completion of merging. ";
  EXPECT_EQ(messages(), (Messages{"The DR Group is in merging state", waiting(what, 600),
                                  waiting(what, 540), count(1)}));
  EXPECT_EQ(sys.clock.sleeps, Sleeps(2, 60));
  EXPECT_EQ(failovers(), 1u);
}

TEST_F(SaiOnSimTest, MergeOutstandingAtTheDeadline) {
  struct Case {
    const char* mode;
    const char* policy;
    int expected;
    const char* message;  // after the waiting lines; null: failover follows
  } cases[] = {
      {"asynchronous", "AVAILABILITY_PREFERRED", 0, nullptr},
      {"asynchronous", "DATA_CURRENCY_PREFERRED", 1,
       "The DR Mode is Asynchronous. But the startup policy is Currency Preferred.\n\t\t"
       "The WAIT_TIME has expired or unexpected error has occurred.the package is NOT "
       "allowed to start up."},
      {"asynchronous", "REMOTE_PROTECTION_PREFERRED", 1,
       "The DR Mode is Asynchronous. But the startup policy is Currency Preferred.\n\t\t"
       "The WAIT_TIME has expired or unexpected error has occurred.the package is NOT "
       "allowed to start up."},
      {"synchronous", "AVAILABILITY_PREFERRED", 1, WAIT_EXPIRED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.policy);
    json local = with(sideState("destination"), {{"WriteMode", c.mode}});
    json remote = with(mergingSource("40"), {{"WriteMode", c.mode}});
    // The array would refuse while merging; the scripted answer accepts.
    start(scenario(local, remote, results({"SUCCESS"})));
    EXPECT_EQ(sai->waitForMerging(120, c.policy), c.expected);
    const std::string what = "Waiting for completion of merging. ";
    Messages expected{"The DR Group is in merging state", waiting(what, 120),
                      waiting(what, 60)};
    expected.push_back(c.message != nullptr ? c.message : count(1));
    EXPECT_EQ(messages(), expected);
    EXPECT_EQ(sys.clock.sleeps, Sleeps(2, 60));
    EXPECT_EQ(failovers(), c.expected == 0 ? 1u : 0u);
  }
}

TEST_F(SaiOnSimTest, MergeWithoutRemoteStateDependsOnTheWriteMode) {
  const char* const asyncError =
      "ERROR - Failed to get remote DR Group state.The DR Mode is Asynchronous.\n\t\t\t\t"
      "The program cannot determine the number of logs pending.\n\t\t\t\t"
      "The package is NOT allowed to start up.";
  const char* const syncWarning =
      "Warning - Failed to get remote DR Group state\t. .The DR Mode is "
      "SYNCHRONOUS.\n\t\t\t\tThe package is allowed to start up.";
  for (const char* mode : {"asynchronous", "n/a"}) {
    SCOPED_TRACE(mode);
    json local = with(sideState("destination"), {{"WriteMode", mode}});
    start(scenario(local, mergingSource("40"), results({"SUCCESS"}),
                   json::array({failingRead(1, 1)})));
    int expected = std::string(mode) == "asynchronous" ? 1 : 0;
    EXPECT_EQ(sai->waitForMerging(600, "AVAILABILITY_PREFERRED"), expected);
    Messages m = messages();
    ASSERT_EQ(m.size(), expected == 1 ? 3u : 4u) << ::testing::PrintToString(m);
    EXPECT_EQ(m[0], "The DR Group is in merging state");
    EXPECT_EQ(m[1].rfind("Warning - Failed to get remote DR group state from the SMI-S", 0), 0u);
    EXPECT_EQ(m[2], expected == 1 ? asyncError : syncWarning);
    if (expected == 0) {
      EXPECT_EQ(m[3], count(1));
    }
  }
}

TEST_F(SaiOnSimTest, MergeWithoutAWriteCountDependsOnTheWriteMode) {
  for (const char* mode : {"asynchronous", "synchronous"}) {
    SCOPED_TRACE(mode);
    json remote = with(mergingSource("0"), {{"WriteMode", mode}});
    remote.erase("TotalTransmit");
    start(scenario(sideState("destination"), remote, results({"SUCCESS"})));
    if (std::string(mode) == "asynchronous") {
      EXPECT_EQ(sai->waitForMerging(600, "AVAILABILITY_PREFERRED"), 1);
      EXPECT_EQ(messages(), (Messages{"The DR Group is in merging state",
                                      "Error.Cannot retrieve the property \"numWrites\".\n"
                                      "\t\t\t\tThe DR Mode is Asynchronous.\n\t\t\t\t"
                                      "The package is NOT allowed to start up."}));
    } else {
      EXPECT_EQ(sai->waitForMerging(600, "AVAILABILITY_PREFERRED"), 0);
      EXPECT_EQ(messages(),
                (Messages{"The DR Group is in merging state",
                          "Warning - Failed to retrieve the property \"numWrites\" \n"
                          "\t\t\t\tThe DR Mode is SYNCHRONOUS.The package is allowed to "
                          "start up.",
                          count(1)}));
    }
  }
}

TEST_F(SaiOnSimTest, RemoteLostWhileMergingDependsOnTheWriteMode) {
  for (const char* mode : {"asynchronous", "synchronous"}) {
    SCOPED_TRACE(mode);
    json local = with(sideState("destination"), {{"WriteMode", mode}});
    json remote = with(mergingSource("40"), {{"WriteMode", mode}});
    // Reads: local, remote, then the remote poll fails.
    start(scenario(local, remote, results({"SUCCESS"}), json::array({failingRead(2, 1)})));
    bool async = std::string(mode) == "asynchronous";
    EXPECT_EQ(sai->waitForMerging(600, "AVAILABILITY_PREFERRED"), async ? 1 : 0);
    Messages m = messages();
    ASSERT_GE(m.size(), 3u);
    EXPECT_EQ(m[1], waiting("Waiting for completion of merging. ", 600));
    if (async) {
      EXPECT_EQ(m.back(),
                "Warning - Failed to get remote DR Group state.The DR Mode is "
                "Asynchronous.\n\t\t\t\tThe program cannot determine the number of logs "
                "pending.\n\t\t\t\tThe package is NOT allowed to start up.");
    } else {
      EXPECT_EQ(m.back(), count(1));
    }
    EXPECT_EQ(sys.clock.sleeps, Sleeps{60});
  }
}

// ---- waitForCopying -------------------------------------------------------

TEST_F(SaiOnSimTest, CopyFinishedOrUnknownFailsOverWithoutWaiting) {
  const std::pair<std::optional<const char*>, Messages> cases[] = {
      {"no", {"The DR Group is in copying state", count(1)}},
      {std::nullopt,
       {"The DR Group is in copying state",
        "Warning - Failed to retrieve the property \"fullCopyState\".The program will "
        "attempt to start up the package.",
        count(1)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first.value_or("absent"));
    json local = sideState("destination");
    if (c.first)
      local["Fullcopystate"] = *c.first;
    else
      local.erase("Fullcopystate");
    start(scenario(local, sideState("source")));
    EXPECT_EQ(sai->waitForCopying(600), 0);
    EXPECT_EQ(messages(), c.second);
    EXPECT_TRUE(sys.clock.sleeps.empty());
  }
}

TEST_F(SaiOnSimTest, CopyRunningWithZeroWaitTime) {
  start(scenario(with(sideState("destination"), {{"Fullcopystate", "yes"}}), sideState("source")));
  EXPECT_EQ(sai->waitForCopying(0), 1);
  EXPECT_EQ(messages(), (Messages{"The DR Group is in copying state",
                                  "The WAIT_TIME is 0. The program will not wait for copying "
                                  "operation to complete"}));
  EXPECT_EQ(failovers(), 0u);
}

TEST_F(SaiOnSimTest, CopyEndsWithinTheWaitTime) {
  // The copy ends after the third read of the group has been answered.
  json events = {{"events",
                  {{{"afterReads", 3}, {"side", "both"}, {"set", {{"Fullcopystate", "no"}}}}}}};
  start(scenario(with(sideState("destination"), {{"Fullcopystate", "yes"}}), sideState("source"),
                 events));
  EXPECT_EQ(sai->waitForCopying(600), 0);
  const std::string what = "Waiting for completion of copying. ";
  EXPECT_EQ(messages(), (Messages{"The DR Group is in copying state", waiting(what, 600),
                                  waiting(what, 540), waiting(what, 480), count(1)}));
  EXPECT_EQ(sys.clock.sleeps, Sleeps(3, 60));
  EXPECT_EQ(failovers(), 1u);
}

TEST_F(SaiOnSimTest, CopyStillRunningAtTheDeadline) {
  start(scenario(with(sideState("destination"), {{"Fullcopystate", "yes"}}), sideState("source")));
  EXPECT_EQ(sai->waitForCopying(150), 1);
  const std::string what = "Waiting for completion of copying. ";
  EXPECT_EQ(messages(), (Messages{"The DR Group is in copying state", waiting(what, 150),
                                  waiting(what, 90), waiting(what, 30),
                                  "The WAIT_TIME has expired."}));
  EXPECT_EQ(sys.clock.sleeps, Sleeps(3, 60));
  EXPECT_EQ(failovers(), 0u);
}

TEST_F(SaiOnSimTest, CopyStateLostWhileWaiting) {
  start(scenario(with(sideState("destination"), {{"Fullcopystate", "yes"}}), sideState("source"),
                 json::object(), json::array({failingRead(1, 1)})));
  EXPECT_EQ(sai->waitForCopying(600), 1);
  Messages m = messages();
  ASSERT_GE(m.size(), 3u);
  EXPECT_EQ(m.back(), "Error - Failed to get Local DR Group state\t.");
  EXPECT_EQ(failovers(), 0u);
}

// ---- the rest of the interface --------------------------------------------

TEST_F(SaiOnSimTest, SourceWriteEnableSwitchesFailsafeOff) {
  start(scenario(with(sideState("source"), {{"FailSafe", "enabled"}}), sideState("destination")));
  EXPECT_EQ(sai->sourceWriteEnable(), 0);
  auto sets = sim->requests("SetProperty");
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].detail("property"), "FailSafe");
  EXPECT_EQ(sets[0].detail("value"), "disable");
  sim->stop();
  EXPECT_EQ(sai->sourceWriteEnable(), 1);
}

TEST_F(SaiOnSimTest, FailbackAndResyncHaveNothingToDo) {
  start(scenario(sideState("source"), sideState("destination")));
  EXPECT_EQ(sai->failback(), 3);
  EXPECT_EQ(sai->resyncFromTarget(), 3);
  EXPECT_TRUE(sim->requests().empty());
}

}  // namespace
