// ZARNGetVdiskWWN lists the virtual disks of a package's DR group: it reads
// the package's array variables, finds the DR group through the device ID
// map and an SMI-S server of the map file's server list, and prints one line
// "ZARNDRVDISK <name>" per member disk, in the order the server gives them.
// Results go to standard output, errors to the error stream, the connection
// messages to the logger.
//
// The package environment is read but not validated, so the DC1 array
// counts as local and only the default (first) server of the list is
// tried.
#ifndef ZARN_TOOLS_ZARN_GET_VDISK_WWN_H
#define ZARN_TOOLS_ZARN_GET_VDISK_WWN_H

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "zarn/store/smis_manager.h"
#include "zarn/array/yrzarn_environment.h"
#include "zarn/store/zarn_id_map.h"
#include "zarn/tools/admin_tool.h"

class ZARNGetVdiskWWN : public MapFileTool {
 public:
  using MapFileTool::MapFileTool;
  static constexpr ToolUsage USAGE{
      2,
      "Warning - Provide enough Arguments, Device WWN, Environment file & Command Name - "
      "'kxcheckconf/kxapplyconf'\n\n"};

  //   ZARNGetVdiskWWN <environment file | package> [ignored ...]
  // 0 once the disks have been listed (none for an empty DR group); 1 on
  // any failure, reported by a line on the error stream (a CIM failure
  // after connecting included); -1 without an argument.
  int run(int argc, char* argv[]) override;

 private:
  // Connects the default server or, failing that, a host of the local list
  // (as ServerChoice chooses); null (reported) when no server is left.
  std::unique_ptr<SMISServer> connectServer(int queryTimeout);
  // The member disks' names, in the server's order; 1 (reported) when the
  // DR group is not on the server. Throws cim::Exception.
  int listDisks(SMISServer& server, const std::string& instanceID,
                std::vector<std::string>* names);

  Logger* log = Logger::getInstance();
  std::string packageName;
  std::ostream* err = io.err;
  YRZARNEnvironment zarnEnv;
  LifeTrace trace{"ZARNGetVdiskWWN"};
};

#endif  // ZARN_TOOLS_ZARN_GET_VDISK_WWN_H
