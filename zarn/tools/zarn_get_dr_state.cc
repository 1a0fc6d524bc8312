#include "zarn/tools/zarn_get_dr_state.h"

#include <algorithm>
#include <exception>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/instance.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/smis/smis_exceptions.h"
#include "zarn/smis/smis_server.h"

namespace {

const char STORAGE_SYSTEM_CLASS[] = "QNZARN_StorageSystem";
const char CONSISTENCY_SET_CLASS[] = "QNZARN_ConsistencySet";
const char HOSTED_DR_GROUP_ASSOC[] = "QNZARN_HostedDRGroupCollection";

void print(const std::string& text) { sys::platform().console->write(text); }

}  // namespace

ZARNGetDRState::ZARNGetDRState(const std::string& drGroupName,
                               const std::string& arrayWWN,
                               const std::vector<std::string>& wmsList)
    : log(Logger::getInstance()),
      loadedSMISInfo(false),
      loadedMAPFile(false),
      drGrp(std::string(DR_GROUP_PREFIX) + drGroupName),
      localArrayWWN(arrayWWN),
      smisList(wmsList) {
  log->logDebug("Inside the ZARNGetDRState constructor");
  localArrayWWN.erase(std::remove(localArrayWWN.begin(), localArrayWWN.end(), '-'),
                      localArrayWWN.end());
}

ZARNGetDRState::~ZARNGetDRState() {
  log->logDebug("Inside the ZARNGetDRState destructor");
}

void ZARNGetDRState::setMapFileName(const std::string& path) {
  smisMgr.setFileName(path);
  idMap.setFileName(path);
}

int ZARNGetDRState::findDRState() {
  log->logDebug("Inside the ZARNGetDRState::findDRState method");
  if (!loadedSMISInfo && !loadSMISInformation()) return -1;

  for (const std::string& wms : smisList) {
    if (wms.empty()) {
      print("Error - Failed to get a valid WMS in the Local WMS list.\n"
            "Make sure the active WMS is there in the list. \n");
      return -1;
    }
    SMISData data;
    if (smisMgr.getSMIS(wms, data) != 0) continue;
    std::unique_ptr<SMISServer> server = findSMISServer(data);
    if (!server) continue;
    if (getDRState(*server) == 0) return 0;
  }
  print("Error - In getting DR group state or the DR Group \"" + drGrp +
        "\" is not found in the array " + localArrayWWN + ".\n" +
        "Make sure valid active WMS is there in the WMS list.\n");
  return -1;
}

bool ZARNGetDRState::loadSMISInformation() {
  log->logDebug("Inside the ZARNGetDRState::loadSMISInformation method");
  if (smisMgr.readFile(true) != 0) {
    print("Error - " + smisMgr.getErrorMessage() + "\n");
    return false;
  }
  loadedSMISInfo = true;
  return true;
}

void ZARNGetDRState::loadMAPFile() {
  log->logDebug("Inside the ZARNGetDRState::loadMAPFile method");
  // A map that cannot be read is no error: the DR group is then searched
  // on the array.
  idMap.readFile();
  loadedMAPFile = true;
}

std::unique_ptr<SMISServer> ZARNGetDRState::findSMISServer(const SMISData& data) {
  log->logDebug("Inside the ZARNGetDRState::findSMISServer method");
  auto server = std::make_unique<SMISServer>();
  try {
    connectListedServer(*server, data, [] { return DEFAULT_QUERY_TIMEOUT; }, false);
  } catch (const cim::UntrustedServerException& e) {
    // Passed over like any unreachable server, but never silently.
    print("Warning - " + e.getMessage() + "\n");
    return nullptr;
  } catch (const std::exception& e) {
    log->logDebug("Cannot connect to the SMI-S " + data.hostname + ": " + e.what());
    return nullptr;
  }
  return server;
}

int ZARNGetDRState::getDRState(SMISServer& server) {
  log->logDebug("Inside the ZARNGetDRState::getDRState method");
  try {
    localCSObjectPath = findCSObjectPath(server, localArrayWWN, drGrp);
    cim::Instance group = server.getCIMClient().getInstance(
        server.getCimNamespace(), localCSObjectPath, /*localOnly=*/true,
        /*includeQualifiers=*/false, /*includeClassOrigin=*/false);
    participationType = group.getProperty("ParticipationType").getValue().getString();
    std::string linkState = group.getProperty("LinkState").getValue().getString();
    std::string logState = group.getProperty("LogState").getValue().getString();
    std::string fullcopyState = group.getProperty("Fullcopystate").getValue().getString();
    print(" participationType: " + participationType + "\n" +
          " linkState: " + linkState + "\n" + " logState: " + logState + "\n" +
          " fullcopyState: " + fullcopyState + "\n");
    return 0;
  } catch (const std::exception& e) {
    log->logDebug("DR group state not read from the SMI-S " + server.getHostname() +
                  ": " + e.what());
  }
  return -1;
}

cim::ObjectPath ZARNGetDRState::findCSObjectPath(SMISServer& server,
                                                 const std::string& storageName,
                                                 const std::string& drGroupName) {
  log->logDebug("Inside the ZARNGetDRState::findCSObjectPath method");
  if (!loadedMAPFile) loadMAPFile();
  DeviceID devID;
  if (idMap.getID(storageName, drGroupName, devID) == 0) {
    return cim::ObjectPath("", cim::NamespaceName(), CONSISTENCY_SET_CLASS,
                           {cim::KeyBinding("InstanceID", devID.instanceID)});
  }

  cim::ObjectPath storage = findStorageObjectPath(server, storageName);
  cim::Client& client = server.getCIMClient();
  std::vector<cim::ObjectPath> groups = client.associatorNames(
      server.getCimNamespace(), storage, HOSTED_DR_GROUP_ASSOC, CONSISTENCY_SET_CLASS);
  for (const cim::ObjectPath& path : groups) {
    cim::Instance group = client.getInstance(server.getCimNamespace(), path,
                                             /*localOnly=*/true,
                                             /*includeQualifiers=*/false,
                                             /*includeClassOrigin=*/false);
    // A DR group reported without a name cannot be the one sought.
    size_t at = group.findProperty("ElementName");
    if (at == cim::Instance::NOT_FOUND) continue;
    const cim::Value& name = group.getProperty(at).getValue();
    if (name.getType() != cim::Type::STRING || name.isArray()) continue;
    if (name.getString() == drGroupName) return path;
  }
  throw ObjectPathException("DR group " + drGroupName + " not found on the storage system " +
                            storageName);
}

cim::ObjectPath ZARNGetDRState::findStorageObjectPath(SMISServer& server,
                                                      const std::string& storageName) {
  log->logDebug("Inside the ZARNGetDRState::findStorageObjectPath method");
  std::vector<cim::ObjectPath> systems = server.getCIMClient().enumerateInstanceNames(
      server.getCimNamespace(), STORAGE_SYSTEM_CLASS);
  for (const cim::ObjectPath& path : systems) {
    const std::string* name = path.findKey("Name");
    if (name != nullptr && *name == storageName) return path;
  }
  throw ObjectPathException("Storage system " + storageName + " not found");
}
