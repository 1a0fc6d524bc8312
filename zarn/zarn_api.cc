#include "zarn/zarn_api.h"

#include <vector>

#include "drif/logger.h"

ZARNAPI::ZARNAPI()
    : SMISQueryTime(0),
      log(Logger::getInstance()),
      smisServer(nullptr),
      useIDMap(true),
      validStorageObjectPathList(false),
      validLocalCSObjectPath(false),
      validLocalRSObjectPath(false),
      QNKey("MXRud"),
      queryState(QS_NONE) {
  log->logDebug("Inside the ZARNAPI constructor");
}

ZARNAPI::~ZARNAPI() { log->logDebug("Inside the ZARNAPI destructor"); }

void ZARNAPI::setMapFileName(const std::string& path) {
  smisMgr.setFileName(path);
  idMap.setFileName(path);
}

int ZARNAPI::initialize(const char* envName) {
  log->logDebug("Inside the ZARNAPI::initialize method");
  if (zarnEnv.initialize() != 0) {
    log->log(
        "Error - (Internal) Failed to initialize YRZARN environment variable "
        "table.");
    return 1;
  }
  std::string name = envName != nullptr ? envName : "";
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  if (!zarnEnv.read(buffer.data())) {
    log->log("Error - Error found in environment file " + name);
    return 1;
  }
  if (zarnEnv.validate() != 0) {
    log->log(
        "Error - One or more YRZARN environment variables have not\n\t\t\t\t"
        "been set properly.");
    return 1;
  }
  if (smisMgr.readFile(true) != 0) {
    log->log("Error - " + smisMgr.getErrorMessage());
    return 1;
  }
  if (idMap.readFile() != 0) {
    log->log("Error - " + idMap.getErrorMessage());
    return 1;
  }
  return 0;
}

int ZARNAPI::initiateSMISData() {
  log->logDebug("Inside the ZARNAPI::initiateSMISData method");
  return smisMgr.readFile(true) != 0 ? 1 : 0;
}

// The operations below reach the SMI-S server; until the connection layer
// is linked they fail.
int ZARNAPI::findDeviceID(const std::string&, const std::string&, DeviceID&) {
  log->logDebug("Inside the ZARNAPI::findDeviceID method");
  return 1;
}

int ZARNAPI::getLocalCSState(ConsistencySetState&) {
  log->logDebug("Inside the ZARNAPI::getLocalCSState method");
  return 1;
}

int ZARNAPI::getRemoteCSState(ConsistencySetState&) {
  log->logDebug("Inside the ZARNAPI::getRemoteCSState method");
  return 1;
}

int ZARNAPI::failover() {
  log->logDebug("Inside the ZARNAPI::failover method");
  return 1;
}

int ZARNAPI::disableFailsafe() {
  log->logDebug("Inside the ZARNAPI::disableFailsafe method");
  return 1;
}
