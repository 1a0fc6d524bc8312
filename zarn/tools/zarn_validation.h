// ZARNValidation, run by the cluster manager's configuration commands
// (kxcheckconf checks a package configuration, kxapplyconf applies it) for
// a package on the replicated arrays. It checks that the package
// environment is complete and consistent (core and array variables), that
// the map file's SMI-S server list and device ID map can be read, and that
// at least one SMI-S server of this node's data centre answers and manages
// both arrays of the package. The usable servers are written, one host name
// a line, to the environment file's name with ".smis" appended; that file is
// written only when the environment file could be read and a usable server
// was found. The package folder may be writable by others than root, so the
// output file is never opened: a new file is made beside it and renamed
// over it, whatever stands there (a link, a FIFO).
//
// Messages go to the logger, except those about the output file, which go
// to standard output. Unusable servers are warnings; the absence of any
// usable server is an error, and so is an output file that was not written.
// A usable server reached over HTTP, or over HTTPS without a trusted
// certificate, is warned about once (the result stays as it is).
#ifndef ZARN_TOOLS_ZARN_VALIDATION_H
#define ZARN_TOOLS_ZARN_VALIDATION_H

#include <memory>
#include <string>
#include <vector>

#include "sfcore/core_environment.h"
#include "zarn/store/smis_manager.h"
#include "zarn/array/yrzarn_environment.h"
#include "zarn/store/zarn_id_map.h"
#include "zarn/smis/schema.h"
#include "zarn/tools/admin_tool.h"

// Appended to the environment file's name for the list of usable servers.
constexpr char SMIS_LIST_SUFFIX[] = ".smis";
// How long a run waits for another run writing the same output file.
constexpr unsigned LOCK_WAIT_SECONDS = 10;

class ZARNValidation : public MapFileTool {
 public:
  using MapFileTool::MapFileTool;
  static constexpr ToolUsage USAGE{
      3,
      "Error - Provide enough Arguments, Environment file & Command Name - "
      "'kxcheckconf/kxapplyconf'\n"};

  //   ZARNValidation <environment file | package> <kxcheckconf | kxapplyconf>
  // Check mode (kxcheckconf) uses the package's query time-out for the
  // servers, any other word apply mode, with the CIM client's default of 20
  // seconds. The whole check: 0 when everything is valid, -1 otherwise
  // (every fault found is logged).
  int run(int argc, char* argv[]) override;

 private:
  // Reads the core and the array variables and validates them; false when
  // any fault was found (all of them are logged).
  bool validateENVFile();
  // Loads the SMI-S server list and the device ID map; false when either
  // cannot be read (both are tried).
  bool validateZARNMAPFile();
  bool loadSMISInformation();
  // Tries every local SMI-S server and collects the usable ones in
  // smisNamesList; unusable ones are logged as warnings. Always true.
  bool isSMISConnect();
  // A connected server for data, or null (logged) when it cannot be
  // reached.
  std::unique_ptr<SMISServer> findSMISServer(const SMISData& data);
  // Replaces the output file with a new one, readable by all, that holds
  // smisNamesList; false, said on standard output, when that failed. Two
  // runs for the same file take turns through a lock file beside it,
  // waiting at most LOCK_WAIT_SECONDS for the other run.
  bool writeToFile();
  // The time-out line that ends a warning about a server.
  std::string responseTimeoutText();

  Logger* log = Logger::getInstance();
  std::string envFileName;
  bool isKxcheckconf = false;
  // QUERY_TIME_OUT as read, before validation
  int queryTimeout = schema::DEFAULT_QUERY_TIMEOUT;
  bool loadedENV = false;
  bool readENV = false;  // both tables read the environment file without failure
  bool loadedSMISInfo = false;
  YRZARNEnvironment zarnEnv;
  CoreEnvironment envObj;
  std::vector<std::string> smisNamesList;
  LifeTrace trace{"ZARNValidation"};
};

#endif  // ZARN_TOOLS_ZARN_VALIDATION_H
