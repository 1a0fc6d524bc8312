#include "zarn/array/zarn_storage_array_interface.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "drif/decision_record.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "drif/time_limit.h"

namespace {

const char* const AVAILABILITY_PREFERRED = "AVAILABILITY_PREFERRED";
const char* const DATA_CURRENCY_PREFERRED = "DATA_CURRENCY_PREFERRED";
const char* const REMOTE_PROTECTION_PREFERRED = "REMOTE_PROTECTION_PREFERRED";

const char* const WAIT_EXPIRED =
    "The WAIT_TIME has expired or unexpected error has occurred.";
const char* const MERGING = "The DR Group is in merging state";
const char* const COPYING = "The DR Group is in copying state";
const char* const WAITING_COPY = "Waiting for completion of copying. ";
const char* const WAITING_MERGE = "Waiting for completion of merging. ";
const char* const LOCAL_STATE_FAILED =
    "Error - Failed to get Local DR Group state\t.";

// Whether writes may still be on their way to the destination, from the
// array's count of them: for a decimal number when it is above 0 (however
// large), never for "none" (the property absent). Any other text (empty,
// "NULL", "n/a", a sign, a number with more behind it) is an unknown count;
// it can never show the destination current, so it counts as outstanding.
bool writesOutstanding(const std::string& text) {
  if (text == "none") return false;
  if (text.empty() ||
      text.find_first_not_of("0123456789") != std::string::npos)
    return true;
  return text.find_first_not_of('0') != std::string::npos;
}

sys::Clock& wallClock() { return *sys::platform().clock; }

// Why a merge wait refuses the start when the source could not be read,
// after the "ERROR - " or "Warning - " that says where.
std::string remoteUnreadInMerge(const std::string& writeMode) {
  return std::string("Failed to get remote DR Group state.The DR Mode is ") +
         (writeMode == "asynchronous" ? "Asynchronous" : "Synchronous") +
         ".\n\t\t\t\t"
         "The program cannot determine the number of logs pending.\n\t\t\t\t"
         "The package is NOT allowed to start up.";
}

// ---- What the decision record keeps of the arrays and the waits ----------

// A side's raw properties, as the array reported them.
nlohmann::json sideFields(const ConsistencySetState& cs) {
  return {{"participation", cs.participationType}, {"link", cs.linkState},
          {"log_state", cs.logState},              {"write_mode", cs.writeMode},
          {"failsafe", cs.failSafe},               {"failsafe_lock", cs.failSafeLock},
          {"suspend", cs.suspendMode},             {"full_copy", cs.fullCopyState},
          {"writes", cs.numWrites}};
}

nlohmann::json sideProblem(const char* field, const std::string& text) {
  return {{field, text}};
}

// The outstanding writes when the array's text is a count; null otherwise.
nlohmann::json writeCount(const std::string& text) {
  if (text.empty() || text.size() > 18 ||
      text.find_first_not_of("0123456789") != std::string::npos)
    return nullptr;
  return std::stoull(text);
}

// One wait as the record keeps it: what was waited for, how often it was
// checked again, how long it took by the wall clock, how it ended.
class WaitNote {
 public:
  explicit WaitNote(const char* what) : what_(what), start_(wallClock().now()) {}
  void checked() { ++checks_; }
  void writes(const std::string& text) { writes_.push_back(writeCount(text)); }
  void end(const char* how) {
    nlohmann::json entry = {{"for", what_},
                            {"checks", checks_},
                            {"seconds", static_cast<long>(wallClock().now() - start_)},
                            {"end", how}};
    if (!writes_.empty()) entry["writes"] = writes_;
    decision::add(record::WAITS, std::move(entry));
  }

 private:
  const char* what_;
  std::time_t start_;
  int checks_ = 0;
  nlohmann::json writes_ = nlohmann::json::array();
};

// How a wait ends, in the record.
const char* const END_DONE = "done";
const char* const END_EXPIRED = "expired";          // WAIT_TIME ran out
const char* const END_TIME_LIMIT = "time limit";    // the run's time limit
const char* const END_UNREAD = "unread";            // a check failed to read
const char* const END_FAILED = "failed";            // the failover failed

// ---- The mapping of a DR group side's raw properties onto the state ------
//
// The role comes from the participation type; the replication state from
// the first row of that role's table whose conditions all hold. A row also
// names the lines logged on the way (debug lines and the errors of values
// the table does not know). Absent conditions (ANY, null) always hold.

enum class Mode { ANY, ASYNC, SYNC };  // write mode: "asynchronous" or not
enum class Copy { ANY, YES };          // full copy state "yes"
enum class Writes { ANY, OUTSTANDING };  // see writesOutstanding

enum class LineKind {
  DEBUG,
  NORMAL,
  BAD_LOG_STATE,  // "Error - Unexpected DR log state <log state> detected."
  BAD_LINK,       // "Error - Unexpected YR link state <link> detected."
};
struct MapLine {
  LineKind kind;
  const char* text;
};

struct MapRow {
  const char* logStates;  // "|"-separated list; null: any
  const char* link;       // null: any
  Mode mode;
  Copy copy;
  Writes writes;
  DRRepState repState;
  std::vector<MapLine> lines;
};

struct RoleTable {
  const char* participationType;
  DRRole role;
  const char* line;  // debug line once the role is known
  std::vector<MapRow> rows;
};

MapLine dbg(const char* text) { return {LineKind::DEBUG, text}; }
MapLine msg(const char* text) { return {LineKind::NORMAL, text}; }
const MapLine BAD_LOG_STATE = {LineKind::BAD_LOG_STATE, nullptr};
const MapLine BAD_LINK = {LineKind::BAD_LINK, nullptr};

const char* const ASYNC_LINE = "Write Mode is Asynchronous";
const char* const UNKNOWN_LOG_LINE =
    "Inside ZARNStorageArrayInterface::mapState logState is UNKNOWN";
const char* const NORMAL_FULL_COPY_LINE =
    "Inside ZARNStorageArrayInterface::mapState logState:NORMAL,FULL_COPY_TRUE ";
const char* const GOOD_FULL_COPY_LINE =
    "Inside ZARNStorageArrayInterface::mapState Link:GOOD FULLCOPY:TRUE";
const char* const LOGGING_LINE =
    "Inside the ZARNStorageArrayInterface::mapState logState:LOGGING "
    "TARGET_OUT_DATED";

// The log state getState gives a destination whose source could not be
// read although the link is good. No array reports it (ZARNAPI refuses log
// states it does not know), so it cannot be mistaken for a reading.
const char* const SOURCE_UNREAD = "unread";

const std::vector<RoleTable>& roleTables() {
  using M = Mode;
  using C = Copy;
  using W = Writes;
  static const std::vector<RoleTable> tables = {
      {"source",
       SOURCE,
       "Inside ZARNStorageArrayInterface::mapState ParticipationType:SOURCE",
       {
           // log state     link  mode   copy   writes  -> state
           {"normal", nullptr, M::ANY, C::ANY, W::ANY, SYNCED,
            {dbg("Inside the ZARNStorageArrayInterface::mapState "
                 "logState:NORMAL RepState:SYNCED")}},
           {"logging|merging|deallocating", nullptr, M::ANY, C::ANY, W::ANY,
            TARGET_OUT_DATED, {}},
           {nullptr, nullptr, M::ANY, C::ANY, W::ANY, INVALID, {BAD_LOG_STATE}},
       }},
      {"destination",
       TARGET,
       "Inside the ZARNStorageArrayInterface::mapState ParticipationType is "
       "Destination",
       {
           // The source's log state "normal": a full copy, writes still on
           // their way (asynchronous mode only), or in step.
           {"normal", nullptr, M::ASYNC, C::YES, W::ANY, TRACK_COPY_IN_PROGRESS,
            {dbg(ASYNC_LINE), dbg(NORMAL_FULL_COPY_LINE)}},
           {"normal", nullptr, M::ASYNC, C::ANY, W::OUTSTANDING,
            LOG_COPY_IN_PROGRESS,
            {dbg(ASYNC_LINE),
             dbg("Inside ZARNStorageArrayInterface::mapState logState:NORMAL, "
                 "State:Merging")}},
           {"normal", nullptr, M::ASYNC, C::ANY, W::ANY, SYNCED,
            {dbg(ASYNC_LINE),
             dbg("Inside ZARNStorageArrayInterface::mapState logState:NORMAL "
                 "State:Syncd")}},
           {"normal", nullptr, M::SYNC, C::YES, W::ANY, TRACK_COPY_IN_PROGRESS,
            {dbg(NORMAL_FULL_COPY_LINE)}},
           {"normal", nullptr, M::SYNC, C::ANY, W::ANY, SYNCED,
            {dbg("Inside ZARNStorageArrayInterface::mapState "
                 "logState:NORMAL,FULL_COPY_FALSE. SYNCED")}},
           // "logging": the source logs the writes; with the link good the
           // replication is suspended.
           {"logging", "good", M::ANY, C::ANY, W::ANY, TARGET_OUT_DATED,
            {msg("The replication link of this DR group is in suspend mode."),
             dbg(LOGGING_LINE)}},
           {"logging", nullptr, M::ANY, C::ANY, W::ANY, TARGET_OUT_DATED,
            {dbg(LOGGING_LINE)}},
           {"deallocating", nullptr, M::ANY, C::YES, W::ANY,
            TRACK_COPY_IN_PROGRESS,
            {dbg("Inside ZARNStorageArrayInterface::mapState "
                 "logState:DEALLOCATING FULL_COPY_TRUE ")}},
           {"deallocating", nullptr, M::ANY, C::ANY, W::ANY, TARGET_OUT_DATED,
            {dbg("Inside ZARNStorageArrayInterface::mapState "
                 "logState:DEALLOCATING FULL_COPY_FALSE")}},
           {"merging", nullptr, M::ANY, C::YES, W::ANY, TRACK_COPY_IN_PROGRESS,
            {dbg("Inside the ZARNStorageArrayInterface::mapState "
                 "logState:MERGING FullCopy:TRUE")}},
           {"merging", nullptr, M::ANY, C::ANY, W::ANY, LOG_COPY_IN_PROGRESS,
            {dbg("Inside ZARNStorageArrayInterface::mapState logState:MERGING "
                 "FullCopy:FALSE")}},
           // The source could not be read: its log state may be "logging",
           // so the data here may not be current, whatever the write mode.
           {SOURCE_UNREAD, nullptr, M::ANY, C::ANY, W::ANY, TARGET_OUT_DATED,
            {dbg(UNKNOWN_LOG_LINE),
             dbg("Inside ZARNStorageArrayInterface::mapState Source unread "
                 "State:TARGET_OUT_DATED")}},
           // The source's log state is not known: judged from the link.
           {nullptr, "good", M::ASYNC, C::YES, W::ANY, TRACK_COPY_IN_PROGRESS,
            {dbg(UNKNOWN_LOG_LINE), dbg(ASYNC_LINE), dbg(GOOD_FULL_COPY_LINE)}},
           {nullptr, "good", M::SYNC, C::YES, W::ANY, TRACK_COPY_IN_PROGRESS,
            {dbg(UNKNOWN_LOG_LINE), dbg(GOOD_FULL_COPY_LINE)}},
           {nullptr, "good", M::ASYNC, C::ANY, W::ANY, LOG_COPY_IN_PROGRESS,
            {dbg(UNKNOWN_LOG_LINE), dbg(ASYNC_LINE),
             dbg("Inside ZARNStorageArrayInterface::mapState Link state is "
                 "GOOD"),
             dbg("Since Log State is unknown, Assume that merging is in "
                 "progress")}},
           {nullptr, "good", M::SYNC, C::ANY, W::ANY, SYNCED,
            {dbg(UNKNOWN_LOG_LINE),
             dbg("Inside ZARNStorageArrayInterface::mapState Link:GOOD "
                 "State:SYNCED")}},
           {nullptr, "failed", M::ANY, C::YES, W::ANY, TRACK_COPY_IN_PROGRESS,
            {dbg(UNKNOWN_LOG_LINE),
             dbg("Inside ZARNStorageArrayInterface::mapState Link:FAILED "
                 "State:Copying")}},
           {nullptr, "failed", M::ANY, C::ANY, W::ANY, TARGET_OUT_DATED,
            {dbg(UNKNOWN_LOG_LINE),
             dbg("Inside ZARNStorageArrayInterface::mapState Link:FAILED "
                 "State:TARGET_OUT_DATED")}},
           {nullptr, nullptr, M::ANY, C::ANY, W::ANY, INVALID,
            {dbg(UNKNOWN_LOG_LINE), BAD_LINK}},
       }},
  };
  return tables;
}

bool listed(const char* list, const std::string& text) {
  if (list == nullptr) return true;
  std::string rest = list;
  for (;;) {
    size_t bar = rest.find('|');
    if (rest.substr(0, bar) == text) return true;
    if (bar == std::string::npos) return false;
    rest.erase(0, bar + 1);
  }
}

bool matches(const MapRow& row, const ConsistencySetState& cs) {
  const bool async = cs.writeMode == "asynchronous";
  return listed(row.logStates, cs.logState) &&
         (row.link == nullptr || cs.linkState == row.link) &&
         (row.mode == Mode::ANY || (row.mode == Mode::ASYNC) == async) &&
         (row.copy == Copy::ANY || cs.fullCopyState == "yes") &&
         (row.writes == Writes::ANY || writesOutstanding(cs.numWrites));
}

// Failsafe mode -> absolute currency: the engine refuses groups in
// failsafe mode.
const std::pair<const char*, DRAbsoluteCurrency> FAILSAFE_MODES[] = {
    {"enable", YES}, {"enabled", YES}, {"disable", NO}, {"disabled", NO}};

}  // namespace

ZARNStorageArrayInterface::ZARNStorageArrayInterface(
    std::unique_ptr<ZARNAPI> api)
    : log(Logger::getInstance()),
      zarnApi(std::move(api)),
      array(*zarnApi),
      dataRepState(),
      retryCount(1) {
  log->logDebug("Inside the ZARNStorageArrayInterface constructor");
}

ZARNStorageArrayInterface::ZARNStorageArrayInterface(
    ArrayOperations& operations)
    : log(Logger::getInstance()),
      array(operations),
      dataRepState(),
      retryCount(1) {
  log->logDebug("Inside the ZARNStorageArrayInterface constructor");
}

ZARNStorageArrayInterface::~ZARNStorageArrayInterface() {
  log->logDebug("Inside the ZARNStorageArrayInterface destructor");
}

int ZARNStorageArrayInterface::initialize(const char* envFileName) {
  log->logDebug("Inside the ZARNStorageArrayInterface::initialize method");
  return zarnApi != nullptr ? zarnApi->initialize(envFileName) : 0;
}

void ZARNStorageArrayInterface::logCSState(const char* heading,
                                           const ConsistencySetState& cs) {
  std::string text = heading;
  const std::pair<const char*, const std::string*> lines[] = {
      {"DR Mode: ", &cs.participationType},
      {"Link State: ", &cs.linkState},
      {"Log State: ", &cs.logState},
      {"Failsafe Mode: ", &cs.failSafe},
      {"Failsafe Lock: ", &cs.failSafeLock},
      {"WriteMode: ", &cs.writeMode},
      {"FullCopyState: ", &cs.fullCopyState},
      {"NumWrites: ", &cs.numWrites},
  };
  for (const auto& l : lines) text += "\t\t\t\t" + std::string(l.first) + *l.second + "\n";
  log->log(text);
}

int ZARNStorageArrayInterface::getState(DataRepState& state) {
  log->logDebug("Inside the ZARNStorageArrayInterface::getState method");
  ConsistencySetState local;
  if (array.getLocalCSState(local) != 0) {
    decision::note(record::LOCAL, sideProblem(record::ERROR, array.lastFailure()));
    decision::note(record::REMOTE, sideProblem(record::NOT_READ, "this site's array was not read"));
    return 1;
  }

  // "none": no local SMI-S server could be reached, or the array does not
  // know the group's role; the role stays unknown.
  if (local.participationType != "none") {
    decision::note(record::LOCAL, sideFields(local));
    if (local.participationType == "source")
      noteWritesOutstanding(local.numWrites);
    logCSState("Local DR Group state: \n", local);
    // A destination's own log state says nothing about the data; the
    // source's is taken below, or the state is treated as unknown.
    if (local.participationType == "destination" && local.logState == "normal")
      local.logState = "n/a";

    if (local.linkState == "good") {
      ConsistencySetState remote;
      if (array.getRemoteCSState(remote) != 0) {
        decision::note(record::REMOTE, sideProblem(record::ERROR, array.lastFailure()));
        log->log(
            "Warning - Failed to get remote DR Group state even though the\n"
            "\t\t\t\tstate of YR link is good. Will use local DR group  \n"
            "\t\t\t\tstate only to determine the status of data on this "
            "site.");
        // An unread source is never one in step: the destination's data may
        // not be current.
        if (local.participationType == "destination") local.logState = SOURCE_UNREAD;
      } else {
        decision::note(record::REMOTE, sideFields(remote));
        logCSState("Remote DR Group state: \n", remote);
        if (remote.participationType == local.participationType) {
          log->log(
              "Error - Invalid DR Mode. Both local and remote DR groups are "
              "\n\t\t\t\t \"" +
              local.participationType + "\"");
          return 1;
        }
        if (local.participationType == "destination") {
          noteWritesOutstanding(remote.numWrites);
          local.logState = remote.logState;
          local.suspendMode = remote.suspendMode;
          local.numWrites = remote.numWrites;
        }
        if (local.writeMode == "n/a") local.writeMode = remote.writeMode;
      }
      if (local.writeMode == "n/a") {
        log->log(
            "Source and Target arrays returning WriteMode value as N/A, so "
            "defaulting WriteMode to Synchronous.");
        local.writeMode = "synchronous";
      }
    } else if (local.linkState == "failed") {
      decision::note(record::REMOTE,
                     sideProblem(record::NOT_READ, "the replication link is down"));
      log->log(
          "Warning - Unable to get remote DR group state because the YR link "
          "is \n\t\t\t\tdown. Will use the local DR group state only to "
          "determine the \n\t\t\t\tstatus of data on this site.");
    } else {
      decision::note(record::REMOTE, sideProblem(record::NOT_READ,
                                                 "the replication link's state is unknown"));
      log->log(
          "Warning - Unable to get remote DR group state because the \n"
          "\t\t\t\tstate of YR link is unknown. Will use the local DR group "
          "state \n\t\t\t\tonly to determine the status of data on this "
          "site.");
    }
  } else {
    const std::string why = array.lastFailure();
    decision::note(record::LOCAL, why.empty() ? sideFields(local)
                                              : sideProblem(record::ERROR, why));
    decision::note(record::REMOTE, sideProblem(record::NOT_READ, "this site's array was not read"));
  }

  if (mapState(local, state) != 0) return 1;
  dataRepState = state;
  return 0;
}

void ZARNStorageArrayInterface::noteWritesOutstanding(const std::string& text) {
  nlohmann::json count = writeCount(text);
  if (!count.is_null()) decision::note(record::WRITES_OUTSTANDING, count);
}

int ZARNStorageArrayInterface::mapState(const ConsistencySetState& cs,
                                        DataRepState& state) {
  log->logDebug("Inside the ZARNStorageArrayInterface::mapState method");
  state.writeMode = cs.writeMode == "asynchronous" ? ASYNCHRONOUS : SYNCHRONOUS;

  if (cs.participationType == "none") {
    state.role = UNKNOWN_ROLE;
    log->logDebug(
        "Inside ZARNStorageArrayInterface::mapState participationType="
        "CSS_NONE");
    return 0;
  }
  const RoleTable* table = nullptr;
  for (const RoleTable& t : roleTables())
    if (cs.participationType == t.participationType) table = &t;
  if (table == nullptr) {
    log->log("Error - Unexpected Data Replication mode " +
             cs.participationType + " detected.");
    return 1;
  }
  state.role = table->role;
  log->logDebug(table->line);
  // Every table ends in a row without conditions.
  for (const MapRow& row : table->rows) {
    if (!matches(row, cs)) continue;
    state.repState = row.repState;
    for (const MapLine& line : row.lines) {
      switch (line.kind) {
        case LineKind::DEBUG:
          log->logDebug(line.text);
          break;
        case LineKind::NORMAL:
          log->log(line.text);
          break;
        case LineKind::BAD_LOG_STATE:
          log->log("Error - Unexpected DR log state " + cs.logState +
                   " detected.");
          break;
        case LineKind::BAD_LINK:
          log->log("Error - Unexpected YR link state " + cs.linkState +
                   " detected.");
          break;
      }
    }
    break;
  }

  const auto* mode = std::find_if(
      std::begin(FAILSAFE_MODES), std::end(FAILSAFE_MODES),
      [&cs](const auto& m) { return cs.failSafe == m.first; });
  if (mode == std::end(FAILSAFE_MODES)) {
    log->log("Error - Unexpected DR Group Failsafe mode " + cs.failSafe +
             " detected.");
    return 1;
  }
  state.absoluteCurrency = mode->second;

  // A failsafe lock stops replication whatever the link reports.
  if (cs.failSafeLock == "yes") {
    state.linkState = DOWN;
  } else if (cs.linkState == "good") {
    state.linkState = UP;
  } else if (cs.linkState == "failed") {
    state.linkState = DOWN;
  } else {
    log->log("Error - Unexpected YR link state " + cs.linkState + " detected.");
    state.repState = INVALID;
  }
  return 0;
}

int ZARNStorageArrayInterface::failoverWithRetries() {
  int code = LOCK_COLLISION;
  WaitNote note("lock collision");
  bool slept = false;
  const char* end = END_EXPIRED;
  while (retryCount <= static_cast<int>(MAX_RETRY_COUNT)) {
    char count[32];
    std::snprintf(count, sizeof count, "Failover Count: %2d", retryCount);
    log->log(count);
    code = array.failover();
    if (code != LOCK_COLLISION) {
      end = code == 0 ? END_DONE : END_FAILED;
      break;
    }
    ++retryCount;
    if (!roomForAnotherCheck(false)) {
      end = END_TIME_LIMIT;
      slept = true;  // a wait cut short all the same
      break;
    }
    wallClock().sleep(WAIT_INTERVAL);
    if (retryCount <= static_cast<int>(MAX_RETRY_COUNT)) note.checked();
    slept = true;
  }
  // Tries that never collided are no wait.
  if (slept) note.end(end);
  return code;
}

bool ZARNStorageArrayInterface::roomForAnotherCheck(bool checkIsRead) {
  if (!timelimit::active()) return true;
  const long query = array.queryTimeout();
  const long needed = WAIT_INTERVAL + query + (checkIsRead ? query : 0);
  const long left = timelimit::secondsLeft();
  if (left >= needed) return true;
  log->log("Error - " + timelimit::subject() + " leaves " + std::to_string(left) +
           " seconds, too few\n\t\t\t\tfor another check of the DR group and the "
           "failover after it. The wait ends here.");
  decision::note(record::TIME_LIMIT_HIT, "wait");
  return false;
}

void ZARNStorageArrayInterface::logWaiting(const char* what, long remaining) {
  log->log(std::string(what) +
           "Check again after 60 seconds.\n\t\t\t\t"
           "The remaining wait time is " +
           std::to_string(remaining) + " seconds.");
}

int ZARNStorageArrayInterface::failover(DataRepState& newState) {
  log->logDebug("Inside the ZARNStorageArrayInterface::failover method");
  int code = failoverWithRetries();
  switch (code) {
    case 0:
      log->logDebug("failover operation succeeds");
      return 0;
    case INVALID_DR_STATE:
      log->log(
          "The failover action detected that the DR group is/was in copying "
          "state.");
      newState = dataRepState;
      newState.repState = TRACK_COPY_IN_PROGRESS;
      return 2;
    case DR_GROUP_IS_MERGING:
      log->log(
          "The failover action detected that the DR group is in merging "
          "state.");
      newState = dataRepState;
      newState.repState = LOG_COPY_IN_PROGRESS;
      return 2;
    case STORAGE_SYSTEM_BUSY:
      log->log(
          "Error - The failover action failed due to storage system is busy.");
      return 1;
    default:
      return 1;
  }
}

int ZARNStorageArrayInterface::failoverSwap(int waitTime) {
  log->logDebug("Inside the ZARNStorageArrayInterface::failoverSwap method");
  int code = failoverWithRetries();
  if (code == 0) {
    log->logDebug("failoverSwap operation succeeds");
    return 0;
  }
  if (code == INVALID_DR_STATE) {
    log->log(COPYING);
    if (waitTime == 0) {
      log->log(
          "The WAIT_TIME is 0. The program will not wait for copy operation "
          "complete");
      return 1;
    }
    ConsistencySetState local;
    if (array.getLocalCSState(local) != 0) {
      log->log("Error, Unable to get the Local DR State");
      return 1;
    }
    // A copy towards this site cannot finish while the link is down.
    if (local.linkState == "failed") {
      log->log(
          "Error,Link is down, The program will not wait for copy operation "
          "complete");
      return 1;
    }
  } else if (code == DR_GROUP_IS_MERGING) {
    log->log(MERGING);
    if (waitTime == 0) {
      log->log(
          "The WAIT_TIME is 0. The program will not wait for merging "
          "operation complete");
      return 1;
    }
  } else if (code == STORAGE_SYSTEM_BUSY) {
    log->log("The Storage system is busy");
    if (waitTime == 0) {
      log->log(
          "The WAIT_TIME is 0. The program will not retry the failover "
          "operation");
      return 1;
    }
  } else {
    return 1;
  }

  WaitNote note(code == INVALID_DR_STATE      ? "copy"
                : code == DR_GROUP_IS_MERGING ? "merge"
                                              : "array busy");
  std::time_t now = wallClock().now();
  const std::time_t deadline = now + waitTime;
  while (now < deadline) {
    const char* what;
    if (code == INVALID_DR_STATE)
      what = WAITING_COPY;
    else if (code == DR_GROUP_IS_MERGING)
      what = WAITING_MERGE;
    else if (code == STORAGE_SYSTEM_BUSY)
      what = "Waiting for storage system available. ";
    else if (code == LOCK_COLLISION)
      what = "LOCK_COLLISION .";
    else
      break;
    if (!roomForAnotherCheck(false)) {
      note.end(END_TIME_LIMIT);
      return 1;
    }
    logWaiting(what, static_cast<long>(deadline - now));
    wallClock().sleep(WAIT_INTERVAL);
    now = wallClock().now();
    code = array.failover();
    note.checked();
  }
  if (code == 0) {
    note.end(END_DONE);
    return 0;
  }
  note.end(now < deadline ? END_FAILED : END_EXPIRED);
  log->log(WAIT_EXPIRED);
  return 1;
}

int ZARNStorageArrayInterface::waitForMerging(int waitTime,
                                              std::string startupPolicy) {
  log->logDebug("Inside the ZARNStorageArrayInterface::waitForMerging method");
  ConsistencySetState local;
  if (array.getLocalCSState(local) != 0) {
    log->log("Error.Cannot retrieve the Local CS State.\n\t\t\t\t");
    return 1;
  }
  log->log(MERGING);
  std::string writeMode =
      local.writeMode == "n/a" ? "synchronous" : local.writeMode;

  // While the group merges, the writes logged on the source are not yet on
  // this side in either write mode: without a reading of the source their
  // number is unknown, and a failover now would give them up.
  ConsistencySetState remote;
  if (array.getRemoteCSState(remote) != 0) {
    log->log("ERROR - " + remoteUnreadInMerge(writeMode));
    return 1;
  }
  if (remote.writeMode != "n/a") writeMode = remote.writeMode;

  if (remote.numWrites == "none" || remote.fullCopyState == "n/a") {
    if (writeMode == "asynchronous") {
      log->log(
          "Error.Cannot retrieve the property \"numWrites\".\n\t\t\t\t"
          "The DR Mode is Asynchronous.\n\t\t\t\t"
          "The package is NOT allowed to start up.");
      return 1;
    }
    log->log(
        "Warning - Failed to retrieve the property \"numWrites\" \n\t\t\t\t"
        "The DR Mode is SYNCHRONOUS.The package is allowed to start up.");
    return failoverSwap(waitTime);
  }

  WaitNote note("merge");
  note.writes(remote.numWrites);
  std::time_t now = wallClock().now();
  const std::time_t deadline = now + waitTime;
  bool linkDown = false;
  while (writesOutstanding(remote.numWrites) && now < deadline) {
    if (!roomForAnotherCheck(true)) {
      note.end(END_TIME_LIMIT);
      return 1;
    }
    logWaiting(WAITING_MERGE, static_cast<long>(deadline - now));
    wallClock().sleep(WAIT_INTERVAL);
    now = wallClock().now();
    note.checked();
    ConsistencySetState again;
    if (array.getRemoteCSState(again) != 0) {
      linkDown = true;
      break;
    }
    remote = again;
    note.writes(remote.numWrites);
  }

  if (linkDown) {
    note.end(END_UNREAD);
    log->log("Warning - " + remoteUnreadInMerge(writeMode));
    return 1;
  }
  if (writesOutstanding(remote.numWrites)) {
    note.end(END_EXPIRED);
    if (writeMode != "asynchronous") {
      log->log(WAIT_EXPIRED);
      return 1;
    }
    if (startupPolicy == DATA_CURRENCY_PREFERRED ||
        startupPolicy == REMOTE_PROTECTION_PREFERRED) {
      log->log(
          "The DR Mode is Asynchronous. But the startup policy is Currency "
          "Preferred.\n\t\t"
          "The WAIT_TIME has expired or unexpected error has occurred.the "
          "package is NOT allowed to start up.");
      return 1;
    }
    // Availability first: the writes still on their way are given up.
    const int result = failoverSwap(waitTime);
    if (result == 0) decision::note(record::WRITES_GIVEN_UP, writeCount(remote.numWrites));
    return result;
  }
  note.end(END_DONE);
  return failoverSwap(waitTime);
}

int ZARNStorageArrayInterface::waitForCopying(int waitTime) {
  log->logDebug("Inside the ZARNStorageArrayInterface::waitForCopying method");
  log->log(COPYING);
  ConsistencySetState local;
  if (array.getLocalCSState(local) != 0) {
    log->log(LOCAL_STATE_FAILED);
    return 1;
  }
  if (local.fullCopyState == "none" || local.fullCopyState == "n/a") {
    log->log(
        "Warning - Failed to retrieve the property \"fullCopyState\"."
        "The program will attempt to start up the package.");
    return failoverSwap(waitTime);
  }
  if (waitTime == 0) {
    log->log(
        "The WAIT_TIME is 0. The program will not wait for copying operation "
        "to complete");
    return 1;
  }

  WaitNote note("copy");
  std::time_t now = wallClock().now();
  const std::time_t deadline = now + waitTime;
  while (local.fullCopyState == "yes" && now < deadline) {
    if (!roomForAnotherCheck(true)) {
      note.end(END_TIME_LIMIT);
      return 1;
    }
    logWaiting(WAITING_COPY, static_cast<long>(deadline - now));
    wallClock().sleep(WAIT_INTERVAL);
    now = wallClock().now();
    note.checked();
    if (array.getLocalCSState(local) != 0) {
      note.end(END_UNREAD);
      log->log(LOCAL_STATE_FAILED);
      return 1;
    }
  }
  if (local.fullCopyState == "yes") {
    note.end(END_EXPIRED);
    log->log("The WAIT_TIME has expired.");
    return 1;
  }
  note.end(END_DONE);
  return failoverSwap(waitTime);
}

int ZARNStorageArrayInterface::sourceWriteEnable() {
  log->logDebug(
      "Inside the ZARNStorageArrayInterface::sourceWriteEnable method");
  return array.disableFailsafe() == 0 ? 0 : 1;
}

int ZARNStorageArrayInterface::failback() {
  log->logDebug("Inside the ZARNStorageArrayInterface::failback method");
  return 3;
}

int ZARNStorageArrayInterface::resyncFromTarget() {
  log->logDebug(
      "Inside the ZARNStorageArrayInterface::resyncFromTarget method");
  return 3;
}
