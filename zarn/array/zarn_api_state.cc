// ZARNAPI: reading the DR group's state on the local and the remote array.
#include <exception>
#include <string>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/instance.h"
#include "drif/decision_record.h"
#include "drif/logger.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/smis_exceptions.h"
#include "zarn/smis/smis_server.h"
#include "zarn/array/zarn_api.h"

namespace {

// Property texts end up in the package log; a control character from the
// server is kept escaped, so that a value can never start a log line of its
// own. No value the state mapping knows holds one.

// The text of a property the instance must have (else the client throws).
std::string mandatory(const cim::Instance& instance, const char* name) {
  return cim::escapeControl(instance.getProperty(name).getValue().getString());
}

std::string optional(const cim::Instance& instance, const char* name,
                     const char* absent) {
  if (!instance.hasProperty(name)) return absent;
  return cim::escapeControl(instance.getProperty(name).getValue().getString());
}

bool isOneOf(const std::string& text,
             std::initializer_list<const char*> accepted) {
  for (const char* a : accepted)
    if (text == a) return true;
  return false;
}

// " host" when a server was chosen, else nothing.
std::string hostPart(SMISServer* server) {
  return server != nullptr ? " " + server->getHostname() : std::string();
}

}  // namespace

void ZARNAPI::readCSState(SMISServer* smisSrv, const cim::ObjectPath& path,
                          ConsistencySetState& csState) {
  cim::Instance group = smisSrv->getCIMClient().getInstance(
      smisSrv->getCimNamespace(), path, /*localOnly=*/true,
      /*includeQualifiers=*/false, /*includeClassOrigin=*/false);
  csState.participationType = mandatory(group, schema::PARTICIPATION_TYPE);
  csState.linkState = mandatory(group, schema::LINK_STATE);
  csState.logState = mandatory(group, schema::LOG_STATE);
  csState.failSafe = mandatory(group, schema::FAIL_SAFE);
  csState.failSafeLock = optional(group, schema::FAIL_SAFE_LOCK, "none");
  csState.suspendMode = optional(group, schema::SUSPEND, "none");
  csState.writeMode = optional(group, schema::WRITE_MODE, "n/a");
  csState.fullCopyState = optional(group, schema::FULL_COPY_STATE, "none");
  csState.numWrites = optional(group, schema::TOTAL_TRANSMIT, "none");
  validateDrgProperty(csState);
}

int ZARNAPI::getLocalCSState(ConsistencySetState& csState) {
  log->logDebug("Inside the ZARNAPI::getLocalCSState method");
  SMISServer* server = nullptr;
  try {
    std::string storageName = zarnEnv.getLocalStorageName();
    std::string drGrpName = zarnEnv.getDRGroupName();
    server = findSMISServer(false);
    keepLocalCSObjectPath(server, storageName, drGrpName);
    readCSState(server, localCSObjectPath, csState);
    return 0;
  } catch (const NoSMISServerException& e) {
    // No local server at all: the caller decides from the local view alone.
    noteFailure("local state", nullptr, e.getMessage());
    log->log("Error - Failed to get DR group state. \n\t\t\t\t" + e.getMessage());
    csState.participationType = "none";
    return 0;
  } catch (const std::exception&) {
    return logFailure("local state", server,
                      "Error - Query timeout during the getting local DR Group "
                      "\n\t\t\t\tstate from the SMI-S ",
                      "", "Error - Failed to get local DR group state from the SMI-S");
  }
}

int ZARNAPI::getRemoteCSState(ConsistencySetState& csState) {
  log->logDebug("Inside the ZARNAPI::getRemoteCSState method");
  SMISServer* server = nullptr;
  try {
    std::string storageName = zarnEnv.getRemoteStorageName();
    std::string drGrpName = zarnEnv.getDRGroupName();
    // One provider sees both arrays: the local data centre's server.
    server = findSMISServer(false);
    cim::ObjectPath path = findCSObjectPath(server, storageName, drGrpName, useIDMap);
    readCSState(server, path, csState);
    return 0;
  } catch (const std::exception&) {
    return logFailure("remote state", server,
                      "Warning - Query timeout during getting remote DR Group "
                      "\n\t\t\t\tstate from the SMI-S ",
                      "", "Warning - Failed to get remote DR group state from the SMI-S");
  }
}

int ZARNAPI::logFailure(const char* request, SMISServer* server,
                        const std::string& timeoutHead, const std::string& timeoutTail,
                        const std::string& failed) {
  try {
    throw;
  } catch (const cim::ConnectionTimeoutException& e) {
    noteFailure(request, server, e.getMessage());
    log->log(timeoutHead + (server != nullptr ? server->getHostname() : std::string()) +
             timeoutTail);
    if (server != nullptr) server->setState(TIMEOUT);
  } catch (const cim::Exception& e) {
    noteFailure(request, server, e.getMessage());
    log->log(failed + hostPart(server) + ";\n\t\t\t\t" + e.getMessage());
  } catch (const std::exception& e) {
    noteFailure(request, server, e.what());
    log->log(failed + hostPart(server) + ";\n\t\t\t\t" + e.what());
  }
  return 1;
}

void ZARNAPI::noteFailure(const char* request, SMISServer* server,
                          const std::string& reason) {
  lastFailureText = oneLine(reason);
  nlohmann::json entry = {{"request", request}, {"error", lastFailureText}};
  if (server != nullptr) entry["server"] = server->getHostname();
  decision::add(record::FAILURES, std::move(entry));
}

int ZARNAPI::queryTimeout() {
  return SMISQueryTime != 0 ? SMISQueryTime : zarnEnv.getQueryTimeout();
}

int ZARNAPI::validateDrgProperty(const ConsistencySetState& csState) {
  log->logDebug("Inside the ZARNAPI::validateDrgProperty method");
  std::string unexpected;
  auto check = [&unexpected](const std::string& text, const char* name,
                             std::initializer_list<const char*> accepted) {
    if (!isOneOf(text, accepted))
      unexpected += std::string("\n\t\t\t\t") + name + ": " + text;
  };
  check(csState.participationType, "DR Mode", {"source", "destination"});
  check(csState.linkState, "Link State", {"good", "failed", "unknown"});
  check(csState.logState, "Log State",
        {"normal", "logging", "merging", "deallocating", "unknown", "n/a"});
  check(csState.failSafe, "Failsafe Mode",
        {"enable", "disable", "enabled", "disabled"});
  check(csState.writeMode, "Write Mode", {"synchronous", "asynchronous", "n/a"});
  if (!unexpected.empty())
    throw InstanceException("Receive unexpected DR group property value." +
                            unexpected);
  return 0;
}
