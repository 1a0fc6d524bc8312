// ZARNGetAttributes: prints the array variables of a package for one
// replicated disk, as "dts/yrzarn/<NAME>\t<value>" lines.
//   ZARNGetAttributes <device WWN> <node> <node> [<node> ...]
// Exit status 0 when the attributes were printed, 255 otherwise.
#include <string>
#include <vector>

#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/store/map_file.h"
#include "zarn/tools/zarn_get_attributes.h"

int main(int argc, char* argv[]) {
  // The map file holds the SMI-S passwords: no core file may carry them.
  keepSecretsOutOfCoreDumps();
  if (argc < 4) {
    sys::platform().console->write(
        "WARNING: Provide enough Arguments, Device WWN and Cluster Nodes.\n");
    return -1;
  }
  Logger* log = Logger::createInstance();
  int status;
  {
    ZARNGetAttributes tool(argv[1], std::vector<std::string>(argv + 2, argv + argc));
    status = tool.findAttributes();
  }
  Logger::removeInstance(&log);
  return status;
}
