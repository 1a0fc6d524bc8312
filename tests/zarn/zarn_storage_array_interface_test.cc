// ZARNStorageArrayInterface over a scripted array: reading and mapping the
// DR group's state, the failover with its lock-collision retries, and the
// waits for a copy, a merge or a busy array. The arrays answer from a
// script and the platform clock is a fake, so every 60-second sleep is seen
// and none is slept. (What ZARNAPI sends to the arrays and logs is tested
// against the simulator in zarn_api_test.cc.)
#include "zarn/array/zarn_storage_array_interface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "drif/decision_record.h"
#include "drif/time_limit.h"
#include "tests/support/fake_platform.h"
#include "zarn/array/array_operations.h"

namespace {

using Messages = std::vector<std::string>;
using Sleeps = std::vector<unsigned>;

// ---- The scripted array -----------------------------------------------------

// One side of the DR group; by default a synchronous, replicating side.
struct Side : ConsistencySetState {
  explicit Side(const char* role) {
    participationType = role;
    linkState = "good";
    logState = "normal";
    failSafe = "disabled";
    failSafeLock = "no";
    suspendMode = "no";
    writeMode = "synchronous";
    fullCopyState = "no";
    numWrites = "0";
  }
  Side& link(const char* v) { return set(linkState, v); }
  Side& log(const char* v) { return set(logState, v); }
  Side& mode(const char* v) { return set(writeMode, v); }
  Side& copy(const char* v) { return set(fullCopyState, v); }
  Side& writes(const char* v) { return set(numWrites, v); }
  Side& failsafe(const char* v) { return set(failSafe, v); }

 private:
  Side& set(std::string& field, const char* v) {
    field = v;
    return *this;
  }
};

Side dst() { return Side("destination"); }
Side src() { return Side("source"); }
// No local SMI-S server could be reached.
ConsistencySetState noServer() {
  ConsistencySetState cs;
  cs.participationType = "none";
  return cs;
}

using Read = std::optional<ConsistencySetState>;  // nullopt: the read fails
const Read FAILS = std::nullopt;

// The answers of the array, in order; once a list is used up its last
// answer repeats.
struct Script {
  std::vector<Read> local;
  std::vector<Read> remote;
  std::vector<int> failovers;  // 0, 1 or the array's refusal code
  std::vector<int> disables;
};

class ScriptedArray : public ArrayOperations {
 public:
  explicit ScriptedArray(Script s) : script_(std::move(s)) {}

  int getLocalCSState(ConsistencySetState& cs) override {
    calls += 'L';
    return read(script_.local, local_, cs);
  }
  int getRemoteCSState(ConsistencySetState& cs) override {
    calls += 'R';
    return read(script_.remote, remote_, cs);
  }
  int failover() override {
    calls += 'F';
    return next(script_.failovers, failover_);
  }
  int disableFailsafe() override {
    calls += 'D';
    return next(script_.disables, disable_);
  }

  std::string lastFailure() const override { return failure; }
  int queryTimeout() override { return query; }

  // One letter a call, in order: L local read, R remote read, F failover,
  // D disableFailsafe.
  std::string calls;
  std::string failure;  // what the last failed operation logged
  int query = 0;        // the query time-out, in seconds

 private:
  template <class T>
  static const T* take(const std::vector<T>& answers, size_t& at) {
    if (answers.empty()) {
      ADD_FAILURE() << "call without a scripted answer";
      return nullptr;
    }
    return &answers[std::min(at++, answers.size() - 1)];
  }
  static int read(const std::vector<Read>& answers, size_t& at, ConsistencySetState& cs) {
    const Read* answer = take(answers, at);
    if (answer == nullptr || !*answer) return 1;
    cs = **answer;
    return 0;
  }
  static int next(const std::vector<int>& answers, size_t& at) {
    const int* answer = take(answers, at);
    return answer != nullptr ? *answer : 1;
  }

  Script script_;
  size_t local_ = 0, remote_ = 0, failover_ = 0, disable_ = 0;
};

// ---- Expected texts ------------------------------------------------------------

const char* const WAIT_EXPIRED =
    "The WAIT_TIME has expired or unexpected error has occurred.";
const char* const COPYING = "The DR Group is in copying state";
const char* const MERGING = "The DR Group is in merging state";
const char* const WAIT_COPY = "Waiting for completion of copying. ";
const char* const WAIT_MERGE = "Waiting for completion of merging. ";
const char* const WAIT_BUSY = "Waiting for storage system available. ";
const char* const CURRENCY_REFUSED =
    "The DR Mode is Asynchronous. But the startup policy is Currency Preferred.\n\t\t"
    "The WAIT_TIME has expired or unexpected error has occurred.the package is NOT "
    "allowed to start up.";

std::string waiting(const std::string& what, int remaining) {
  return what + "Check again after 60 seconds.\n\t\t\t\tThe remaining wait time is " +
         std::to_string(remaining) + " seconds.";
}
std::string count(int n) {
  char text[32];
  std::snprintf(text, sizeof text, "Failover Count: %2d", n);
  return text;
}
std::string dump(const char* heading, const ConsistencySetState& s) {
  return std::string(heading) + "\t\t\t\tDR Mode: " + s.participationType +
         "\n\t\t\t\tLink State: " + s.linkState + "\n\t\t\t\tLog State: " + s.logState +
         "\n\t\t\t\tFailsafe Mode: " + s.failSafe + "\n\t\t\t\tFailsafe Lock: " +
         s.failSafeLock + "\n\t\t\t\tWriteMode: " + s.writeMode +
         "\n\t\t\t\tFullCopyState: " + s.fullCopyState + "\n\t\t\t\tNumWrites: " +
         s.numWrites + "\n";
}
std::string localDump(const ConsistencySetState& s) { return dump("Local DR Group state: \n", s); }
std::string remoteDump(const ConsistencySetState& s) { return dump("Remote DR Group state: \n", s); }

// ---- Fixture ---------------------------------------------------------------------

class SaiTest : public ::testing::Test {
 protected:
  SaiTest() : debug_("DATAREP_DEBUG", std::nullopt) { logger_.emplace(); }

  ZARNStorageArrayInterface& make(Script script) {
    sai.reset();
    array.emplace(std::move(script));
    sai.emplace(*array);
    sys.console.writes.clear();
    sys.clock.sleeps.clear();
    return *sai;
  }
  Messages messages() const { return sys.normalMessages(); }

  fake::ScopedPlatform sys;

 private:
  fake::ScopedEnv debug_;
  std::optional<fake::ScopedLogger> logger_;

 protected:
  std::optional<ScriptedArray> array;
  std::optional<ZARNStorageArrayInterface> sai;
};

// ---- getState ----------------------------------------------------------------------

DataRepState stateOf(DRRole role, DRLinkState link, DRRepState rep,
                     DRWriteMode mode = SYNCHRONOUS, DRAbsoluteCurrency currency = NO) {
  DataRepState s;
  s.role = role;
  s.linkState = link;
  s.absoluteCurrency = currency;
  s.repState = rep;
  s.writeMode = mode;
  return s;
}

struct StateRow {
  const char* name;
  ConsistencySetState local;
  Read remote;  // nullopt: the remote read fails
  int result;
  DataRepState state;
  Messages messages;
  std::string calls;
};

std::vector<StateRow> stateRows() {
  const char* const linkDown =
      "Warning - Unable to get remote DR group state because the YR link is \n\t\t\t\t"
      "down. Will use the local DR group state only to determine the \n\t\t\t\t"
      "status of data on this site.";
  const char* const linkUnknown =
      "Warning - Unable to get remote DR group state because the \n\t\t\t\t"
      "state of YR link is unknown. Will use the local DR group state \n\t\t\t\t"
      "only to determine the status of data on this site.";
  const char* const linkUnknownError = "Error - Unexpected YR link state unknown detected.";
  const char* const defaulted =
      "Source and Target arrays returning WriteMode value as N/A, so "
      "defaulting WriteMode to Synchronous.";
  const char* const remoteFailed =
      "Warning - Failed to get remote DR Group state even though the\n\t\t\t\t"
      "state of YR link is good. Will use local DR group  \n\t\t\t\t"
      "state only to determine the status of data on this site.";
  const DataRepState unknown;
  return {
      {"SourceLinkUpReadsBothSides", src(), Read(dst()), 0, stateOf(SOURCE, UP, SYNCED),
       {localDump(src()), remoteDump(dst())}, "LR"},
      // The destination takes log state, suspend mode and write count from
      // the source.
      {"DestinationSourceMerging", dst(), Read(src().log("merging")), 0,
       stateOf(TARGET, UP, LOG_COPY_IN_PROGRESS),
       {localDump(dst()), remoteDump(src().log("merging"))}, "LR"},
      {"DestinationSourceMergingFullCopyHere", dst().copy("yes"), Read(src().log("merging")), 0,
       stateOf(TARGET, UP, TRACK_COPY_IN_PROGRESS),
       {localDump(dst().copy("yes")), remoteDump(src().log("merging"))}, "LR"},
      {"DestinationAsync17WritesOnTheWay", dst().mode("asynchronous"),
       Read(src().mode("asynchronous").writes("17")), 0,
       stateOf(TARGET, UP, LOG_COPY_IN_PROGRESS, ASYNCHRONOUS),
       {localDump(dst().mode("asynchronous")),
        remoteDump(src().mode("asynchronous").writes("17"))},
       "LR"},
      {"DestinationAsyncModeFromTheSource", dst().mode("n/a"),
       Read(src().mode("asynchronous")), 0, stateOf(TARGET, UP, SYNCED, ASYNCHRONOUS),
       {localDump(dst().mode("n/a")), remoteDump(src().mode("asynchronous"))}, "LR"},
      {"DestinationSourceLoggingIsSuspended", dst(), Read(src().log("logging")), 0,
       stateOf(TARGET, UP, TARGET_OUT_DATED),
       {localDump(dst()), remoteDump(src().log("logging")),
        "The replication link of this DR group is in suspend mode."},
       "LR"},
      {"BothSidesOfOneRoleIsInvalidDrMode", dst(), Read(dst()), 1, unknown,
       {localDump(dst()), remoteDump(dst()),
        "Error - Invalid DR Mode. Both local and remote DR groups are \n\t\t\t\t "
        "\"destination\""},
       "LR"},
      // The link is not good: the remote array is not asked, and the
      // destination's own "normal" log state says nothing.
      {"LinkFailedUsesTheLocalSideAlone", dst().link("failed").mode("n/a"), FAILS, 0,
       stateOf(TARGET, DOWN, TARGET_OUT_DATED),
       {localDump(dst().link("failed").mode("n/a")), linkDown}, "L"},
      {"LinkUnknownUsesTheLocalSideAlone", dst().link("unknown").mode("n/a"), FAILS, 0,
       stateOf(TARGET, UNKNOWN_LINK_STATE, INVALID),
       // From the destination table and again from the link rule.
       {localDump(dst().link("unknown").mode("n/a")), linkUnknown, linkUnknownError,
        linkUnknownError},
       "L"},
      {"RemoteUnreadableWithLinkUpFallsBackToLocal", src().log("merging").mode("n/a"), FAILS,
       0, stateOf(SOURCE, UP, TARGET_OUT_DATED),
       {localDump(src().log("merging").mode("n/a")), remoteFailed, defaulted}, "LR"},
      // A destination whose source could not be read may be behind (the
      // source may be logging): out of date in either mode, copy or not.
      {"DestinationSourceUnreadableIsOutOfDate", dst(), FAILS, 0,
       stateOf(TARGET, UP, TARGET_OUT_DATED), {localDump(dst()), remoteFailed}, "LR"},
      {"DestinationSourceUnreadableAsyncCopyIsOutOfDate", dst().mode("asynchronous").copy("yes"),
       FAILS, 0, stateOf(TARGET, UP, TARGET_OUT_DATED, ASYNCHRONOUS),
       {localDump(dst().mode("asynchronous").copy("yes")), remoteFailed}, "LR"},
      {"BothWriteModesAbsentDefaultToSynchronous", src().mode("n/a"),
       Read(dst().mode("n/a")), 0, stateOf(SOURCE, UP, SYNCED),
       {localDump(src().mode("n/a")), remoteDump(dst().mode("n/a")), defaulted}, "LR"},
      {"NoReachableLocalServerGivesUnknownRole", noServer(), FAILS, 0,
       stateOf(UNKNOWN_ROLE, UNKNOWN_LINK_STATE, INVALID, SYNCHRONOUS,
               UNKNOWN_ABSOLUTE_CURRENCY),
       {}, "L"},
  };
}

class GetStateTest : public SaiTest, public ::testing::WithParamInterface<StateRow> {};

TEST_P(GetStateTest, ReadsAndMapsTheDRGroup) {
  const StateRow& row = GetParam();
  make({{row.local}, {row.remote}, {}, {}});
  DataRepState state;
  EXPECT_EQ(sai->getState(state), row.result);
  if (row.result == 0) {
    EXPECT_EQ(state.role, row.state.role);
    EXPECT_EQ(state.linkState, row.state.linkState);
    EXPECT_EQ(state.absoluteCurrency, row.state.absoluteCurrency);
    EXPECT_EQ(state.repState, row.state.repState);
    EXPECT_EQ(state.writeMode, row.state.writeMode);
  }
  EXPECT_EQ(messages(), row.messages);
  EXPECT_EQ(array->calls, row.calls);
  EXPECT_TRUE(sys.clock.sleeps.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, GetStateTest, ::testing::ValuesIn(stateRows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaiTest, UnreadableLocalSideFailsAndFailoverKeepsTheLastState) {
  make({{Read(dst()), FAILS}, {Read(src())}, {INVALID_DR_STATE}, {}});
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
  EXPECT_EQ(array->calls, "LRLF");
}

// ---- failover ---------------------------------------------------------------------

// getState on an asynchronous destination, then one failover.
TEST_F(SaiTest, FailoverHandsBackTheStateToDecideOnAgain) {
  const struct {
    int answer;
    int expected;
    DRRepState rep;
    const char* message;
  } cases[] = {
      {0, 0, INVALID, nullptr},
      {INVALID_DR_STATE, 2, TRACK_COPY_IN_PROGRESS,
       "The failover action detected that the DR group is/was in copying state."},
      {DR_GROUP_IS_MERGING, 2, LOG_COPY_IN_PROGRESS,
       "The failover action detected that the DR group is in merging state."},
      {STORAGE_SYSTEM_BUSY, 1, INVALID,
       "Error - The failover action failed due to storage system is busy."},
      {INVALID_DR_MODE, 1, INVALID, nullptr},
      {1, 1, INVALID, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    make({{Read(dst().mode("asynchronous"))}, {Read(src().mode("asynchronous"))},
          {c.answer}, {}});
    DataRepState state;
    ASSERT_EQ(sai->getState(state), 0);
    sys.console.writes.clear();
    DataRepState newState;
    EXPECT_EQ(sai->failover(newState), c.expected);
    Messages expected{count(1)};
    if (c.message != nullptr) expected.push_back(c.message);
    EXPECT_EQ(messages(), expected);
    EXPECT_EQ(array->calls, "LRF");
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

TEST_F(SaiTest, LockCollisionOnEveryTryGivesUpAfterSix) {
  make({{}, {}, {LOCK_COLLISION, LOCK_COLLISION, LOCK_COLLISION, LOCK_COLLISION,
                 LOCK_COLLISION, LOCK_COLLISION, 0},
        {}});
  EXPECT_EQ(sai->failoverSwap(300), 1);
  EXPECT_EQ(messages(), (Messages{count(1), count(2), count(3), count(4), count(5), count(6)}));
  EXPECT_EQ(sys.clock.sleeps, Sleeps(6, 60));
  EXPECT_EQ(array->calls, "FFFFFF");
  EXPECT_EQ(sai->getRetryCount(), 7);
  // The budget is spent: the array is not asked again.
  EXPECT_EQ(sai->failoverSwap(300), 1);
  EXPECT_EQ(array->calls, "FFFFFF");
}

TEST_F(SaiTest, LockCollisionBudgetIsSharedByLaterCalls) {
  make({{}, {}, {LOCK_COLLISION, LOCK_COLLISION, 0, LOCK_COLLISION}, {}});
  EXPECT_EQ(sai->failoverSwap(0), 0);
  EXPECT_EQ(sys.clock.sleeps, Sleeps(2, 60));
  EXPECT_EQ(sai->getRetryCount(), 3);
  sys.console.writes.clear();
  DataRepState newState;
  EXPECT_EQ(sai->failover(newState), 1);
  EXPECT_EQ(messages(), (Messages{count(3), count(4), count(5), count(6)}));
  EXPECT_EQ(array->calls, "FFFFFFF");
}

// ---- failoverSwap and the waits ----------------------------------------------------

using Op = std::function<int(ZARNStorageArrayInterface&)>;
Op swap(int waitTime) {
  return [waitTime](ZARNStorageArrayInterface& s) { return s.failoverSwap(waitTime); };
}
Op merging(int waitTime, const char* policy) {
  return [waitTime, policy](ZARNStorageArrayInterface& s) {
    return s.waitForMerging(waitTime, policy);
  };
}
Op copying(int waitTime) {
  return [waitTime](ZARNStorageArrayInterface& s) { return s.waitForCopying(waitTime); };
}

struct WaitRow {
  const char* name;
  Script script;
  Op op;
  int result;
  Messages messages;
  std::string calls;
  size_t sleeps;  // of 60 seconds each
};

std::ostream& operator<<(std::ostream& os, const WaitRow& r) { return os << r.name; }

Side asyncDst() { return dst().mode("asynchronous"); }
Side mergingSrc(const char* writes) {
  return src().mode("asynchronous").log("merging").writes(writes);
}

std::vector<WaitRow> failoverSwapRows() {
  return {
      {"Success", {{}, {}, {0}, {}}, swap(300), 0, {count(1)}, "F", 0},
      {"OtherRefusalIsNotWaitedFor", {{}, {}, {INVALID_DR_MODE}, {}}, swap(300), 1,
       {count(1)}, "F", 0},
      // A failover without an answer (1) may have been carried out: the
      // retries follow answers only, so it is never asked for again.
      {"UnansweredIsNotRetried", {{}, {}, {1, 0}, {}}, swap(300), 1, {count(1)}, "F", 0},
      {"UnansweredEndsTheBusyWait", {{}, {}, {STORAGE_SYSTEM_BUSY, 1, 0}, {}}, swap(300), 1,
       {count(1), "The Storage system is busy", waiting(WAIT_BUSY, 300), WAIT_EXPIRED}, "FF",
       1},
      {"BusyThroughoutWaitsTheWholeWaitTime", {{}, {}, {STORAGE_SYSTEM_BUSY}, {}}, swap(300),
       1,
       {count(1), "The Storage system is busy", waiting(WAIT_BUSY, 300),
        waiting(WAIT_BUSY, 240), waiting(WAIT_BUSY, 180), waiting(WAIT_BUSY, 120),
        waiting(WAIT_BUSY, 60), WAIT_EXPIRED},
       "FFFFFF", 5},
      // The polls in the wait are outside the lock collision budget.
      {"WaitsThroughCopyMergeBusyAndLockCollision",
       {{Read(dst())}, {}, {INVALID_DR_STATE, DR_GROUP_IS_MERGING, STORAGE_SYSTEM_BUSY,
                           LOCK_COLLISION, 0},
        {}},
       swap(600), 0,
       {count(1), COPYING, waiting(WAIT_COPY, 600), waiting(WAIT_MERGE, 540),
        waiting(WAIT_BUSY, 480), waiting("LOCK_COLLISION .", 420)},
       "FLFFFF", 4},
      {"ZeroWaitCopying", {{Read(dst())}, {}, {INVALID_DR_STATE}, {}}, swap(0), 1,
       {count(1), COPYING,
        "The WAIT_TIME is 0. The program will not wait for copy operation complete"},
       "F", 0},
      {"ZeroWaitMerging", {{}, {}, {DR_GROUP_IS_MERGING}, {}}, swap(0), 1,
       {count(1), MERGING,
        "The WAIT_TIME is 0. The program will not wait for merging operation complete"},
       "F", 0},
      {"ZeroWaitBusy", {{}, {}, {STORAGE_SYSTEM_BUSY}, {}}, swap(0), 1,
       {count(1), "The Storage system is busy",
        "The WAIT_TIME is 0. The program will not retry the failover operation"},
       "F", 0},
      {"ZeroWaitSuspended", {{}, {}, {CONNECTION_SUSPENDED}, {}}, swap(0), 1, {count(1)}, "F",
       0},
      // A copy towards this site cannot end while the link is down.
      {"CopyingWithTheLinkDown", {{Read(dst().link("failed").copy("yes"))}, {},
                                  {INVALID_DR_STATE}, {}},
       swap(600), 1,
       {count(1), COPYING,
        "Error,Link is down, The program will not wait for copy operation complete"},
       "FL", 0},
      {"CopyingAndTheLocalSideUnreadable", {{FAILS}, {}, {INVALID_DR_STATE}, {}}, swap(600), 1,
       {count(1), COPYING, "Error, Unable to get the Local DR State"}, "FL", 0},
      {"CopyEndingWhileWaiting", {{Read(dst().copy("yes"))}, {}, {INVALID_DR_STATE, 0}, {}},
       swap(600), 0, {count(1), COPYING, waiting(WAIT_COPY, 600)}, "FLF", 1},
  };
}

std::vector<WaitRow> mergingRows() {
  const char* const asyncNoRemote =
      "ERROR - Failed to get remote DR Group state.The DR Mode is Asynchronous.\n\t\t\t\t"
      "The program cannot determine the number of logs pending.\n\t\t\t\t"
      "The package is NOT allowed to start up.";
  const char* const syncNoRemote =
      "ERROR - Failed to get remote DR Group state.The DR Mode is Synchronous.\n\t\t\t\t"
      "The program cannot determine the number of logs pending.\n\t\t\t\t"
      "The package is NOT allowed to start up.";
  const char* const asyncLost =
      "Warning - Failed to get remote DR Group state.The DR Mode is "
      "Asynchronous.\n\t\t\t\tThe program cannot determine the number of logs "
      "pending.\n\t\t\t\tThe package is NOT allowed to start up.";
  const char* const syncLost =
      "Warning - Failed to get remote DR Group state.The DR Mode is "
      "Synchronous.\n\t\t\t\tThe program cannot determine the number of logs "
      "pending.\n\t\t\t\tThe package is NOT allowed to start up.";
  const char* const AP = "AVAILABILITY_PREFERRED";
  const char* const DCP = "DATA_CURRENCY_PREFERRED";
  const char* const RPP = "REMOTE_PROTECTION_PREFERRED";
  auto unknownCount = [&](const char* name, const char* writes) -> WaitRow {
    // May hide writes still on their way: waited for as if outstanding,
    // and refused by the currency policy at the deadline.
    return {name, {{Read(asyncDst())}, {Read(mergingSrc(writes))}, {0}, {}},
            merging(120, DCP), 1,
            {MERGING, waiting(WAIT_MERGE, 120), waiting(WAIT_MERGE, 60), CURRENCY_REFUSED},
            "LRRR", 2};
  };
  return {
      {"NothingOutstandingFailsOverAtOnce",
       {{Read(asyncDst())}, {Read(mergingSrc("0").log("normal"))}, {0}, {}},
       merging(600, DCP), 0, {MERGING, count(1)}, "LRF", 0},
      {"CountsDownThenFailsOver",
       {{Read(asyncDst())}, {Read(mergingSrc("3")), Read(mergingSrc("1")), Read(src().mode("asynchronous"))}, {0}, {}},
       merging(600, DCP), 0,
       {MERGING, waiting(WAIT_MERGE, 600), waiting(WAIT_MERGE, 540), count(1)}, "LRRRF", 2},
      // Writes still outstanding at the deadline.
      {"AsyncOutstandingAvailabilityPreferred",
       {{Read(asyncDst())}, {Read(mergingSrc("40"))}, {0}, {}}, merging(120, AP), 0,
       {MERGING, waiting(WAIT_MERGE, 120), waiting(WAIT_MERGE, 60), count(1)}, "LRRRF", 2},
      {"AsyncOutstandingDataCurrencyPreferred",
       {{Read(asyncDst())}, {Read(mergingSrc("40"))}, {0}, {}}, merging(120, DCP), 1,
       {MERGING, waiting(WAIT_MERGE, 120), waiting(WAIT_MERGE, 60), CURRENCY_REFUSED},
       "LRRR", 2},
      {"AsyncOutstandingRemoteProtectionPreferred",
       {{Read(asyncDst())}, {Read(mergingSrc("40"))}, {0}, {}}, merging(120, RPP), 1,
       {MERGING, waiting(WAIT_MERGE, 120), waiting(WAIT_MERGE, 60), CURRENCY_REFUSED},
       "LRRR", 2},
      {"SyncOutstanding",
       {{Read(dst())}, {Read(mergingSrc("40").mode("synchronous"))}, {0}, {}},
       merging(120, AP), 1,
       {MERGING, waiting(WAIT_MERGE, 120), waiting(WAIT_MERGE, 60), WAIT_EXPIRED}, "LRRR", 2},
      unknownCount("UnknownCountNa", "n/a"),
      unknownCount("UnknownCountEmpty", ""),
      unknownCount("UnknownCountNull", "NULL"),
      unknownCount("UnknownCountText", "unknown"),
      // No remote state: the writes pending are unknown in either mode.
      {"NoRemoteStateAsync", {{Read(asyncDst())}, {FAILS}, {0}, {}}, merging(600, AP), 1,
       {MERGING, asyncNoRemote}, "LR", 0},
      {"NoRemoteStateSync", {{Read(dst())}, {FAILS}, {0}, {}}, merging(600, DCP), 1,
       {MERGING, syncNoRemote}, "LR", 0},
      {"NoRemoteStateModeUnknown", {{Read(dst().mode("n/a"))}, {FAILS}, {0}, {}},
       merging(600, AP), 1, {MERGING, syncNoRemote}, "LR", 0},
      // No write count: the write mode decides.
      {"NoWriteCountAsync", {{Read(dst())}, {Read(mergingSrc("none"))}, {0}, {}},
       merging(600, AP), 1,
       {MERGING,
        "Error.Cannot retrieve the property \"numWrites\".\n\t\t\t\tThe DR Mode is "
        "Asynchronous.\n\t\t\t\tThe package is NOT allowed to start up."},
       "LR", 0},
      {"NoWriteCountSync",
       {{Read(dst())}, {Read(mergingSrc("none").mode("synchronous"))}, {0}, {}},
       merging(600, AP), 0,
       {MERGING,
        "Warning - Failed to retrieve the property \"numWrites\" \n\t\t\t\tThe DR Mode is "
        "SYNCHRONOUS.The package is allowed to start up.",
        count(1)},
       "LRF", 0},
      {"NoFullCopyStateAsync",
       {{Read(dst())}, {Read(mergingSrc("40").copy("n/a"))}, {0}, {}}, merging(600, AP), 1,
       {MERGING,
        "Error.Cannot retrieve the property \"numWrites\".\n\t\t\t\tThe DR Mode is "
        "Asynchronous.\n\t\t\t\tThe package is NOT allowed to start up."},
       "LR", 0},
      // The remote side lost while waiting: refused in either mode.
      {"RemoteLostWhileMergingAsync",
       {{Read(asyncDst())}, {Read(mergingSrc("40")), FAILS}, {0}, {}}, merging(600, AP), 1,
       {MERGING, waiting(WAIT_MERGE, 600), asyncLost}, "LRR", 1},
      {"RemoteLostWhileMergingSync",
       {{Read(dst())}, {Read(mergingSrc("40").mode("synchronous")), FAILS}, {0}, {}},
       merging(600, AP), 1, {MERGING, waiting(WAIT_MERGE, 600), syncLost}, "LRR", 1},
      {"LocalSideUnreadable", {{FAILS}, {}, {}, {}}, merging(600, AP), 1,
       {"Error.Cannot retrieve the Local CS State.\n\t\t\t\t"}, "L", 0},
  };
}

std::vector<WaitRow> copyingRows() {
  const char* const lost = "Error - Failed to get Local DR Group state\t.";
  return {
      {"CopyFinished", {{Read(dst())}, {}, {0}, {}}, copying(600), 0, {COPYING, count(1)},
       "LF", 0},
      {"CopyStateUnknown", {{Read(dst().copy("none"))}, {}, {0}, {}}, copying(600), 0,
       {COPYING,
        "Warning - Failed to retrieve the property \"fullCopyState\".The program will "
        "attempt to start up the package.",
        count(1)},
       "LF", 0},
      {"CopyRunningZeroWaitTime", {{Read(dst().copy("yes"))}, {}, {0}, {}}, copying(0), 1,
       {COPYING,
        "The WAIT_TIME is 0. The program will not wait for copying operation to complete"},
       "L", 0},
      {"CopyEndsWithinTheWaitTime",
       {{Read(dst().copy("yes")), Read(dst().copy("yes")), Read(dst().copy("yes")),
         Read(dst())},
        {}, {0}, {}},
       copying(600), 0,
       {COPYING, waiting(WAIT_COPY, 600), waiting(WAIT_COPY, 540), waiting(WAIT_COPY, 480),
        count(1)},
       "LLLLF", 3},
      {"CopyStillRunningAtTheDeadline", {{Read(dst().copy("yes"))}, {}, {0}, {}},
       copying(150), 1,
       {COPYING, waiting(WAIT_COPY, 150), waiting(WAIT_COPY, 90), waiting(WAIT_COPY, 30),
        "The WAIT_TIME has expired."},
       "LLLL", 3},
      {"CopyStateLostWhileWaiting", {{Read(dst().copy("yes")), FAILS}, {}, {0}, {}},
       copying(600), 1, {COPYING, waiting(WAIT_COPY, 600), lost}, "LL", 1},
      {"LocalSideUnreadable", {{FAILS}, {}, {}, {}}, copying(600), 1, {COPYING, lost}, "L", 0},
  };
}

class WaitTest : public SaiTest, public ::testing::WithParamInterface<WaitRow> {};

TEST_P(WaitTest, WaitsAndFailsOver) {
  const WaitRow& row = GetParam();
  make(row.script);
  EXPECT_EQ(row.op(*sai), row.result);
  EXPECT_EQ(messages(), row.messages);
  EXPECT_EQ(array->calls, row.calls);
  EXPECT_EQ(sys.clock.sleeps, Sleeps(row.sleeps, 60));
  // Only failoverWithRetries spends the lock collision budget.
  EXPECT_EQ(sai->getRetryCount(), 1);
}

auto rowName = [](const auto& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(FailoverSwap, WaitTest, ::testing::ValuesIn(failoverSwapRows()),
                         rowName);
INSTANTIATE_TEST_SUITE_P(WaitForMerging, WaitTest, ::testing::ValuesIn(mergingRows()),
                         rowName);
INSTANTIATE_TEST_SUITE_P(WaitForCopying, WaitTest, ::testing::ValuesIn(copyingRows()),
                         rowName);

// ---- What the decision record keeps ------------------------------------------------

using nlohmann::json;

TEST_F(SaiTest, RecordKeepsEachSideAsReportedAndTheSourcesWriteCount) {
  const json SRC_SIDE = {{"participation", "source"}, {"link", "good"},
                         {"log_state", "logging"},   {"write_mode", "asynchronous"},
                         {"failsafe", "disabled"},   {"failsafe_lock", "no"},
                         {"suspend", "no"},          {"full_copy", "no"},
                         {"writes", "17"}};
  const json NOT_READ = {{"not_read", "this site's array was not read"}};
  const struct {
    const char* name;
    Read local;
    Read remote;
    json localSide, remoteSide, writes;
  } cases[] = {
      {"SourceCountsItsOwnWrites", Read(src().log("logging").mode("asynchronous").writes("17")),
       Read(asyncDst()), SRC_SIDE, json{{"participation", "destination"}}, 17},
      {"DestinationTakesTheSourcesCount", Read(asyncDst()),
       Read(src().log("logging").mode("asynchronous").writes("17")),
       json{{"participation", "destination"}}, SRC_SIDE, 17},
      {"LinkDownRemoteNotAsked", Read(dst().link("failed")), FAILS,
       json{{"participation", "destination"}}, json{{"not_read", "the replication link is down"}},
       nullptr},
      {"RemoteUnreadable", Read(dst()), FAILS, json{{"participation", "destination"}},
       json{{"error", "smis1: timed out"}}, nullptr},
      {"NoLocalServer", Read(noServer()), FAILS, json{{"error", "smis1: timed out"}}, NOT_READ,
       nullptr},
      {"LocalUnreadable", FAILS, FAILS, json{{"error", "smis1: timed out"}}, NOT_READ, nullptr},
      {"CountThatIsNoNumber", Read(src().writes("n/a")), Read(dst()),
       json{{"participation", "source"}}, json{{"participation", "destination"}}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake::ScopedRecord record;
    make({{c.local}, {c.remote}, {}, {}});
    array->failure = "smis1: timed out";
    DataRepState state;
    sai->getState(state);
    // The sides' fields named by the case are as the array reported them.
    auto expectSide = [&record](const char* side, const json& want) {
      for (auto it = want.begin(); it != want.end(); ++it)
        EXPECT_EQ(record[side][it.key()], it.value()) << side << " " << it.key();
    };
    expectSide("local", c.localSide);
    expectSide("remote", c.remoteSide);
    EXPECT_EQ(record["writes_outstanding"], c.writes);
  }
}

TEST_F(SaiTest, RecordKeepsEveryWaitAndTheWritesGivenUp) {
  const struct {
    const char* name;
    Script script;
    Op op;
    json waits;
    json givenUp;
  } cases[] = {
      {"MergeCountedDown",
       {{Read(asyncDst())}, {Read(mergingSrc("3")), Read(mergingSrc("1")), Read(mergingSrc("0"))}, {0}, {}},
       merging(600, "DATA_CURRENCY_PREFERRED"),
       json::array({{{"for", "merge"}, {"checks", 2}, {"seconds", 120}, {"end", "done"},
                     {"writes", {3, 1, 0}}}}),
       nullptr},
      {"MergeGivenUpByAvailability", {{Read(asyncDst())}, {Read(mergingSrc("40"))}, {0}, {}},
       merging(120, "AVAILABILITY_PREFERRED"),
       json::array({{{"for", "merge"}, {"checks", 2}, {"seconds", 120}, {"end", "expired"},
                     {"writes", {40, 40, 40}}}}),
       40},
      {"BusyArrayThenDone", {{}, {}, {STORAGE_SYSTEM_BUSY, 0}, {}}, swap(300),
       json::array({{{"for", "array busy"}, {"checks", 1}, {"seconds", 60}, {"end", "done"}}}),
       nullptr},
      {"LockCollisionsThenDone", {{}, {}, {LOCK_COLLISION, LOCK_COLLISION, 0}, {}}, swap(300),
       json::array({{{"for", "lock collision"}, {"checks", 2}, {"seconds", 120}, {"end", "done"}}}),
       nullptr},
      {"CopyOutlastsWaitTime", {{Read(dst().copy("yes"))}, {}, {0}, {}}, copying(100),
       json::array({{{"for", "copy"}, {"checks", 2}, {"seconds", 120}, {"end", "expired"}}}),
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake::ScopedRecord record;
    make(c.script);
    c.op(*sai);
    EXPECT_EQ(record["waits"], c.waits);
    EXPECT_EQ(record["writes_given_up"], c.givenUp);
  }
}

// Given a time limit of 200 s and query time-outs of 30 s, a wait ends
// when a sleep, a check and (after a read) the failover no longer fit.
TEST_F(SaiTest, TimeLimitEndsAWaitBeforeItCouldOverrun) {
  const struct {
    const char* name;
    Script script;
    Op op;
    std::string calls;
  } cases[] = {
      {"MergeReads", {{Read(asyncDst())}, {Read(mergingSrc("40"))}, {0}, {}},
       merging(600, "AVAILABILITY_PREFERRED"), "LRRR"},
      {"BusyArray", {{}, {}, {STORAGE_SYSTEM_BUSY}, {}}, swap(600), "FFF"},
      {"LockCollisions", {{}, {}, {LOCK_COLLISION}, {}}, swap(600), "FFF"},
      {"CopyReads", {{Read(dst().copy("yes"))}, {}, {0}, {}}, copying(600), "LLL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake::ScopedRecord record;
    make(c.script);
    array->query = 30;
    timelimit::start(200);
    EXPECT_EQ(c.op(*sai), 1);
    timelimit::start(0);
    EXPECT_EQ(array->calls, c.calls);
    EXPECT_EQ(sys.clock.sleeps, Sleeps(2, 60));
    EXPECT_EQ(record["time_limit_reached"], "wait");
    EXPECT_EQ(record["waits"].back()["end"], "time limit");
    const Messages said = messages();
    EXPECT_EQ(std::count_if(said.begin(), said.end(),
                            [](const std::string& m) {
                              return m.rfind("Error - The time limit of the start "
                                             "(DRENABLE_TIME_LIMIT, 200 seconds) leaves ",
                                             0) == 0;
                            }),
              1);
  }
}

// ---- The rest of the interface ---------------------------------------------------

TEST_F(SaiTest, SourceWriteEnableSwitchesFailsafeOff) {
  make({{}, {}, {}, {0, 1, 32769}});
  EXPECT_EQ(sai->sourceWriteEnable(), 0);
  EXPECT_EQ(sai->sourceWriteEnable(), 1);
  EXPECT_EQ(sai->sourceWriteEnable(), 1);
  EXPECT_EQ(array->calls, "DDD");
}

TEST_F(SaiTest, FailbackAndResyncHaveNothingToDo) {
  make({});
  EXPECT_EQ(sai->failback(), 3);
  EXPECT_EQ(sai->resyncFromTarget(), 3);
  EXPECT_EQ(sai->initialize("/pkg/pkg1.env"), 0);  // the operations are set up
  EXPECT_EQ(array->calls, "");
  EXPECT_TRUE(messages().empty());
}

// ---- mapState: every row of the source and destination tables, the
// failsafe and link rules, with the exact messages (debug ones included). ----

const char* const PREFIX = "Inside ZARNStorageArrayInterface::mapState ";
const char* const PREFIX_THE = "Inside the ZARNStorageArrayInterface::mapState ";
const char* const ENTRY = "Inside the ZARNStorageArrayInterface::mapState method";
const char* const DEST = "Inside the ZARNStorageArrayInterface::mapState "
                         "ParticipationType is Destination";
const char* const UNKNOWN_LOG =
    "Inside ZARNStorageArrayInterface::mapState logState is UNKNOWN";
const char* const ASYNC = "Write Mode is Asynchronous";

std::string dbg(const std::string& text) { return "DEBUG " + text; }
std::string inside(const std::string& rest) { return dbg(PREFIX + rest); }
std::string insideThe(const std::string& rest) { return dbg(PREFIX_THE + rest); }

struct Row {
  const char* name;
  // Raw properties.
  std::string participation;
  std::string logState;
  std::string link;
  std::string writeMode;
  std::string fullCopy;
  std::string writes;
  std::string failSafe = "disable";
  std::string lock = "none";
  // Expected.
  int result = 0;
  DRRole role = UNKNOWN_ROLE;
  DRRepState rep = INVALID;
  DRLinkState linkState = UNKNOWN_LINK_STATE;
  DRAbsoluteCurrency currency = UNKNOWN_ABSOLUTE_CURRENCY;
  DRWriteMode writeModeOut = SYNCHRONOUS;
  // Messages after the entry line (debug ones start "DEBUG ").
  Messages messages;
};

std::ostream& operator<<(std::ostream& os, const Row& r) { return os << r.name; }

ConsistencySetState csOf(const Row& r) {
  ConsistencySetState cs;
  cs.participationType = r.participation;
  cs.linkState = r.link;
  cs.logState = r.logState;
  cs.failSafe = r.failSafe;
  cs.failSafeLock = r.lock;
  cs.suspendMode = "none";
  cs.writeMode = r.writeMode;
  cs.fullCopyState = r.fullCopy;
  cs.numWrites = r.writes;
  return cs;
}

// A source row with link "good": up, failsafe disabled.
Row source(const char* name, const std::string& logState, DRRepState rep,
           Messages tail) {
  Row r;
  r.name = name;
  r.participation = "source";
  r.logState = logState;
  r.link = "good";
  r.writeMode = "synchronous";
  r.fullCopy = "no";
  r.writes = "0";
  r.role = SOURCE;
  r.rep = rep;
  r.linkState = UP;
  r.currency = NO;
  r.messages = {inside("ParticipationType:SOURCE")};
  for (auto& m : tail) r.messages.push_back(m);
  return r;
}

Row dest(const char* name, const std::string& logState, const std::string& link,
         const std::string& writeMode, const std::string& fullCopy,
         const std::string& writes, DRRepState rep, Messages tail) {
  Row r;
  r.name = name;
  r.participation = "destination";
  r.logState = logState;
  r.link = link;
  r.writeMode = writeMode;
  r.fullCopy = fullCopy;
  r.writes = writes;
  r.role = TARGET;
  r.rep = rep;
  r.linkState = link == "good" ? UP : link == "failed" ? DOWN : UNKNOWN_LINK_STATE;
  r.currency = NO;
  r.writeModeOut = writeMode == "asynchronous" ? ASYNCHRONOUS : SYNCHRONOUS;
  r.messages = {dbg(DEST)};
  for (auto& m : tail) r.messages.push_back(m);
  return r;
}

std::vector<Row> sourceRows() {
  return {
      source("SourceNormal", "normal", SYNCED,
             {insideThe("logState:NORMAL RepState:SYNCED")}),
      source("SourceLogging", "logging", TARGET_OUT_DATED, {}),
      source("SourceMerging", "merging", TARGET_OUT_DATED, {}),
      source("SourceDeallocating", "deallocating", TARGET_OUT_DATED, {}),
      source("SourceUnknownLog", "unknown", INVALID,
             {"Error - Unexpected DR log state unknown detected."}),
      source("SourceLogStateCaseMatters", "Normal", INVALID,
             {"Error - Unexpected DR log state Normal detected."}),
  };
}

std::vector<Row> destinationRows() {
  const std::string a = "asynchronous", s = "synchronous";
  const std::string na = "n/a";
  return {
      // Log state "normal" (the source's, taken over by getState).
      dest("NormalAsyncFullCopy", "normal", "good", a, "yes", "12",
           TRACK_COPY_IN_PROGRESS,
           {dbg(ASYNC), inside("logState:NORMAL,FULL_COPY_TRUE ")}),
      dest("NormalAsyncWritesPending", "normal", "good", a, "no", "17",
           LOG_COPY_IN_PROGRESS,
           {dbg(ASYNC), inside("logState:NORMAL, State:Merging")}),
      dest("NormalAsyncNoWrites", "normal", "good", a, "no", "0", SYNCED,
           {dbg(ASYNC), inside("logState:NORMAL State:Syncd")}),
      dest("NormalAsyncWritesNone", "normal", "failed", a, "none", "none",
           SYNCED, {dbg(ASYNC), inside("logState:NORMAL State:Syncd")}),
      dest("NormalAsyncWritesZeroes", "normal", "good", a, "no", "000", SYNCED,
           {dbg(ASYNC), inside("logState:NORMAL State:Syncd")}),
      // A count that is neither a number nor "none" is unknown: it may hide
      // writes still on their way, so the data is never taken as current.
      dest("NormalAsyncWritesNotANumber", "normal", "good", a, "no", "x9",
           LOG_COPY_IN_PROGRESS,
           {dbg(ASYNC), inside("logState:NORMAL, State:Merging")}),
      dest("NormalAsyncWritesNegative", "normal", "good", a, "no", "-3",
           LOG_COPY_IN_PROGRESS,
           {dbg(ASYNC), inside("logState:NORMAL, State:Merging")}),
      dest("NormalAsyncWritesNullText", "normal", "good", a, "no", "NULL",
           LOG_COPY_IN_PROGRESS,
           {dbg(ASYNC), inside("logState:NORMAL, State:Merging")}),
      dest("NormalAsyncWritesEmpty", "normal", "good", a, "no", "",
           LOG_COPY_IN_PROGRESS,
           {dbg(ASYNC), inside("logState:NORMAL, State:Merging")}),
      dest("NormalAsyncWritesNa", "normal", "failed", a, "no", "n/a",
           LOG_COPY_IN_PROGRESS,
           {dbg(ASYNC), inside("logState:NORMAL, State:Merging")}),
      dest("NormalAsyncWritesUnknown", "normal", "good", a, "no", "unknown",
           LOG_COPY_IN_PROGRESS,
           {dbg(ASYNC), inside("logState:NORMAL, State:Merging")}),
      dest("NormalAsyncWritesZeroWithText", "normal", "good", a, "no", "0 left",
           LOG_COPY_IN_PROGRESS,
           {dbg(ASYNC), inside("logState:NORMAL, State:Merging")}),
      dest("NormalSyncUnknownWritesIgnored", "normal", "good", s, "no", "n/a",
           SYNCED, {inside("logState:NORMAL,FULL_COPY_FALSE. SYNCED")}),
      dest("NormalAsyncWritesHuge", "normal", "good", a, "no",
           "99999999999999999999999", LOG_COPY_IN_PROGRESS,
           {dbg(ASYNC), inside("logState:NORMAL, State:Merging")}),
      dest("NormalSyncFullCopy", "normal", "good", s, "yes", "0",
           TRACK_COPY_IN_PROGRESS, {inside("logState:NORMAL,FULL_COPY_TRUE ")}),
      dest("NormalSyncWritesIgnored", "normal", "good", s, "no", "17", SYNCED,
           {inside("logState:NORMAL,FULL_COPY_FALSE. SYNCED")}),
      dest("NormalNaWriteModeCountsAsSync", "normal", "good", na, "no", "5",
           SYNCED, {inside("logState:NORMAL,FULL_COPY_FALSE. SYNCED")}),
      // "logging": the source logs writes; suspended when the link is good.
      dest("LoggingLinkGoodIsSuspended", "logging", "good", s, "yes", "0",
           TARGET_OUT_DATED,
           {"The replication link of this DR group is in suspend mode.",
            insideThe("logState:LOGGING TARGET_OUT_DATED")}),
      dest("LoggingLinkFailed", "logging", "failed", a, "no", "0",
           TARGET_OUT_DATED, {insideThe("logState:LOGGING TARGET_OUT_DATED")}),
      // The table says TARGET_OUT_DATED; the link rule makes it INVALID.
      dest("LoggingLinkUnknown", "logging", "unknown", a, "no", "0", INVALID,
           {insideThe("logState:LOGGING TARGET_OUT_DATED"),
            "Error - Unexpected YR link state unknown detected."}),
      dest("DeallocatingFullCopy", "deallocating", "good", s, "yes", "0",
           TRACK_COPY_IN_PROGRESS,
           {inside("logState:DEALLOCATING FULL_COPY_TRUE ")}),
      dest("DeallocatingNoCopy", "deallocating", "failed", a, "no", "3",
           TARGET_OUT_DATED, {inside("logState:DEALLOCATING FULL_COPY_FALSE")}),
      dest("MergingFullCopy", "merging", "good", a, "yes", "3",
           TRACK_COPY_IN_PROGRESS,
           {insideThe("logState:MERGING FullCopy:TRUE")}),
      dest("MergingNoCopy", "merging", "good", s, "no", "0",
           LOG_COPY_IN_PROGRESS, {inside("logState:MERGING FullCopy:FALSE")}),
      // Log state unknown ("n/a" after getState, or anything else).
      dest("UnknownLogGoodAsyncFullCopy", "n/a", "good", a, "yes", "0",
           TRACK_COPY_IN_PROGRESS,
           {dbg(UNKNOWN_LOG), dbg(ASYNC), inside("Link:GOOD FULLCOPY:TRUE")}),
      dest("UnknownLogGoodAsyncAssumesMerging", "n/a", "good", a, "no", "0",
           LOG_COPY_IN_PROGRESS,
           {dbg(UNKNOWN_LOG), dbg(ASYNC),
            inside("Link state is GOOD"),
            dbg("Since Log State is unknown, Assume that merging is in "
                "progress")}),
      dest("UnknownLogGoodSyncFullCopy", "unknown", "good", s, "yes", "0",
           TRACK_COPY_IN_PROGRESS,
           {dbg(UNKNOWN_LOG), inside("Link:GOOD FULLCOPY:TRUE")}),
      dest("UnknownLogGoodSync", "unknown", "good", s, "none", "0", SYNCED,
           {dbg(UNKNOWN_LOG), inside("Link:GOOD State:SYNCED")}),
      dest("UnknownLogFailedFullCopy", "n/a", "failed", a, "yes", "0",
           TRACK_COPY_IN_PROGRESS,
           {dbg(UNKNOWN_LOG), inside("Link:FAILED State:Copying")}),
      dest("UnknownLogFailed", "n/a", "failed", s, "no", "0",
           TARGET_OUT_DATED,
           {dbg(UNKNOWN_LOG), inside("Link:FAILED State:TARGET_OUT_DATED")}),
      // An unknown link is reported by the table and again by the link rule.
      dest("UnknownLogUnknownLink", "n/a", "unknown", s, "yes", "0", INVALID,
           {dbg(UNKNOWN_LOG),
            "Error - Unexpected YR link state unknown detected.",
            "Error - Unexpected YR link state unknown detected."}),
  };
}

class MapStateFixture : public ::testing::Test {
 protected:
  MapStateFixture() : debug_("DATAREP_DEBUG", std::string("1")) {
    logger_.emplace();
    sai_.emplace(array_);
  }
  ~MapStateFixture() override {
    sai_.reset();
    logger_.reset();
  }

  // Runs mapState on a default state; the messages after the entry line.
  int map(const ConsistencySetState& cs, DataRepState& state) {
    sys.console.writes.clear();
    int result = sai_->mapState(cs, state);
    Messages m = sys.messages();
    EXPECT_FALSE(m.empty());
    if (!m.empty()) {
      EXPECT_EQ(m.front(), dbg(ENTRY));
      m.erase(m.begin());
    }
    messages = m;
    return result;
  }

  fake::ScopedPlatform sys;
  Messages messages;

 private:
  fake::ScopedEnv debug_;
  std::optional<fake::ScopedLogger> logger_;
  ScriptedArray array_{Script{}};  // mapState asks the arrays nothing
  std::optional<ZARNStorageArrayInterface> sai_;
};

class MapStateTest : public MapStateFixture,
                     public ::testing::WithParamInterface<Row> {};

TEST_P(MapStateTest, MapsRow) {
  const Row& row = GetParam();
  DataRepState state;
  EXPECT_EQ(map(csOf(row), state), row.result);
  EXPECT_EQ(state.role, row.role);
  EXPECT_EQ(state.repState, row.rep);
  EXPECT_EQ(state.linkState, row.linkState);
  EXPECT_EQ(state.absoluteCurrency, row.currency);
  EXPECT_EQ(state.writeMode, row.writeModeOut);
  EXPECT_EQ(messages, row.messages);
}

INSTANTIATE_TEST_SUITE_P(Source, MapStateTest,
                         ::testing::ValuesIn(sourceRows()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Destination, MapStateTest,
                         ::testing::ValuesIn(destinationRows()),
                         [](const auto& info) { return info.param.name; });

// Participation types outside the table, failsafe modes and the link rule,
// on an otherwise plain synchronised source.
class MapStateRulesTest : public MapStateFixture {
 protected:
  ConsistencySetState plainSource() {
    return csOf(source("plain", "normal", SYNCED, {}));
  }
};

TEST_F(MapStateRulesTest, NoneLeavesAllButRoleAndWriteModeUntouched) {
  ConsistencySetState cs;
  cs.participationType = "none";
  cs.writeMode = "asynchronous";
  cs.failSafe = "bogus";  // not looked at
  cs.linkState = "bogus";
  DataRepState state;
  EXPECT_EQ(map(cs, state), 0);
  EXPECT_EQ(state.role, UNKNOWN_ROLE);
  EXPECT_EQ(state.writeMode, ASYNCHRONOUS);
  EXPECT_EQ(state.linkState, UNKNOWN_LINK_STATE);
  EXPECT_EQ(state.absoluteCurrency, UNKNOWN_ABSOLUTE_CURRENCY);
  EXPECT_EQ(state.repState, INVALID);
  EXPECT_EQ(messages,
            (Messages{inside("participationType=CSS_NONE")}));
}

TEST_F(MapStateRulesTest, UnknownParticipationTypeFails) {
  for (const char* type : {"Source", "", "target"}) {
    ConsistencySetState cs = plainSource();
    cs.participationType = type;
    DataRepState state;
    EXPECT_EQ(map(cs, state), 1) << type;
    EXPECT_EQ(state.role, UNKNOWN_ROLE) << type;
    EXPECT_EQ(messages, (Messages{"Error - Unexpected Data Replication mode " +
                                  std::string(type) + " detected."}))
        << type;
  }
}

TEST_F(MapStateRulesTest, FailsafeModeGivesAbsoluteCurrency) {
  const std::pair<const char*, DRAbsoluteCurrency> cases[] = {
      {"enable", YES}, {"enabled", YES}, {"disable", NO}, {"disabled", NO}};
  for (const auto& c : cases) {
    ConsistencySetState cs = plainSource();
    cs.failSafe = c.first;
    DataRepState state;
    EXPECT_EQ(map(cs, state), 0) << c.first;
    EXPECT_EQ(state.absoluteCurrency, c.second) << c.first;
    EXPECT_EQ(state.linkState, UP) << c.first;
  }
}

TEST_F(MapStateRulesTest, UnknownFailsafeModeFailsAfterRoleAndRepState) {
  for (const char* mode : {"Enabled", "none", ""}) {
    ConsistencySetState cs = plainSource();
    cs.failSafe = mode;
    DataRepState state;
    EXPECT_EQ(map(cs, state), 1) << mode;
    EXPECT_EQ(state.role, SOURCE);
    EXPECT_EQ(state.repState, SYNCED);
    EXPECT_EQ(state.linkState, UNKNOWN_LINK_STATE);
    EXPECT_EQ(messages.back(), "Error - Unexpected DR Group Failsafe mode " +
                                   std::string(mode) + " detected.")
        << mode;
  }
}

TEST_F(MapStateRulesTest, FailsafeLockMeansLinkDown) {
  for (const char* link : {"good", "failed", "unknown"}) {
    ConsistencySetState cs = plainSource();
    cs.linkState = link;
    cs.failSafeLock = "yes";
    DataRepState state;
    EXPECT_EQ(map(cs, state), 0) << link;
    EXPECT_EQ(state.linkState, DOWN) << link;
    EXPECT_EQ(state.repState, SYNCED) << link;
  }
  // Only the exact text "yes" locks.
  ConsistencySetState cs = plainSource();
  cs.failSafeLock = "Yes";
  DataRepState state;
  EXPECT_EQ(map(cs, state), 0);
  EXPECT_EQ(state.linkState, UP);
}

TEST_F(MapStateRulesTest, LinkRule) {
  const struct {
    const char* link;
    DRLinkState expected;
    DRRepState rep;
  } cases[] = {{"good", UP, SYNCED},
               {"failed", DOWN, SYNCED},
               {"unknown", UNKNOWN_LINK_STATE, INVALID},
               {"Good", UNKNOWN_LINK_STATE, INVALID}};
  for (const auto& c : cases) {
    ConsistencySetState cs = plainSource();
    cs.linkState = c.link;
    DataRepState state;
    state.linkState = UNKNOWN_LINK_STATE;
    EXPECT_EQ(map(cs, state), 0) << c.link;
    EXPECT_EQ(state.linkState, c.expected) << c.link;
    EXPECT_EQ(state.repState, c.rep) << c.link;
    if (c.expected == UNKNOWN_LINK_STATE) {
      EXPECT_EQ(messages.back(), "Error - Unexpected YR link state " +
                                     std::string(c.link) + " detected.");
    }
  }
}

}  // namespace
