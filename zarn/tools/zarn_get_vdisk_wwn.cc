#include "zarn/tools/zarn_get_vdisk_wwn.h"

#include <algorithm>
#include <exception>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/instance.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/smis/smis_server.h"

namespace {

const char CONSISTENCY_SET_CLASS[] = "QNZARN_ConsistencySet";
const char STORAGE_VOLUME_CLASS[] = "QNZARN_StorageVolume";
const char ORDERED_MEMBER_ASSOC[] = "QNZARN_OrderedMemberOfCollection";
const char DISK_LINE_TAG[] = "ZARNDRVDISK";

}  // namespace

std::string removeHyphen(const std::string& text) {
  std::string out = text;
  out.erase(std::remove(out.begin(), out.end(), '-'), out.end());
  return out;
}

ZARNGetVdiskWWN::ZARNGetVdiskWWN(const std::string& packageName, std::ostream* err)
    : log(Logger::getInstance()), packageName(packageName), err(err) {
  log->logDebug("Inside the ZARNGetVdiskWWN constructor");
}

ZARNGetVdiskWWN::~ZARNGetVdiskWWN() {
  log->logDebug("Inside the ZARNGetVdiskWWN destructor");
}

void ZARNGetVdiskWWN::setMapFileName(const std::string& path) {
  smisMgr.setFileName(path);
  idMap.setFileName(path);
}

int ZARNGetVdiskWWN::run() {
  log->logDebug("Inside the ZARNGetVdiskWWN::run method");
  // Lists that cannot be read stay empty: the lookups below then find
  // nothing and say so.
  smisMgr.readFile(true);
  idMap.readFile();

  zarnEnv.initialize();
  std::vector<char> name(packageName.begin(), packageName.end());
  name.push_back('\0');
  zarnEnv.read(name.data());
  // Unvalidated, a time-out below one second (0, negative, or not a
  // number) would make every request time out at once; such a value is
  // replaced by the default, as validation would do.
  int queryTimeout = zarnEnv.getQueryTimeout();
  if (queryTimeout < 1) queryTimeout = YRZARNEnvironment::DEFAULT_QUERY_TIMEOUT;

  const std::string storageName = removeHyphen(zarnEnv.getLocalStorageName());
  const std::string drGroupName = zarnEnv.getDRGroupName();
  DeviceID devID;
  if (idMap.getID(storageName, drGroupName, devID) != 0) devID.instanceID.clear();

  std::unique_ptr<SMISServer> server = connectServer(queryTimeout);
  if (!server) return 1;

  std::vector<std::string> names;
  try {
    if (listDisks(*server, devID.instanceID, &names) != 0) return 1;
  } catch (const std::exception& e) {
    *err << "Failed to get the virtual disks of the DR group " << drGroupName
         << " from SMIS server " << server->getHostname() << ": " << e.what()
         << "\n";
    return 1;
  }
  // Printed only once every disk has been read, so that a failure midway
  // never leaves a partial list.
  std::string out;
  for (const std::string& disk : names) out += std::string(DISK_LINE_TAG) + " " + disk + "\n";
  if (!out.empty()) sys::platform().console->write(out);
  return 0;
}

std::unique_ptr<SMISServer> ZARNGetVdiskWWN::connectServer(int queryTimeout) {
  log->logDebug("Inside the ZARNGetVdiskWWN::connectServer method");
  for (bool firstPass = true;; firstPass = false) {
    SMISData data;
    if (firstPass) {
      if (smisMgr.getFirstSMIS(data) != 0) {
        *err << "No SMIS server not found!\n";
        return nullptr;
      }
    } else {
      std::string host = zarnEnv.getNextLocalSMIS();
      if (host.empty()) {
        *err << "No more SMIS server found for this package \n";
        return nullptr;
      }
      if (smisMgr.getSMIS(host, data) != 0) {
        *err << "SMIS data is not configured properly.\n"
             << "Use smiscred tool to correct it. \n";
        return nullptr;
      }
    }
    auto server = std::make_unique<SMISServer>();
    try {
      connectListedServer(*server, data, [queryTimeout] { return queryTimeout; }, true);
      return server;
    } catch (const cim::UntrustedServerException& e) {
      *err << "Failed to connect to SMIS server " << data.hostname << ": " << e.getMessage()
           << "\n";
    } catch (const std::exception& e) {
      log->logDebug(std::string("Connection failure: ") + e.what());
      *err << "Failed to connect to SMIS server " << data.hostname << "\n";
    }
  }
}

int ZARNGetVdiskWWN::listDisks(SMISServer& server, const std::string& instanceID,
                               std::vector<std::string>* names) {
  log->logDebug("Inside the ZARNGetVdiskWWN::listDisks method");
  cim::Client& client = server.getCIMClient();
  const cim::NamespaceName& ns = server.getCimNamespace();
  std::vector<cim::ObjectPath> groups =
      client.enumerateInstanceNames(ns, CONSISTENCY_SET_CLASS);
  const cim::ObjectPath* group = nullptr;
  // Without a map entry there is no identifier to match: no DR group is.
  if (!instanceID.empty()) {
    for (const cim::ObjectPath& path : groups) {
      const std::string* id = path.findKey("InstanceID");
      if (id != nullptr && *id == instanceID) {
        group = &path;
        break;
      }
    }
  }
  if (group == nullptr) {
    *err << "DRGroup not found \n";
    return 1;
  }
  std::vector<cim::ObjectPath> disks =
      client.associatorNames(ns, *group, ORDERED_MEMBER_ASSOC, STORAGE_VOLUME_CLASS);
  for (const cim::ObjectPath& disk : disks) {
    cim::Instance volume = client.getInstance(ns, disk, /*localOnly=*/true,
                                              /*includeQualifiers=*/false,
                                              /*includeClassOrigin=*/false);
    names->push_back(volume.getProperty("Name").getValue().getString());
  }
  return 0;
}
