// ZARNGetAttributes works out the array variables of a package for one
// replicated disk. Given the disk's world wide name and the cluster nodes,
// it asks every SMI-S server of the map file's server list which arrays it
// manages, finds the disk on them, tells the local array (the one that
// presents the disk to this node) from the remote one, finds the disk's DR
// group, sorts the nodes by the array they are attached to, and prints the
// package attributes as lines "dts/yrzarn/<NAME>\t<value>", followed by an
// empty line, on standard output.
//
// Problems are reported as lines beginning "WARNING: " on standard output;
// the attribute lines are then not printed at all.
#ifndef ZARN_TOOLS_ZARN_GET_ATTRIBUTES_H
#define ZARN_TOOLS_ZARN_GET_ATTRIBUTES_H

#include <list>
#include <string>
#include <vector>

#include "zarn/store/smis_manager.h"
#include "zarn/tools/admin_tool.h"

namespace cim {
class ObjectPath;
}

// What one reachable SMI-S server manages.
class WMSData {
 public:
  std::string WMS;                     // host name as in the server list
  std::vector<std::string> arraysList;  // world wide names of its arrays
};

// What was found about the disk and the cluster.
class HOSTData {
 public:
  std::string localArrayWWN;   // empty until found
  std::string remoteArrayWWN;  // empty until found
  std::vector<std::string> drGpList;         // DR groups holding the disk
  std::vector<std::string> smisNamesList;    // servers managing both arrays
  std::vector<std::string> localNodesList;   // nodes on the local array
  std::vector<std::string> remoteNodesList;  // nodes on the remote array
};

class ZARNGetAttributes : public AdminTool {
 public:
  static constexpr char ATTRIBUTE_PATH[] = "dts/yrzarn/";

  using AdminTool::AdminTool;
  static constexpr ToolUsage USAGE{
      4,
      "WARNING: Provide enough Arguments, Device WWN and Cluster Nodes.\n"};

  //   ZARNGetAttributes <device WWN> <node> <node> [<node> ...]
  // The device's world wide name as given (hyphens are dropped), the
  // cluster nodes in order. 0 once the attribute lines have been printed,
  // -1 otherwise (after the warnings).
  int run(int argc, char* argv[]) override;

  // The map file the server list is read from (tests only).
  void setMapFileName(const std::string& path) { smisMgr.setFileName(path); }

  // The first 16 characters in four groups of four joined by "-"; false
  // for a name shorter than 16 characters.
  static bool convertToStorageFormat(const std::string& wwn, std::string* formatted);
  // The DR group's short name: the part after the last '\' of its element
  // name (a trailing '\' dropped first), the whole name without one.
  static std::string extractDRGroup(const std::string& elementName);

 private:
  bool loadSMISInformation();
  // Connects the server of entry; false when it cannot be reached.
  bool findSMISServer(const SMISData& entry, SMISServer* server);
  // 0 when the server's arrays were all looked at, 1 when it failed (it
  // counts as unreachable), -1 when the disk is in several DR groups.
  int findArraysWWNByWMS(SMISServer& server);
  bool findMatchingVolume(SMISServer& server, const cim::ObjectPath& system,
                          cim::ObjectPath* volume);
  // The host names the volume is presented to.
  std::vector<std::string> findMatchingHost(SMISServer& server,
                                            const cim::ObjectPath& volume);
  // 0 with the one DR group of the volume in drGpList, -1 otherwise.
  int findDRGroupForVolume(SMISServer& server, const cim::ObjectPath& volume);
  void findValidSMISList();
  // False (after a warning) when a node is on neither array.
  bool findLocalRemoteNodesList();
  void print(const std::string& text);

  Logger* log = Logger::getInstance();
  bool loadedSMISInfo = false;
  SMISManager smisMgr;
  std::list<WMSData> smisDataList;
  std::vector<std::string> clusterNodesList;
  std::vector<std::string> localArrayHostsList;
  std::vector<std::string> remoteArrayHostsList;
  std::string deviceWWN;
  HOSTData hostsList;
  LifeTrace trace{"ZARNGetAttributes"};
};

#endif  // ZARN_TOOLS_ZARN_GET_ATTRIBUTES_H
