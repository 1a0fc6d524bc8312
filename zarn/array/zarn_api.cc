#include "zarn/array/zarn_api.h"

#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/instance.h"
#include "drif/decision_record.h"
#include "drif/logger.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/smis_exceptions.h"
#include "zarn/smis/smis_lookup.h"
#include "zarn/smis/smis_server.h"

ZARNAPI::ZARNAPI()
    : SMISQueryTime(0),
      log(Logger::getInstance()),
      smisServer(nullptr),
      useIDMap(true),
      validStorageObjectPathList(false),
      validLocalCSObjectPath(false),
      validLocalRSObjectPath(false),
      QNKey(schema::FAILOVER_KEY_VALUE),
      queryState(QS_NONE),
      validCSPathIndex(false) {
  log->logDebug("Inside the ZARNAPI constructor");
}

ZARNAPI::~ZARNAPI() {
  log->logDebug("Inside the ZARNAPI destructor");
  try {
    delete smisServer;
  } catch (const cim::Exception& e) {
    log->logDebug("Exception - " + e.getMessage());
  }
}

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

SMISServer* ZARNAPI::findSMISServer(bool useDefaultSMIS) {
  log->logDebug("Inside the ZARNAPI::findSMISServer method");
  if (smisServer != nullptr && (smisServer->getState() == CONNECTED ||
                                smisServer->getState() == TIMEOUT)) {
    return smisServer;
  }
  // The default server alone, or the hosts of the local list up to the
  // first one the server list does not hold.
  SMISData first;
  if (useDefaultSMIS && smisMgr.getFirstSMIS(first) != 0) {
    throw SMISServerInfoException("Failed to get SMI-S information;\n\t\t\t\t" +
                                  smisMgr.getErrorMessage());
  }
  bool firstGiven = false;
  bool hostNotListed = false;
  std::string notListed;  // the server list's error for that host
  auto next = [&](SMISData* data) {
    if (useDefaultSMIS) {
      *data = first;
      return !std::exchange(firstGiven, true);
    }
    std::string host = zarnEnv.getNextLocalSMIS();
    if (host.empty()) return false;
    if (smisMgr.getSMIS(host, *data) == 0) return true;
    hostNotListed = true;
    notListed = smisMgr.getErrorMessage();
    return false;
  };
  auto timeout = [this] {
    return SMISQueryTime != 0 ? SMISQueryTime : zarnEnv.getQueryTimeout();
  };
  std::string lastFailure;
  ServerChoice choice(next, timeout, true);
  std::unique_ptr<SMISServer> chosen =
      choice.choose([this, &lastFailure](const SMISData& data, const std::exception& e) {
        lastFailure = e.what();
        log->log("Error - Failed to connect to SMI-S " + data.hostname + ". \n\t\t\t\t" +
                 lastFailure);
      });
  serverAttempts.insert(serverAttempts.end(), choice.getAttempts().begin(),
                        choice.getAttempts().end());
  for (const ServerAttempt& a : choice.getAttempts()) {
    decision::add(record::SERVERS, {{"host", a.host},
                                    {"port", a.port},
                                    {"ssl", a.ssl},
                                    {"used", a.used},
                                    {"outcome", oneLine(a.outcome)},
                                    {"milliseconds", a.milliseconds}});
  }
  if (!chosen) {
    if (useDefaultSMIS) throw cim::Exception(lastFailure);
    if (hostNotListed) {
      log->log(notListed);
      throw SMISServerInfoException(
          "SMI-S data may not be configured properly. Use \n\t\t\t\t"
          "the \"smiscred\" tool to verify the data list.");
    }
    throw NoSMISServerException("Cannot find a local usable SMI-S.");
  }
  delete smisServer;
  smisServer = chosen.release();
  return smisServer;
}

cim::ObjectPath ZARNAPI::findStorageObjectPath(SMISServer* smisSrv,
                                               const std::string& storageName) {
  log->logDebug("Inside the ZARNAPI::findStorageObjectPath method");
  if (smisSrv == nullptr)
    throw SMISServerException("(Internal) - SMISServer has not been initialized.");
  if (!validStorageObjectPathList) {
    storageObjectPathList = enumerateStorageSystems(*smisSrv);
    if (storageObjectPathList.empty()) {
      throw InstanceException("No ZARN Storage System found in the SMI-S" +
                              smisSrv->getHostname() + ".\n\t\t\t\t" +
                              "Check the SMI-S and fix the problem.");
    }
    validStorageObjectPathList = true;
  }
  const cim::ObjectPath* system =
      findStorageSystem(storageObjectPathList, storageName, log);
  if (system != nullptr) return *system;
  throw InstanceException("Storage System " + storageName +
                          " not found in the SMI-S " + smisSrv->getHostname() +
                          ".\n\t\t\t\t" +
                          "A possible cause of this problem is: \n\t\t\t\t" +
                          "  - Incorrect storage WWN defined in the environment "
                          "file.");
}

cim::ObjectPath ZARNAPI::findServiceObjectPath(SMISServer* smisSrv,
                                               const std::string& storageName) {
  log->logDebug("Inside the ZARNAPI::findServiceObjectPath method");
  cim::ObjectPath storage = findStorageObjectPath(smisSrv, storageName);
  std::vector<cim::ObjectPath> services = findReplicationServices(*smisSrv, storage);
  if (services.empty()) {
    throw ObjectPathException(
        "Replication-Service provider of the Storage System " + storageName +
        "\n\t\t\t\tnot found in the SMI-S. " + smisSrv->getHostname() +
        ".\n\t\t\t\t" + "Check the SMI-S and fix the problem.");
  }
  return services.front();
}

cim::ObjectPath ZARNAPI::findCSObjectPath(SMISServer* smisSrv,
                                          const std::string& storageName,
                                          const std::string& drGrpName,
                                          bool useMap, bool reuseList) {
  log->logDebug("Inside the ZARNAPI::findCSObjectPath method");
  log->logDebug("\tstorageName: " + storageName + "\n" + "\tdrGrpName: " +
                drGrpName + "\n" + "\tuseMap: " + (useMap ? "true" : "false") +
                "\n");
  if (smisSrv == nullptr)
    throw SMISServerException("(Internal) - SMISServer has not been initialized.");

  if (useMap) {
    DeviceID devID;
    if (idMap.getID(storageName, drGrpName, devID) != 0)
      throw ObjectPathException(idMap.getErrorMessage());
    return drGroupPath(devID.instanceID);
  }

  const std::pair<std::string, std::string> wanted(storageName, drGrpName);
  if (reuseList && validCSPathIndex) {
    auto known = csPathIndex.find(wanted);
    if (known != csPathIndex.end()) return known->second;
    // Not in the list: the DR group may have been made since it was read.
  }

  std::vector<cim::Instance> groups = enumerateDRGroups(*smisSrv);
  if (reuseList) {
    csPathIndex.clear();
    validCSPathIndex = false;
  }
  if (groups.empty()) {
    throw InstanceException("No DR group found in the SMI-S " +
                            smisSrv->getHostname() + ".\n\t\t\t\t" +
                            "Check to make sure the DR group is configured.");
  }
  if (!reuseList) {
    const cim::Instance* group =
        findDRGroupByInstanceIDPrefix(groups, storageName, drGrpName);
    if (group != nullptr) return group->getPath();
  } else {
    // Groups without their identifying properties are left out, as the
    // search above passes them over.
    for (const cim::Instance& group : groups) {
      std::string arrayName, elementName;
      if (drGroupIdentity(group, &arrayName, &elementName))
        csPathIndex.emplace(std::make_pair(arrayName, elementName), group.getPath());
    }
    validCSPathIndex = true;
    auto found = csPathIndex.find(wanted);
    if (found != csPathIndex.end()) return found->second;
  }
  throw InstanceException("DR group " + drGrpName + " not found in the SMI-S " +
                          smisSrv->getHostname() +
                          ". A possible cause of this problem is: \n" +
                          "  - Incorrect DR group name defined in the "
                          "zarndiscovery tool input file.");
}

int ZARNAPI::findDeviceID(const std::string& storageName,
                          const std::string& drGrpName, DeviceID& devID) {
  log->logDebug("Inside the ZARNAPI::findDeviceID method");
  try {
    SMISServer* server = findSMISServer(true);
    // A discovery run looks up many DR groups of the same server: one
    // enumeration serves them all.
    cim::ObjectPath group =
        findCSObjectPath(server, storageName, drGrpName, false, true);
    if (group.getKeyBindings().empty()) {
      throw ObjectPathException(
          "(Internal) - Empty key binding in the ConsistencySet object path");
    }
    const std::string* instanceID = nullptr;
    for (const cim::KeyBinding& key : group.getKeyBindings()) {
      if (key.getName() == cim::Name(schema::INSTANCE_ID)) {
        instanceID = &key.getValue();
        break;
      }
    }
    if (instanceID == nullptr) {
      throw ObjectPathException(
          "(Internal) - Instance ID not found in the ConsistencySet object "
          "path");
    }
    std::string wwidList;
    for (const std::string& name : memberDiskNames(*server, group)) {
      if (!wwidList.empty()) wwidList += ",";
      wwidList += name;
    }
    devID.instanceID = *instanceID;
    devID.wwidList = wwidList;
    return 0;
  } catch (const cim::Exception& e) {
    log->log("Exception: " + e.getMessage());
  } catch (const std::exception& e) {
    log->log(std::string("Exception: ") + e.what());
  }
  return 1;
}

void ZARNAPI::keepLocalCSObjectPath(SMISServer* server, const std::string& storageName,
                                    const std::string& drGrpName) {
  if (validLocalCSObjectPath) return;
  localCSObjectPath = findCSObjectPath(server, storageName, drGrpName, useIDMap);
  validLocalCSObjectPath = true;
}

void ZARNAPI::dumpObjectPath(const std::string& copInfo,
                             const cim::ObjectPath& objectPath) {
  std::string text = copInfo + "\n" + "objectPath.host: " +
                     objectPath.getHost() + "\n" + "objectPath.nameSpace: " +
                     objectPath.getNameSpace().getString() + "\n" +
                     "objectPath.className: " +
                     objectPath.getClassName().getString() + "\n";
  for (const cim::KeyBinding& key : objectPath.getKeyBindings()) {
    text += "\tkeyBinding.name: " + key.getName().getString() + "\n" +
            "\tkeyBinding.value: " + key.getValue() + "\n";
  }
  log->logDebug(text);
}
