#include "sfcore/core_data_rep.h"

#include <cstdlib>
#include <string>

#include "drif/decision_record.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "sfcore/decision_rules.h"

const char* const FORCEFLAG_FILE = "/FORCEFLAG";

namespace {

const char* const AVAIL = "AVAILABILITY_PREFERRED";
const char* const DATA = "DATA_CURRENCY_PREFERRED";
const char* const REMOTE = "REMOTE_PROTECTION_PREFERRED";

const char* const G1 =
    "The package is not allowed to start on this node.\n\t\t\t\t"
    "It may be possible to start up on the next adoptive node.";
const char* const G2 = "Error - An Unknown YR Link state is detected.";
const char* const G3 =
    "Error - An Unknown Absolute Data Currency state is detected.";
const char* const G4 = "Error - An invalid link state is detected.";
const char* const G5 = "Error - An invalid data replication role is detected.";
const char* const G6 = "Error - An invalid startup policy is detected.";
const char* const G8 =
    "Error - An invalid absolute currency value is detected.";
const char* const D1 = "Error - A SOURCE_OUT_DATED state is detected.";
const char* const D2 = "Error - A UNKNOWN_OUT_DATED state is detected.";
const char* const D3 = "Error - A TRACK_COPY_IN_PROGRESS state is detected.";
const char* const D4 = "Error - A LOG_COPY_IN_PROGRESS state is detected.";
const char* const F1 =
    "FORCEFLAG file exists in the package directory. \n\t\t\t\t"
    "Force the package to start up.";
const char* const I1 =
    "An invalid device group state is detected.\n\t\t\t\t"
    "The package is NOT allowed to start up. \n\t\t\t\t"
    "Fix the problem and restart this package.";
const char* const I2 =
    "An invalid device group state is detected.\n\t\t\t\t"
    "The package is NOT allowed to start up.\n\t\t\t\t"
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
    "group on this site is \"destination\", and the state of the data  "
    "\n\t\t\t\t"
    "is current. The program will attempt to start up the package.";
const char* const T5 =
    "The replication link state is good, the role of the device \n\t\t\t\t"
    "group on this site is \"destination\" and the data Track Copy is \n\t\t\t\t"
    "in progress. Because the WAIT_TIME is set to 0 minute, \n\t\t\t\t"
    "the program will not wait and the package is NOT allowed to start up.";
const char* const T6 =
    "The replication link state is good, the role of the device \n\t\t\t\t"
    "group on this site is \"destination\" and the data Log Copy is \n\t\t\t\t"
    "in progress. Since DR MODE is ASYNCHRONOUS & FORCEFLAG\n\t\t\t\t"
    "is set for CURRENCY_PREFERRED,\n\t\t\t\t"
    "the program will not wait for the logs to merge, attempt to start up the "
    "package.";
const char* const T8 =
    "WAIT_TIME is set to 0 minute\n\t\t\t\t"
    "DR MODE is ASYNCHRONOUS, startupPolicy is AVAILABILITY.\n\t\t\t\t"
    "The program will attempt to start up the package.";
const char* const T9 =
    "FORCEFLAG file exists in the package directory. \n\t\t\t\t"
    "WAIT_TIME is set to 0 minute\n\t\t\t\t"
    "DR MODE is ASYNCHRONOUS,the program will attempt to start up the package.";
const char* const T10 =
    "DR MODE is ASYNCHRONOUS,startupPolicy is CURRENCY_PREFERRED\n\t\t"
    "The replication link state is good,\n\t\t"
    "the role of the device group on this site is \"destination\"\n\t\t\t\t"
    " the data Log Copy is in progress.\n\t\t\t\t"
    "Because the WAIT_TIME is set to 0 minute, \n\t\t\t\t"
    "the program will not wait and the package is NOT allowed to start up.";
const char* const T11 =
    "The replication link state is good, the role of the device \n\t\t\t\t"
    "group on this site is \"destination\" and the data Log Copy is \n\t\t\t\t"
    "in progress. DR MODE is SYNCHRONOUS.\n\t\t\t\t"
    "Because the WAIT_TIME is set to 0 minute, \n\t\t\t\t"
    "the program will not wait and the package is NOT allowed to start up.";
const char* const T16 =
    "The role of the device group on this site is \"destination\". The state "
    "\n\t\t\t\t"
    "of the data may be inconsistent due to replication link is down \n\t\t\t\t"
    "while data copying from source to destination is still in "
    "progress.\n\t\t\t\t"
    "The package is NOT allowed to start up.";

std::string G7(const std::string& policy) {
  return "Error - Invalid startup policy " + policy + ". \n\t\t\t\t" +
         "Change to the correct policy then restart the package.";
}

std::string S2(const std::string& policy) {
  return std::string(
             "The replication link state is good, the role of the device "
             "\n\t\t\t\t"
             "group on this site is \"source\", and the state of the data  "
             "\n\t\t\t\t"
             "is current. The package startup policy is ") +
         policy + ".\n\t\t\t\t" + "The package is allowed to start up.";
}

std::string S3(const std::string& policy) {
  return std::string(
             "The role of the device group on this site is \"source\" and "
             "\n\t\t\t\t"
             "the state of data is current. Even though the state of the "
             "\n\t\t\t\t"
             "replication link is down, because the package startup policy "
             "\n\t\t\t\t"
             "is ") +
         policy + ", the package is allowed to\n\t\t\t\t" + "start up.";
}

std::string S4(const std::string& policy) {
  return std::string(
             "The role of the device group on this site is \"source\" and "
             "\n\t\t\t\t"
             "the state of data is current. Because the state of the "
             "\n\t\t\t\t"
             "replication link is down and the package startup policy "
             "\n\t\t\t\t"
             "is ") +
         policy + ", the package is NOT allowed to\n\t\t\t\t" + "start up.";
}

std::string S5(const std::string& policy) {
  return std::string(
             "The role of the device group on this site is \"source\" and "
             "\n\t\t\t\t"
             "the state of data is current. Even though the state of the "
             "\n\t\t\t\t"
             "replication link is down and the data in the destination site "
             "\n\t\t\t\t"
             "is out-of-sync (non-current), because the package startup "
             "\n\t\t\t\tpolicy is ") +
         policy + ", the package is allowed to start up";
}

std::string T2(const std::string& policy) {
  return std::string(
             "The replication link state is good and the role of the device "
             "\n\t\t\t\t"
             "group on this site is \"destination\". Even though the state of "
             "the \n\t\t\t\t"
             "data may not be current, because the package startup policy is "
             "\n\t\t\t\t ") +
         policy + ", the program will attempt to start up the package.";
}

std::string T3(const std::string& policy) {
  return std::string(
             "The replication link state is good and the role of the device "
             "\n\t\t\t\t"
             "group on this site is \"destination\". Because the state of the "
             "\n\t\t\t\t"
             "data may not be current and the package startup policy is "
             "\n\t\t\t\t ") +
         policy + ", the package is NOT allowed to start up.\n\t\t\t\t" +
         "Either manually resync the data, or force the package to start up "
         "\n\t\t\t\t" +
         "by create the \"FORCEFLAG\" file in the package directory.\n\t\t\t\t" +
         "Then, restart the package.";
}

std::string T4(const std::string& minutes) {
  return std::string(
             "The replication link state is good, the role of the device "
             "\n\t\t\t\t"
             "group on this site is \"destination\" and the data Track Copy "
             "is \n\t\t\t\t"
             "in progress. Because the WAIT_TIME is set to \n\t\t\t\t") +
         minutes + " minutes, the program will wait for completion \n\t\t\t\t" +
         "of the track copy.";
}

std::string T7(const std::string& minutes) {
  return std::string(
             "The replication link state is good, the role of the device "
             "\n\t\t\t\t"
             "group on this site is \"destination\" and the data Log Copy is "
             "\n\t\t\t\t"
             "in progress. Because the WAIT_TIME is set to \n\t\t\t\t") +
         minutes + " minutes, the program will wait for completion\n\t\t\t\t" +
         "of the log copy.";
}

std::string T12(const std::string& policy) {
  return std::string(
             "The role of the device group on this site is \"destination\" "
             "and \n\t\t\t\t"
             "the state of data is current. Even though the state of the "
             "\n\t\t\t\t"
             "replication link is down, because the package startup policy "
             "is \n\t\t\t\t") +
         policy + ", the program will attempt to start up the package.";
}

std::string T13(const std::string& policy) {
  return std::string(
             "The role of the device group on this site is \"destination\" "
             "and \n\t\t\t\t"
             "the state of data is current. Because the state of the "
             "\n\t\t\t\t"
             "replication link is down and the package startup policy "
             "is\n\t\t\t\t") +
         policy + ", the package is NOT allowed to start up.\n\t\t\t\t" +
         "To force the package to start up, create the \"FORCEFLAG\"  "
         "\n\t\t\t\t" +
         "file in the package directory.Then, restart the package.";
}

std::string T14(const std::string& policy) {
  return std::string(
             "The role of the device group on this site is \"destination\". "
             "\n\t\t\t\t"
             "The state of the replication link is down and the state of "
             "\n\t\t\t\t"
             "data may not be current. Because the package startup policy is "
             "\n\t\t\t\t") +
         policy + ", the program will attempt to start up the package.";
}

std::string T15(const std::string& policy) {
  return std::string(
             "The role of the device group on this site is \"destination\". "
             "\n\t\t\t\t"
             "The state of the replication link is down and the state of "
             "\n\t\t\t\t"
             "data may not be current. Because the package startup policy is "
             "\n\t\t\t\t") +
         policy + ", the package is NOT allowed to start up. \n\t\t\t\t" +
         "To force the package to start up, create the \"FORCEFLAG\"  "
         "\n\t\t\t\t" +
         "file in the package directory. Then, restart the package.";
}

// How a message names what is at a path.
const char* kindName(sys::FileKind kind) {
  switch (kind) {
    case sys::FileKind::DIRECTORY: return "a folder";
    case sys::FileKind::LINK: return "a symbolic link";
    case sys::FileKind::FIFO: return "a FIFO";
    case sys::FileKind::DEVICE: return "a device";
    default: return "a special file";
  }
}

const char* roleName(int value) {
  switch (value) {
    case SOURCE: return "SOURCE";
    case TARGET: return "TARGET";
    case UNKNOWN_ROLE: return "UNKNOWN_ROLE";
  }
  return "invalid value";
}

const char* linkName(int value) {
  switch (value) {
    case UP: return "UP";
    case DOWN: return "DOWN";
    case UNKNOWN_LINK_STATE: return "UNKNOWN_LINK_STATE";
  }
  return "invalid value";
}

const char* repStateName(int value) {
  switch (value) {
    case INVALID: return "INVALID";
    case SYNCED: return "SYNCED";
    case TARGET_OUT_DATED: return "TARGET_OUT_DATED";
    case SOURCE_OUT_DATED: return "SOURCE_OUT_DATED";
    case UNKNOWN_OUT_DATED: return "UNKNOWN_OUT_DATED";
    case TRACK_COPY_IN_PROGRESS: return "TRACK_COPY_IN_PROGRESS";
    case LOG_COPY_IN_PROGRESS: return "LOG_COPY_IN_PROGRESS";
  }
  return "invalid value";
}

const char* writeModeName(int value) {
  switch (value) {
    case SYNCHRONOUS: return "SYNCHRONOUS";
    case ASYNCHRONOUS: return "ASYNCHRONOUS";
    case UNKNOWN_WRITEMODE: return "UNKNOWN_WRITEMODE";
  }
  return "invalid value";
}

const char* currencyName(int value) {
  switch (value) {
    case YES: return "YES";
    case NO: return "NO";
    case UNKNOWN_ABSOLUTE_CURRENCY: return "UNKNOWN_ABSOLUTE_CURRENCY";
  }
  return "invalid value";
}

}  // namespace

CoreDataRep::CoreDataRep()
    : sfcoreDebug(std::getenv("SFCORE_DEBUG") != nullptr),
      decidedRule(nullptr),
      env(nullptr),
      sai(nullptr) {
  log->logDebug("Inside the CoreDataRep constructor");
}

CoreDataRep::~CoreDataRep() {
  log->logDebug("Inside the CoreDataRep destructor");
  saiFactory.destroy(sai);
  delete env;
}

Environment* CoreDataRep::getEnvironment() {
  log->logDebug("Inside the CoreDataRep.getEnvironment method");
  return env;
}

bool CoreDataRep::initialize(char* name) {
  log->logDebug("Inside the CoreDataRep::initialize method");
  // Each failure names the rule that ends the run in the decision record.
  auto fail = [this](const char* ruleName, const std::string& message) {
    decision::note(record::RULE, ruleName);
    log->log(message);
    return false;
  };
  if (env == nullptr) env = new CoreEnvironment();
  if (env->initialize() != 0) {
    return fail(rule::ENVIRONMENT_INVALID,
                "Error - (Internal) Failed to initialize environment variable "
                "table.");
  }
  const bool read = env->read(name);
  // The decision record goes to the package directory as soon as one is
  // named, even by an environment that does not validate.
  DecisionRecord* record = DecisionRecord::current();
  if (record != nullptr && env->getPackageDir() != nullptr)
    record->setPackageDir(env->getPackageDir());
  if (!read) {
    return fail(rule::ENVIRONMENT_INVALID,
                std::string("Error - Error found in the environment file ") +
                    (name != nullptr ? name : ""));
  }
  if (env->validate() != 0) {
    return fail(rule::ENVIRONMENT_INVALID,
                "Error - One or more environment variables have not been "
                "set\n\t\t\t\t properly.");
  }
  if (sai == nullptr) sai = saiFactory.create();
  if (sai == nullptr) {
    return fail(rule::ARRAY_SETUP_FAILED,
                "Error - (Internal) Unable to create an object to handle the "
                "storage array interface.");
  }
  if (sai->initialize(name) != 0) {
    return fail(rule::ARRAY_SETUP_FAILED,
                "Error - (Internal) Failed to initialize storage array "
                "interface.");
  }
  return true;
}

int CoreDataRep::prepStorage() {
  log->logDebug("Inside the CoreDataRep::prepStorage method");
  if (sai == nullptr || env == nullptr) return NO_START;

  DataRepState state;
  if (sai->getState(state) != 0) {
    decision::note(record::RULE, rule::STATE_UNREADABLE);
    log->log(std::string("Error - Unable getting the Data Replication state "
                         "or the state\n\t\t\t\t") +
             "is not valid. Fix the problem and then restart the package");
    return NO_START;
  }
  if (sfcoreDebug) dumpDrState(state);
  if (state.absoluteCurrency == YES) {
    decidedRule = rule::FAILSAFE_ENABLED;
    recordDecision(state, &CoreDataRep::noOpNoStartAction);
    log->log(std::string("This version of SF/YRZARN does not support Failsafe "
                         "mode enable.\n\t\t\t\t") +
             "Change Failsafe mode of this DR group to disable, \n\t\t\t\t" +
             "and then restart the package.");
    return NO_START;
  }
  log->log("The configured startup policy for the package is " +
           env->getStartupPolicy());
  funcPtr action = nullptr;
  const int found = getAction(state, action);
  recordDecision(state, found == 0 ? action : nullptr);
  if (found != 0) {
    log->log(std::string("Error - Getting unexpected Data Replication state. "
                         "Fix the \n\t\t\t\t") +
             "problem and then restart the package");
    return NO_START;
  }
  const int result = (this->*action)();
  recordOutcome(result);
  return result;
}

void CoreDataRep::recordDecision(const DataRepState& state, funcPtr action) {
  if (DecisionRecord::current() == nullptr) return;
  decision::note(record::STATE, {{"role", roleName(state.role)},
                                 {"link", linkName(state.linkState)},
                                 {"currency", currencyName(state.absoluteCurrency)},
                                 {"replication", repStateName(state.repState)},
                                 {"write_mode", writeModeName(state.writeMode)}});
  if (decidedRule != nullptr) decision::note(record::RULE, decidedRule);
  const std::pair<funcPtr, const char*> names[] = {
      {&CoreDataRep::noOpSuccessAction, action::START},
      {&CoreDataRep::noOpNoStartAction, action::REFUSE},
      {&CoreDataRep::noOpNoStartCurAction, action::REFUSE_HERE},
      {&CoreDataRep::failoverSwapAction, action::FAILOVER},
      {&CoreDataRep::waitForCopyAction, action::WAIT_FOR_COPY},
      {&CoreDataRep::waitForMergeAction, action::WAIT_FOR_MERGE},
  };
  const char* name = action::NONE;
  for (const auto& n : names)
    if (action != nullptr && action == n.first) name = n.second;
  decision::note(record::ACTION, name);
}

void CoreDataRep::recordOutcome(int result) {
  DecisionRecord* record = DecisionRecord::current();
  if (record == nullptr || result != SUCCESS || decidedRule == nullptr) return;
  const DecisionRule* applied = findRule(decidedRule);
  if (applied == nullptr || !applied->givesUpWrites || record->has(record::WRITES_GIVEN_UP))
    return;
  // Unknown when the source could not be read: null, never 0.
  const nlohmann::json& fields = record->fields();
  record->set(record::WRITES_GIVEN_UP, fields.contains(record::WRITES_OUTSTANDING)
                                            ? fields[record::WRITES_OUTSTANDING]
                                            : nlohmann::json(nullptr));
}

void CoreDataRep::dumpDrState(const DataRepState& state) {
  std::string text = "Data Replication State: ";
  text += std::string("\n\tRole: ") + roleName(state.role);
  text += std::string("\n\tLinkState: ") + linkName(state.linkState);
  text += std::string("\n\tRepState: ") + repStateName(state.repState);
  text += std::string("\n\tAbsoluteCurrency: ") +
          currencyName(state.absoluteCurrency);
  text += "\n";
  log->log(text);
}

int CoreDataRep::choose(funcPtr& action, funcPtr chosen, const char* ruleName) {
  action = chosen;
  decidedRule = ruleName;
  return 0;
}

int CoreDataRep::noAction(const char* ruleName) {
  decidedRule = ruleName;
  return 1;
}

int CoreDataRep::getAction(const DataRepState& drState, funcPtr& action) {
  log->logDebug("Inside the CoreDataRep::getAction method");
  if (drState.role == UNKNOWN_ROLE) {
    log->log(G1);
    return choose(action, &CoreDataRep::noOpNoStartCurAction, rule::ROLE_UNKNOWN);
  }
  if (drState.linkState == UNKNOWN_LINK_STATE) {
    log->log(G2);
    return noAction(rule::LINK_UNKNOWN);
  }
  if (drState.absoluteCurrency == UNKNOWN_ABSOLUTE_CURRENCY) {
    log->log(G3);
    return noAction(rule::CURRENCY_UNKNOWN);
  }
  if (drState.role == SOURCE) {
    if (drState.linkState == UP) {
      log->logDebug("Inside CoreDataRep::getAction method drState.role == "
                    "SOURCE drState.linkState == UP");
      return sourceLinkUp(drState, action);
    }
    if (drState.linkState == DOWN) {
      log->logDebug("Inside CoreDataRep::getAction method drState.role == "
                    "SOURCE drState.linkState == DOWN");
      return sourceLinkDown(drState, action);
    }
    log->log(G4);
    return noAction(rule::LINK_INVALID);
  }
  if (drState.role == TARGET) {
    if (drState.linkState == UP) {
      log->logDebug("Inside CoreDataRep::getAction method drState.role == "
                    "TARGET drState.linkState == UP");
      return targetLinkUp(drState, action);
    }
    if (drState.linkState == DOWN) {
      log->logDebug("Inside CoreDataRep::getAction method drState.role == "
                    "TARGET drState.linkState == DOWN");
      return targetLinkDown(drState, action);
    }
    log->log(G4);
    return noAction(rule::LINK_INVALID);
  }
  log->log(G5);
  return noAction(rule::ROLE_INVALID);
}

// The rows of states a side cannot be in: a debug line and no action.
int CoreDataRep::unexpectedState(int repState, const char* ruleName) {
  switch (repState) {
    case SOURCE_OUT_DATED: log->logDebug(D1); break;
    case UNKNOWN_OUT_DATED: log->logDebug(D2); break;
    case TRACK_COPY_IN_PROGRESS: log->logDebug(D3); break;
    default: log->logDebug(D4); break;
  }
  return noAction(ruleName);
}

int CoreDataRep::sourceLinkUp(const DataRepState& drState, funcPtr& action) {
  const std::string policy = env->getStartupPolicy();
  switch (drState.repState) {
    case SYNCED:
      log->log(S1);
      return choose(action, &CoreDataRep::noOpSuccessAction, rule::SRC_UP_SYNCED);
    case TARGET_OUT_DATED:
      if (policy == AVAIL || policy == DATA) {
        log->log(S2(policy));
        return choose(action, &CoreDataRep::noOpSuccessAction, rule::SRC_UP_BEHIND);
      }
      log->log(G7(policy));
      if (policy != REMOTE) return noAction(rule::SRC_UP_POLICY_INVALID);
      return choose(action, &CoreDataRep::noOpNoStartAction, rule::SRC_UP_BEHIND_REFUSED);
    case SOURCE_OUT_DATED:
    case UNKNOWN_OUT_DATED:
    case TRACK_COPY_IN_PROGRESS:
    case LOG_COPY_IN_PROGRESS:
      return unexpectedState(drState.repState, rule::SRC_UP_UNEXPECTED);
    default:
      log->log(I1);
      return choose(action, &CoreDataRep::noOpNoStartAction, rule::SRC_UP_INVALID);
  }
}

int CoreDataRep::sourceLinkDown(const DataRepState& drState, funcPtr& action) {
  const std::string policy = env->getStartupPolicy();
  switch (drState.repState) {
    case SYNCED:
    case TARGET_OUT_DATED: {
      // Only these rows depend on the currency of the data.
      if (drState.absoluteCurrency != NO) {
        log->log(G8);
        return noAction(rule::SRC_DOWN_CURRENCY_INVALID);
      }
      bool synced = drState.repState == SYNCED;
      if (policy == AVAIL || policy == DATA) {
        log->log(synced ? S3(policy) : S5(policy));
        return choose(action, &CoreDataRep::noOpSuccessAction,
                      synced ? rule::SRC_DOWN_SYNCED : rule::SRC_DOWN_BEHIND);
      }
      log->log(synced && policy == REMOTE ? S4(policy) : G7(policy));
      if (policy != REMOTE) return noAction(rule::SRC_DOWN_POLICY_INVALID);
      return choose(action, &CoreDataRep::noOpNoStartAction,
                    synced ? rule::SRC_DOWN_SYNCED_REFUSED : rule::SRC_DOWN_BEHIND_REFUSED);
    }
    case SOURCE_OUT_DATED:
    case UNKNOWN_OUT_DATED:
    case TRACK_COPY_IN_PROGRESS:
    case LOG_COPY_IN_PROGRESS:
      return unexpectedState(drState.repState, rule::SRC_DOWN_UNEXPECTED);
    default:
      log->log(I2);
      return choose(action, &CoreDataRep::noOpNoStartAction, rule::SRC_DOWN_INVALID);
  }
}

int CoreDataRep::targetLinkUp(const DataRepState& drState, funcPtr& action) {
  const std::string policy = env->getStartupPolicy();
  const int waitTime = env->getWaitTime();
  const std::string minutes = std::to_string(waitTime / 60);
  const bool async = drState.writeMode == ASYNCHRONOUS;
  switch (drState.repState) {
    case SYNCED:
      log->log(T1);
      return choose(action, &CoreDataRep::failoverSwapAction, rule::DST_UP_SYNCED);
    case TARGET_OUT_DATED:
      if (policy == AVAIL) {
        log->log(T2(policy));
        return choose(action, &CoreDataRep::failoverSwapAction, rule::DST_UP_BEHIND);
      }
      if (policy == DATA || policy == REMOTE) {
        if (checkForceFlag()) {
          log->log(F1);
          return choose(action, &CoreDataRep::failoverSwapAction, rule::DST_UP_BEHIND_FORCED);
        }
        log->log(T3(policy));
        return choose(action, &CoreDataRep::noOpNoStartAction, rule::DST_UP_BEHIND_REFUSED);
      }
      log->log(G6);
      return noAction(rule::DST_UP_BEHIND_POLICY_INVALID);
    case SOURCE_OUT_DATED:
    case UNKNOWN_OUT_DATED:
      return unexpectedState(drState.repState, rule::DST_UP_UNEXPECTED);
    case TRACK_COPY_IN_PROGRESS:
      if (waitTime > NO_WAIT) {
        log->log(T4(minutes));
        return choose(action, &CoreDataRep::waitForCopyAction, rule::DST_UP_COPYING_WAIT);
      }
      log->log(T5);
      return choose(action, &CoreDataRep::noOpNoStartCurAction, rule::DST_UP_COPYING_NO_WAIT);
    case LOG_COPY_IN_PROGRESS:
      if (waitTime > NO_WAIT) {
        if (async && (policy == DATA || policy == REMOTE) && checkForceFlag()) {
          log->log(T6);
          return choose(action, &CoreDataRep::failoverSwapAction, rule::DST_UP_MERGING_FORCED);
        }
        log->log(T7(minutes));
        return choose(action, &CoreDataRep::waitForMergeAction, rule::DST_UP_MERGING_WAIT);
      }
      if (!async) {
        log->log(T11);
        return choose(action, &CoreDataRep::noOpNoStartCurAction,
                      rule::DST_UP_MERGING_SYNC_NO_WAIT);
      }
      if (policy == AVAIL) {
        log->log(T8);
        return choose(action, &CoreDataRep::failoverSwapAction, rule::DST_UP_MERGING_NO_WAIT);
      }
      if (policy == DATA || policy == REMOTE) {
        if (checkForceFlag()) {
          log->log(T9);
          return choose(action, &CoreDataRep::failoverSwapAction,
                        rule::DST_UP_MERGING_NO_WAIT_FORCED);
        }
        log->log(T10);
        return choose(action, &CoreDataRep::noOpNoStartCurAction,
                      rule::DST_UP_MERGING_NO_WAIT_REFUSED);
      }
      log->log(G6);
      return noAction(rule::DST_UP_MERGING_POLICY_INVALID);
    default:
      log->log(I2);
      return choose(action, &CoreDataRep::noOpNoStartAction, rule::DST_UP_INVALID);
  }
}

int CoreDataRep::targetLinkDown(const DataRepState& drState, funcPtr& action) {
  const std::string policy = env->getStartupPolicy();
  switch (drState.repState) {
    case SYNCED:
      if (policy == AVAIL || policy == DATA) {
        log->log(T12(policy));
        return choose(action, &CoreDataRep::failoverSwapAction, rule::DST_DOWN_SYNCED);
      }
      if (policy == REMOTE) {
        if (checkForceFlag()) {
          log->log(F1);
          return choose(action, &CoreDataRep::failoverSwapAction, rule::DST_DOWN_SYNCED_FORCED);
        }
        log->log(T13(policy));
        return choose(action, &CoreDataRep::noOpNoStartAction, rule::DST_DOWN_SYNCED_REFUSED);
      }
      log->log(G6);
      return noAction(rule::DST_DOWN_SYNCED_POLICY_INVALID);
    case TARGET_OUT_DATED:
    case LOG_COPY_IN_PROGRESS: {
      const bool merging = drState.repState == LOG_COPY_IN_PROGRESS;
      if (policy == AVAIL) {
        log->log(T14(policy));
        if (merging)
          return choose(action, &CoreDataRep::waitForMergeAction, rule::DST_DOWN_MERGING_WAIT);
        return choose(action, &CoreDataRep::failoverSwapAction, rule::DST_DOWN_BEHIND);
      }
      if (policy == DATA) {
        if (checkForceFlag()) {
          log->log(F1);
          return choose(action, &CoreDataRep::failoverSwapAction,
                        merging ? rule::DST_DOWN_MERGING_FORCED : rule::DST_DOWN_BEHIND_FORCED);
        }
        log->log(T15(policy));
        return choose(action, &CoreDataRep::noOpNoStartAction,
                      merging ? rule::DST_DOWN_MERGING_REFUSED : rule::DST_DOWN_BEHIND_REFUSED);
      }
      log->log(G6);
      return noAction(merging ? rule::DST_DOWN_MERGING_POLICY_INVALID
                              : rule::DST_DOWN_BEHIND_POLICY_INVALID);
    }
    case SOURCE_OUT_DATED:
    case UNKNOWN_OUT_DATED:
      return unexpectedState(drState.repState, rule::DST_DOWN_UNEXPECTED);
    case TRACK_COPY_IN_PROGRESS:
      log->log(T16);
      return choose(action, &CoreDataRep::noOpNoStartAction, rule::DST_DOWN_COPYING);
    default:
      log->log(I3);
      return choose(action, &CoreDataRep::noOpNoStartAction, rule::DST_DOWN_INVALID);
  }
}

bool CoreDataRep::checkForceFlag() {
  log->logDebug("Inside the CoreDataRep::checkForceFlag method");
  const char* dir = env->getPackageDir();
  std::string path = std::string(dir != nullptr ? dir : "") + FORCEFLAG_FILE;
  sys::Files* files = sys::platform().files;
  // Only a regular file counts. Anything else in its place (a link, a FIFO
  // that would block the reader, a device, a folder) is never opened.
  const sys::FileKind kind = files->kindOf(path);
  if (kind != sys::FileKind::REGULAR && kind != sys::FileKind::MISSING) {
    log->log("Error - " + path + " is " + kindName(kind) +
             ", not a regular file.\n\t\t\t\tIt is ignored; only a regular "
             "FORCEFLAG file forces the package to start up.");
    return false;
  }
  if (kind == sys::FileKind::MISSING || !files->canOpenForRead(path)) {
    log->logDebug("No FORCEFLAG file");
    return false;
  }
  if (preview) {
    // A preview changes nothing: the start that follows will need the file.
    decision::note(record::FORCEFLAG, FORCEFLAG_PRESENT);
    log->log("The FORCEFLAG file exists and would be used. In preview mode "
             "it is kept.");
    return true;
  }
  decision::note(record::FORCEFLAG, FORCEFLAG_USED);
  log->log("The FORCEFLAG file exists. It will be removed.");
  if (!files->remove(path)) {
    log->log("Warning - Failed to remove the FORCEFLAG file. Try to manually "
             "remove it.");
  }
  return true;
}

int CoreDataRep::noOpSuccessAction() {
  if (sfcoreDebug) log->log("Action: noOpSuccessAction");
  log->logDebug("Inside the CoreDataRep::noOpSuccessAction method");
  return SUCCESS;
}

int CoreDataRep::noOpNoStartAction() {
  if (sfcoreDebug) log->log("Action: noOpNoStartAction");
  log->logDebug("Inside the CoreDataRep::noOpNoStartAction method");
  return NO_START;
}

int CoreDataRep::noOpNoStartCurAction() {
  if (sfcoreDebug) log->log("Action: noOpNoStartCurAction");
  log->logDebug("Inside the CoreDataRep::noOpNoStartCurAction method");
  return NO_START_CUR;
}

int CoreDataRep::failoverSwapAction() {
  log->logDebug("Inside the CoreDataRep::failoverSwapAction method");
  if (!arrayActionReady()) return NO_START;
  return failoverDone(sai->failoverSwap(env->getWaitTime()));
}

int CoreDataRep::waitForCopyAction() {
  log->logDebug("Inside the CoreDataRep::waitForCopyAction method");
  if (!arrayActionReady()) return NO_START;
  return failoverDone(sai->waitForCopying(env->getWaitTime()));
}

int CoreDataRep::waitForMergeAction() {
  log->logDebug("Inside the CoreDataRep::waitForMergeAction method");
  if (!arrayActionReady()) return NO_START;
  int waitTime = env->getWaitTime();
  return failoverDone(sai->waitForMerging(waitTime, env->getStartupPolicy()));
}

bool CoreDataRep::arrayActionReady() {
  if (sai == nullptr) {
    log->log("Error - (Internal) StorageArrayInterface object has not been "
             "created.");
    return false;
  }
  if (env == nullptr) {
    log->log("Error - (Internal) Environment object has not been created.");
    return false;
  }
  return true;
}

int CoreDataRep::failoverDone(int result) {
  if (result == 0 || result == 3) {
    env->setSwitch(true);
    log->log(std::string("Failover and swap the role of the device group "
                         "successful.\n\t\t\t\t") +
             "Replication is started in opposite direction between new "
             "\n\t\t\t\t" +
             "source and destination. The package is allowed to start up.");
    return SUCCESS;
  }
  log->log(std::string("Error - Failed to failover and swap the role of the "
                       "device group.\n\t\t\t\t") +
           "The package is NOT allowed to start up.");
  return NO_START;
}
