// ZARNAPI: the operations that change the DR group on the array.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/instance.h"
#include "drif/data_rep.h"
#include "drif/decision_record.h"
#include "drif/logger.h"
#include "drif/time_limit.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/smis_server.h"
#include "zarn/array/zarn_api.h"

namespace {

const char* const INVALID_CODE_TYPE =
    "Error - SMI-S returned an invalid failover status code data type.";

const char* const FAILOVER_UNANSWERED =
    "Warning - No answer to the failover came back; the array may have "
    "carried it out.\n\t\t\t\tCheck the state of the DR group with "
    "ZARNGetDRState before the package is started again.";

// Whether the exception being handled is the provider's own answer to the
// request (a CIM error). Anything else once FastFailover is out (a closed
// connection, a time-out, an HTTP error, an unreadable answer) leaves it
// unknown whether the array carried it out.
bool providerAnswered() {
  try {
    throw;
  } catch (const cim::CIMException&) {
    return true;
  } catch (...) {
    return false;
  }
}

long millisecondsSince(std::chrono::steady_clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

}  // namespace

int ZARNAPI::failover() {
  log->logDebug("Inside the ZARNAPI::failover method");
  SMISServer* server = nullptr;
  std::chrono::steady_clock::time_point sentAt;
  try {
    std::string storageName = zarnEnv.getLocalStorageName();
    std::string drGrpName = zarnEnv.getDRGroupName();
    server = findSMISServer(false);
    if (!validLocalRSObjectPath) {
      localRSObjectPath = findServiceObjectPath(server, storageName);
      validLocalRSObjectPath = true;
    }
    keepLocalCSObjectPath(server, storageName, drGrpName);
    std::vector<cim::ParamValue> inParams = {
        cim::ParamValue(schema::FAILOVER_KEY, cim::Value(QNKey), true),
        cim::ParamValue(schema::FAILOVER_GROUP,
                        cim::Value(std::vector<std::string>{
                            localCSObjectPath.toString()}),
                        true),
    };
    std::vector<cim::ParamValue> outParams;

    // The answer may take a whole query time-out: a failover is begun only
    // when the run's time limit leaves that much.
    if (!preview && timelimit::active() && timelimit::secondsLeft() < queryTimeout()) {
      log->log("Error - " + timelimit::subject() + " leaves " +
               std::to_string(timelimit::secondsLeft()) + " seconds, less than\n\t\t\t\t"
               "the query time-out (" + std::to_string(queryTimeout()) +
               " seconds) the failover's answer may take.\n\t\t\t\t"
               "The failover is not begun.");
      decision::note(record::TIME_LIMIT_HIT, "failover");
      return 1;
    }
    queryState = QS_FAILOVER_START;
    sentAt = std::chrono::steady_clock::now();
    std::uint32_t code = 0;
    if (preview) {
      log->log("In preview mode");
    } else {
      cim::Value result = server->getCIMClient().invokeMethod(
          server->getCimNamespace(), localRSObjectPath, schema::FAST_FAILOVER,
          inParams, outParams);
      code = result.getUint32();
    }
    queryState = QS_FAILOVER_DONE;
    log->logDebug("FastFailover return code: " + std::to_string(code));
    nlohmann::json sent = {{"code", code}, {"ms", millisecondsSince(sentAt)}};
    if (code == 0) {
      if (!preview) decision::add(record::FAILOVERS, std::move(sent));
      return 0;
    }

    // The reason of a refusal is the first element of the first output
    // parameter; without one there is no code to act on.
    if (outParams.empty() || !outParams.front().getValue().isArray() ||
        outParams.front().getValue().getUint32Array().empty()) {
      sent["refusal"] = nullptr;
      decision::add(record::FAILOVERS, std::move(sent));
      log->log(INVALID_CODE_TYPE);
      return 1;
    }
    std::vector<std::uint32_t> codes = outParams.front().getValue().getUint32Array();
    sent["refusal"] = codes.front();
    decision::add(record::FAILOVERS, std::move(sent));
    // A refusal whose code says "no error" is still a refusal: the roles
    // did not swap, so it must never read as a successful failover.
    int reason = checkErrorCode(static_cast<int>(codes.front()));
    return reason != 0 ? reason : 1;
  } catch (const std::exception&) {
    // Once FastFailover is out, a time-out may hide a failover done; so may
    // any failure that is not the provider's answer. The request is never
    // sent again (the CIM client sends a method call at most once): the
    // operator is told to look.
    const bool unanswered = queryState == QS_FAILOVER_START && !providerAnswered();
    logFailure("failover", server,
               "Error - Query timeout during the Failover of DR Group "
               "\n\t\t\t\tusing the SMI-S",
               queryState == QS_FAILOVER_START
                   ? ". The Failover action may succeed.\n\t\t\t\t"
                     "Check the actual state of the DR Group and restart "
                     "\n\t\t\t\tthe package."
                   : "",
               "Error - Failed to failover the DR group using the SMI-S");
    if (queryState == QS_FAILOVER_START) {
      // Sent: the record keeps it, without a code (no answer, or a CIM
      // error instead of one).
      decision::add(record::FAILOVERS, {{"code", nullptr},
                                        {"ms", millisecondsSince(sentAt)},
                                        {"answered", !unanswered},
                                        {"error", lastFailure()}});
    }
    if (unanswered) log->log(FAILOVER_UNANSWERED);
    return 1;
  }
}

int ZARNAPI::disableFailsafe() {
  log->logDebug("Inside the ZARNAPI::disableFailsafe method");
  SMISServer* server = nullptr;
  try {
    std::string storageName = zarnEnv.getLocalStorageName();
    std::string drGrpName = zarnEnv.getDRGroupName();
    server = findSMISServer(false);
    keepLocalCSObjectPath(server, storageName, drGrpName);
    queryState = QS_DISABLE_FAILSAFE_START;
    server->getCIMClient().setProperty(server->getCimNamespace(),
                                       localCSObjectPath, schema::FAIL_SAFE,
                                       cim::Value(schema::FAIL_SAFE_DISABLE));
    queryState = QS_DISABLE_FAILSAFE_DONE;
    return 0;
  } catch (const cim::ConnectionTimeoutException&) {
    if (queryState == QS_DISABLE_FAILSAFE_START) {
      log->log(
          "Error - Query timeout during the disabling Failsafe mode of the DR "
          "Group.\n\t\t\tThe action may succeed. Please check the actual "
          "state of the DR Group\n\t\t\t and you may want to startup the "
          "application again.");
    } else {
      log->log("Error - Query timeout.");
    }
    if (server != nullptr) server->setState(TIMEOUT);
  } catch (const cim::Exception& e) {
    log->log("Error - " + e.getMessage());
  } catch (const std::exception& e) {
    log->log(std::string("Error - ") + e.what());
  }
  return 1;
}

int ZARNAPI::checkErrorCode(int errorCode) {
  log->logDebug("Inside the ZARNAPI::checkErrorCode method");
  switch (errorCode) {
    case INVALID_DR_STATE:
    case DR_GROUP_IS_MERGING:
    case STORAGE_SYSTEM_BUSY:
      break;  // the failover procedures wait on these
    case INVALID_DR_MODE:
      log->log("Error - The DR group is in invalid DR mode for failover.");
      break;
    case CONNECTION_SUSPENDED:
      log->log(
          "Error - The replication link is in suspend mode. The DR group can "
          "not be failed over.\n\t\t\t\tResume the replication link for this "
          "DR group and restart the package.");
      break;
    case LOCK_COLLISION:
      log->log("Error - LOCK COLLISION. Retry the failover operation");
      break;
    default: {
      char text[96];
      std::snprintf(text, sizeof text,
                    "Error - Unexpected error. The error code from SMI-S "
                    "service is 0x%x",
                    static_cast<unsigned>(errorCode));
      log->log(text);
    }
  }
  return errorCode;
}
