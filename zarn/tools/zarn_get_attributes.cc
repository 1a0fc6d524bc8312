#include "zarn/tools/zarn_get_attributes.h"

#include <algorithm>
#include <exception>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/instance.h"
#include "cim/object_path.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/smis_lookup.h"
#include "zarn/smis/smis_server.h"
#include "zarn/store/text.h"

namespace {

const size_t STORAGE_NAME_LENGTH = 16;

// The string value of a property; false when the instance has no such
// property or it is not a string.
bool stringProperty(const cim::Instance& instance, const char* name, std::string* value) {
  size_t at = instance.findProperty(name);
  if (at == cim::Instance::NOT_FOUND) return false;
  const cim::Value& v = instance.getProperty(at).getValue();
  if (v.getType() != cim::Type::STRING || v.isArray()) return false;
  *value = v.getString();
  return true;
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

std::string join(const std::vector<std::string>& list) {
  std::string out;
  for (const std::string& item : list) {
    if (!out.empty()) out += ",";
    out += item;
  }
  return out;
}

}  // namespace

bool ZARNGetAttributes::convertToStorageFormat(const std::string& wwn,
                                               std::string* formatted) {
  if (wwn.size() < STORAGE_NAME_LENGTH) return false;
  *formatted = wwn.substr(0, 4) + "-" + wwn.substr(4, 4) + "-" + wwn.substr(8, 4) + "-" +
               wwn.substr(12, 4);
  return true;
}

std::string ZARNGetAttributes::extractDRGroup(const std::string& elementName) {
  std::string name = elementName;
  if (!name.empty() && name.back() == '\\') name.pop_back();
  size_t slash = name.rfind('\\');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

void ZARNGetAttributes::print(const std::string& text) { io.out->write(text); }

int ZARNGetAttributes::run(int argc, char* argv[]) {
  if (tooFewWords(argc, USAGE)) return -1;
  deviceWWN = removeHyphen(argv[1]);
  clusterNodesList.assign(argv + 2, argv + argc);
  log->logDebug("Inside the ZARNGetAttributes::findAttributes method");
  if (!loadedSMISInfo && !loadSMISInformation()) return -1;

  std::vector<std::string> unreachable;
  smisMgr.resetSMISList();
  SMISData entry;
  while (smisMgr.getNextSMIS(entry) == 0) {
    SMISServer server;
    if (!findSMISServer(entry, &server)) {
      unreachable.push_back(entry.hostname);
      continue;
    }
    int result = findArraysWWNByWMS(server);
    if (result == -1) break;  // several DR groups: nothing more to learn
    if (result == 1) unreachable.push_back(entry.hostname);
  }

  if (hostsList.localArrayWWN.empty() && hostsList.remoteArrayWWN.empty()) {
    if (!unreachable.empty()) {
      std::string text = "WARNING: SMIS Servers ";
      for (const std::string& host : unreachable) text += host + " ";
      print(text + "could not be reached.\n");
    }
    if (!smisDataList.empty()) {
      std::string text = "WARNING: SMIS Servers ";
      for (const WMSData& wms : smisDataList) text += wms.WMS + " ";
      print(text + "are not managing the cluster arrays.\n");
    }
  }

  if (hostsList.drGpList.size() >= 2) {
    std::string text =
        "WARNING: Unsupported configuration. Multiple dr groups have been detected for a "
        "single package.\n";
    for (const std::string& group : hostsList.drGpList)
      text += "The device " + deviceWWN + " belongs to DR Group " + group + "\n";
    print(text);
    return -1;
  }

  if (hostsList.drGpList.empty() || hostsList.localArrayWWN.empty() ||
      hostsList.remoteArrayWWN.empty() || localArrayHostsList.empty() ||
      remoteArrayHostsList.empty()) {
    std::string text;
    if (hostsList.localArrayWWN.empty()) {
      text += "WARNING: Unable to find Local Array WWN.\n";
      if (!hostsList.drGpList.empty())
        text += "WARNING: Local host doesn't match with any of the Hosts-list in the Local "
                "and Remote Arrays.\n";
    }
    if (hostsList.drGpList.empty()) text += "WARNING: No DR Group is found for the device.\n";
    if (hostsList.remoteArrayWWN.empty()) text += "WARNING: Unable to find Remote Array WWN.\n";
    if (localArrayHostsList.empty())
      text += "WARNING: Unable to retrieve hosts for the local Array.\n";
    if (remoteArrayHostsList.empty())
      text += "WARNING: Unable to retrieve hosts for the Remote Array.\n";
    print(text);
    return -1;
  }

  findValidSMISList();
  if (!findLocalRemoteNodesList()) return -1;

  // A name too short for the storage format would give a world wide name
  // the package cannot use; the array is reported instead.
  std::string localName, remoteName;
  auto format = [this](const std::string& wwn, std::string* formatted) {
    if (convertToStorageFormat(wwn, formatted)) return true;
    print("WARNING: The array WWN " + wwn + " is shorter than 16 characters.\n");
    return false;
  };
  if (!format(hostsList.localArrayWWN, &localName) ||
      !format(hostsList.remoteArrayWWN, &remoteName))
    return -1;
  const std::string path = ATTRIBUTE_PATH;
  const std::string smis = join(hostsList.smisNamesList);
  print(path + "DR_GROUP_NAME\t" + hostsList.drGpList.front() + "\n" +
        path + "DC1_STORAGE_WORLD_WIDE_NAME\t" + localName + "\n" +
        path + "DC1_SMIS_LIST\t" + smis + "\n" +
        path + "DC1_HOST_LIST\t" + join(hostsList.localNodesList) + "\n" +
        path + "DC2_STORAGE_WORLD_WIDE_NAME\t" + remoteName + "\n" +
        path + "DC2_SMIS_LIST\t" + smis + "\n" +
        path + "DC2_HOST_LIST\t" + join(hostsList.remoteNodesList) + "\n" + "\n");
  return 0;
}

bool ZARNGetAttributes::loadSMISInformation() {
  log->logDebug("Inside the ZARNGetAttributes::loadSMISInformation method");
  if (smisMgr.readFile(true) != 0) {
    print("WARNING: " + smisMgr.getErrorMessage() + "\n");
    return false;
  }
  loadedSMISInfo = true;
  return true;
}

bool ZARNGetAttributes::findSMISServer(const SMISData& entry, SMISServer* server) {
  log->logDebug("Inside the ZARNGetAttributes::findSMISServer method");
  return connectQueryServer(*server, entry, "WARNING: ", io);
}

int ZARNGetAttributes::findArraysWWNByWMS(SMISServer& server) {
  log->logDebug("Inside the ZARNGetAttributes::findArraysWWNByWMS method");
  WMSData wms;
  wms.WMS = server.getHostname();
  try {
    std::vector<cim::ObjectPath> systems = enumerateStorageSystems(server);
    if (systems.empty()) return 1;

    std::string hostName;
    if (!sys::platform().host->hostName(&hostName)) hostName.clear();
    for (const cim::ObjectPath& system : systems) {
      const std::string* name = system.findKey(schema::NAME);
      if (name == nullptr) continue;
      const std::string arrayWWN = *name;
      wms.arraysList.push_back(arrayWWN);
      if (!hostsList.localArrayWWN.empty() && !hostsList.remoteArrayWWN.empty()) continue;

      cim::ObjectPath volume;
      if (!findMatchingVolume(server, system, &volume)) continue;
      std::vector<std::string> hosts = findMatchingHost(server, volume);
      if (!hostName.empty() && contains(hosts, hostName)) {
        hostsList.localArrayWWN = arrayWWN;
        localArrayHostsList = hosts;
      } else {
        hostsList.remoteArrayWWN = arrayWWN;
        remoteArrayHostsList = hosts;
      }
      if (hostsList.drGpList.empty() && findDRGroupForVolume(server, volume) == -1) {
        if (hostsList.drGpList.size() >= 2) return -1;
        hostsList.drGpList.clear();
      }
    }
  } catch (const std::exception& e) {
    log->logDebug("Failure on the SMI-S " + server.getHostname() + ": " + e.what());
    return 1;
  }
  smisDataList.push_back(wms);
  return 0;
}

bool ZARNGetAttributes::findMatchingVolume(SMISServer& server, const cim::ObjectPath& system,
                                           cim::ObjectPath* volume) {
  log->logDebug("Inside the ZARNGetAttributes::findMatchingVolume method");
  std::vector<cim::ObjectPath> volumes =
      associatedNames(server, system, schema::SYSTEM_DEVICE, schema::STORAGE_VOLUME);
  for (const cim::ObjectPath& path : volumes) {
    cim::Instance instance = readInstance(server, path);
    std::string name;
    if (stringProperty(instance, schema::NAME, &name) && name == deviceWWN) {
      *volume = path;
      return true;
    }
  }
  return false;
}

std::vector<std::string> ZARNGetAttributes::findMatchingHost(SMISServer& server,
                                                             const cim::ObjectPath& volume) {
  log->logDebug("Inside the ZARNGetAttributes::findMatchingHost method");
  std::vector<cim::ObjectPath> controllers =
      associatedNames(server, volume, schema::CONTROLLER_FOR_VOLUME, schema::VIEW_CONTROLLER);
  std::vector<std::string> hosts;
  for (const cim::ObjectPath& path : controllers) {
    cim::Instance instance = readInstance(server, path);
    std::string host;
    if (stringProperty(instance, schema::ELEMENT_NAME, &host)) hosts.push_back(host);
  }
  return hosts;
}

int ZARNGetAttributes::findDRGroupForVolume(SMISServer& server,
                                            const cim::ObjectPath& volume) {
  log->logDebug("Inside the ZARNGetAttributes::findDRGroupForVolume method");
  std::vector<cim::ObjectPath> groups =
      associatedNames(server, volume, schema::MEMBER_OF_COLLECTION, schema::CONSISTENCY_SET);
  if (groups.empty()) return -1;
  for (const cim::ObjectPath& path : groups) {
    cim::Instance instance = readInstance(server, path, /*localOnly=*/false);
    std::string name;
    if (!stringProperty(instance, schema::ELEMENT_NAME, &name) || name.empty()) return -1;
    hostsList.drGpList.push_back(extractDRGroup(name));
  }
  return hostsList.drGpList.size() == 1 ? 0 : -1;
}

void ZARNGetAttributes::findValidSMISList() {
  log->logDebug("Inside the ZARNGetAttributes::findValidSMISList method");
  for (const WMSData& wms : smisDataList) {
    if (contains(wms.arraysList, hostsList.localArrayWWN) &&
        contains(wms.arraysList, hostsList.remoteArrayWWN))
      hostsList.smisNamesList.push_back(wms.WMS);
  }
}

bool ZARNGetAttributes::findLocalRemoteNodesList() {
  log->logDebug("Inside the ZARNGetAttributes::findLocalRemoteNodesList method");
  for (const std::string& node : clusterNodesList) {
    if (contains(localArrayHostsList, node)) {
      hostsList.localNodesList.push_back(node);
    } else if (contains(remoteArrayHostsList, node)) {
      hostsList.remoteNodesList.push_back(node);
    } else {
      print("WARNING: " + node + " is not connected to both Local Array " +
            hostsList.localArrayWWN + " and Remote Array " + hostsList.remoteArrayWWN + "\n");
      return false;
    }
  }
  return true;
}
