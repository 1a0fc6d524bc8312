#include "zarn/tools/zarn_get_vdisk_wwn.h"

#include <exception>
#include <utility>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/instance.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/server_choice.h"
#include "zarn/smis/smis_lookup.h"
#include "zarn/smis/smis_server.h"
#include "zarn/store/text.h"

namespace {

const char DISK_LINE_TAG[] = "ZARNDRVDISK";

}  // namespace

int ZARNGetVdiskWWN::run(int argc, char* argv[]) {
  if (tooFewWords(argc, USAGE)) return -1;
  packageName = argv[1];
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
  if (queryTimeout < 1) queryTimeout = schema::DEFAULT_QUERY_TIMEOUT;

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
  if (!out.empty()) io.out->write(out);
  return 0;
}

std::unique_ptr<SMISServer> ZARNGetVdiskWWN::connectServer(int queryTimeout) {
  log->logDebug("Inside the ZARNGetVdiskWWN::connectServer method");
  // The default server, then the hosts of the package's local list up to
  // the first one the server list does not hold.
  bool firstPass = true;
  const char* ending = "";  // why the list ended
  auto next = [&](SMISData* data) {
    if (std::exchange(firstPass, false)) {
      if (smisMgr.getFirstSMIS(*data) == 0) return true;
      ending = "No SMIS server not found!\n";
      return false;
    }
    std::string host = zarnEnv.getNextLocalSMIS();
    if (host.empty()) {
      ending = "No more SMIS server found for this package \n";
      return false;
    }
    if (smisMgr.getSMIS(host, *data) == 0) return true;
    ending = "SMIS data is not configured properly.\nUse smiscred tool to correct it. \n";
    return false;
  };
  ServerChoice choice(next, [queryTimeout] { return queryTimeout; }, true);
  std::unique_ptr<SMISServer> server =
      choice.choose([this](const SMISData& data, const std::exception& e) {
        if (const auto* untrusted = dynamic_cast<const cim::UntrustedServerException*>(&e)) {
          *err << "Failed to connect to SMIS server " << data.hostname << ": "
               << untrusted->getMessage() << "\n";
        } else {
          log->logDebug(std::string("Connection failure: ") + e.what());
          *err << "Failed to connect to SMIS server " << data.hostname << "\n";
        }
      });
  if (!server) *err << ending;
  return server;
}

int ZARNGetVdiskWWN::listDisks(SMISServer& server, const std::string& instanceID,
                               std::vector<std::string>* names) {
  log->logDebug("Inside the ZARNGetVdiskWWN::listDisks method");
  cim::ObjectPath group;
  // Without a map entry there is no identifier to match: no DR group is.
  if (!findDRGroupByInstanceID(server, instanceID, &group)) {
    *err << "DRGroup not found \n";
    return 1;
  }
  *names = memberDiskNames(server, group);
  return 0;
}
