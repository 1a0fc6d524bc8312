// zarndiscovery: builds the device ID map of the map file from an input
// file of storage system pairs and DR groups, and lists the stored map.
#include <iostream>

#include "drif/logger.h"
#include "zarn/store/map_file.h"
#include "zarn/tools/zarn_discovery.h"

int main(int argc, char* argv[]) {
  // The map file holds the SMI-S passwords: no core file may carry them.
  keepSecretsOutOfCoreDumps();
  Logger* log = Logger::createInstance();
  int status;
  {
    ZARNDiscovery tool(&std::cerr);
    status = tool.run(argc, argv);
  }
  Logger::removeInstance(&log);
  return status;
}
