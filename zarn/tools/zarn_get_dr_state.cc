#include "zarn/tools/zarn_get_dr_state.h"

#include <exception>
#include <memory>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/instance.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/server_choice.h"
#include "zarn/smis/smis_exceptions.h"
#include "zarn/smis/smis_lookup.h"
#include "zarn/smis/smis_server.h"
#include "zarn/store/text.h"

namespace {

void print(const ToolOutput& io, const std::string& text) { io.out->write(text); }

}  // namespace

int ZARNGetDRState::run(int argc, char* argv[]) {
  if (tooFewWords(argc, USAGE)) return -1;
  drGrp = std::string(schema::DR_GROUP_PREFIX) + argv[1];
  localArrayWWN = removeHyphen(argv[2]);
  smisList.assign(argv + 3, argv + argc);
  log->logDebug("Inside the ZARNGetDRState::findDRState method");
  if (!loadedSMISInfo && !loadSMISInformation()) return -1;

  // The WMS in order, those the server list does not hold passed over,
  // up to an empty name.
  bool emptyName = false;
  auto wms = smisList.cbegin();
  auto next = [&](SMISData* data) {
    for (; wms != smisList.cend(); ++wms) {
      if (wms->empty()) {
        emptyName = true;
        return false;
      }
      if (smisMgr.getSMIS(*wms, *data) == 0) {
        ++wms;
        return true;
      }
    }
    return false;
  };
  ServerChoice choice(next, [] { return schema::DEFAULT_QUERY_TIMEOUT; }, false);
  auto unusable = [this](const SMISData& data, const std::exception& e) {
    reportUnusableServer(data, e, "Warning - ", io);
  };
  while (std::unique_ptr<SMISServer> server = choice.choose(unusable)) {
    if (getDRState(*server) == 0) return 0;
  }
  if (emptyName) {
    print(io, "Error - Failed to get a valid WMS in the Local WMS list.\n"
          "Make sure the active WMS is there in the list. \n");
    return -1;
  }
  print(io, "Error - In getting DR group state or the DR Group \"" + drGrp +
        "\" is not found in the array " + localArrayWWN + ".\n" +
        "Make sure valid active WMS is there in the WMS list.\n");
  return -1;
}

bool ZARNGetDRState::loadSMISInformation() {
  log->logDebug("Inside the ZARNGetDRState::loadSMISInformation method");
  if (smisMgr.readFile(true) != 0) {
    print(io, "Error - " + smisMgr.getErrorMessage() + "\n");
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

int ZARNGetDRState::getDRState(SMISServer& server) {
  log->logDebug("Inside the ZARNGetDRState::getDRState method");
  try {
    localCSObjectPath = findCSObjectPath(server, localArrayWWN, drGrp);
    cim::Instance group = readInstance(server, localCSObjectPath);
    participationType = group.getProperty(schema::PARTICIPATION_TYPE).getValue().getString();
    std::string linkState = group.getProperty(schema::LINK_STATE).getValue().getString();
    std::string logState = group.getProperty(schema::LOG_STATE).getValue().getString();
    std::string fullcopyState = group.getProperty(schema::FULL_COPY_STATE).getValue().getString();
    print(io, " participationType: " + participationType + "\n" +
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
  if (idMap.getID(storageName, drGroupName, devID) == 0) return drGroupPath(devID.instanceID);

  log->logDebug("Inside the ZARNGetDRState::findStorageObjectPath method");
  const std::vector<cim::ObjectPath> systems = enumerateStorageSystems(server);
  const cim::ObjectPath* storage = findStorageSystem(systems, storageName);
  if (storage == nullptr) throw ObjectPathException("Storage system " + storageName + " not found");
  cim::ObjectPath group;
  if (findDRGroupByElementName(server, *storage, drGroupName, &group)) return group;
  throw ObjectPathException("DR group " + drGroupName + " not found on the storage system " +
                            storageName);
}
