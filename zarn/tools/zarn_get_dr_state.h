// ZARNGetDRState, the administrator's query of one DR group's replication
// state on one array. Given the DR group's short name, the array's world
// wide name and a list of WMS host names (SMI-S servers named as in the map
// file's server list), it tries the servers in the given order until one
// answers for the DR group, and prints the group's four raw state
// properties on standard output. It only reads: nothing changes on the
// array or in the map file.
//
// The DR group is looked up in the device ID map first; without an entry it
// is searched among the DR groups of the array, by name. The servers are
// chosen as ServerChoice chooses (a server that does not answer soon gives
// way to the next one that does, in the given order). Every failure on one
// server is silent (but for a certificate that is not the trusted one) and
// leads to the next server; only the outcome of the whole search is
// reported.
#ifndef ZARN_TOOLS_ZARN_GET_DR_STATE_H
#define ZARN_TOOLS_ZARN_GET_DR_STATE_H

#include <string>
#include <vector>

#include "cim/object_path.h"
#include "zarn/store/smis_manager.h"
#include "zarn/store/zarn_id_map.h"
#include "zarn/tools/admin_tool.h"

class ZARNGetDRState : public MapFileTool {
 public:
  using MapFileTool::MapFileTool;
  static constexpr ToolUsage USAGE{
      4,
      "Error - Provide enough Arguments: DR Group, Local Array WWN, WMS list.\n"};

  //   ZARNGetDRState <DR group> <array world wide name> <WMS> [<WMS> ...]
  // The DR group without the "\Data Replication\" prefix (it is always
  // added); hyphens anywhere in the world wide name are dropped; the WMS in
  // the order to try. 0 once the state has been printed, -1 on every
  // failure (reported on standard output).
  int run(int argc, char* argv[]) override;

  const std::string& getDRGroup() const { return drGrp; }
  const std::string& getLocalArrayWWN() const { return localArrayWWN; }

 private:
  bool loadSMISInformation();
  void loadMAPFile();
  // Reads and prints the state through server: 0, or -1 on any failure
  // (nothing printed).
  int getDRState(SMISServer& server);
  // Throws (cim::Exception) when the DR group cannot be found.
  cim::ObjectPath findCSObjectPath(SMISServer& server, const std::string& storageName,
                                   const std::string& drGroupName);

  Logger* log = Logger::getInstance();
  bool loadedSMISInfo = false;
  bool loadedMAPFile = false;
  std::string drGrp;
  std::string localArrayWWN;
  std::vector<std::string> smisList;
  std::string participationType;
  cim::ObjectPath localCSObjectPath;
  LifeTrace trace{"ZARNGetDRState"};
};

#endif  // ZARN_TOOLS_ZARN_GET_DR_STATE_H
