// ZARNGetDRState, the administrator's query of one DR group's replication
// state on one array. Given the DR group's short name, the array's world
// wide name and a list of WMS host names (SMI-S servers named as in the map
// file's server list), it tries the servers in the given order until one
// answers for the DR group, and prints the group's four raw state
// properties on standard output. It only reads: nothing changes on the
// array or in the map file.
//
// The DR group is looked up in the device ID map first; without an entry it
// is searched among the DR groups of the array, by name. Every failure on
// one server is silent and leads to the next server; only the outcome of
// the whole search is reported.
#ifndef ZARN_TOOLS_ZARN_GET_DR_STATE_H
#define ZARN_TOOLS_ZARN_GET_DR_STATE_H

#include <memory>
#include <string>
#include <vector>

#include "cim/object_path.h"
#include "zarn/store/smis_manager.h"
#include "zarn/store/zarn_id_map.h"

class Logger;
class SMISServer;

class ZARNGetDRState {
 public:
  // Request time-out of every server, in seconds.
  static constexpr int DEFAULT_QUERY_TIMEOUT = 300;
  // Put in front of the DR group name given: the group's name on the array.
  static constexpr char DR_GROUP_PREFIX[] = "\\Data Replication\\";

  // drGroupName without the prefix (it is always added); hyphens anywhere
  // in arrayWWN are dropped; wmsList in the order to try.
  ZARNGetDRState(const std::string& drGroupName, const std::string& arrayWWN,
                 const std::vector<std::string>& wmsList);
  virtual ~ZARNGetDRState();
  ZARNGetDRState(const ZARNGetDRState&) = delete;
  ZARNGetDRState& operator=(const ZARNGetDRState&) = delete;

  // 0 once the state has been printed, -1 on every failure (reported on
  // standard output).
  int findDRState();

  // The map file both tables are read from (tests only).
  void setMapFileName(const std::string& path);

  const std::string& getDRGroup() const { return drGrp; }
  const std::string& getLocalArrayWWN() const { return localArrayWWN; }

 private:
  bool loadSMISInformation();
  void loadMAPFile();
  // A server connected for data, or null when it cannot be reached.
  std::unique_ptr<SMISServer> findSMISServer(const SMISData& data);
  // Reads and prints the state through server: 0, or -1 on any failure
  // (nothing printed).
  int getDRState(SMISServer& server);
  // Throws (cim::Exception) when the DR group cannot be found.
  cim::ObjectPath findCSObjectPath(SMISServer& server, const std::string& storageName,
                                   const std::string& drGroupName);
  cim::ObjectPath findStorageObjectPath(SMISServer& server,
                                        const std::string& storageName);

  Logger* log;
  bool loadedSMISInfo;
  bool loadedMAPFile;
  SMISManager smisMgr;
  ZARNIDMap idMap;
  std::string drGrp;
  std::string localArrayWWN;
  std::vector<std::string> smisList;
  std::string participationType;
  cim::ObjectPath localCSObjectPath;
};

#endif  // ZARN_TOOLS_ZARN_GET_DR_STATE_H
