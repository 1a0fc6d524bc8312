// ZARNStorageArrayInterface::mapState: every row of the source and
// destination tables, the failsafe and link rules, with the exact messages.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"
#include "zarn/zarn_storage_array_interface.h"

namespace {

using Messages = std::vector<std::string>;

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
    sai_.emplace();
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
