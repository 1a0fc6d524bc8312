// ZARNGetDRState: prints the raw replication state of one DR group on one
// array, through the first WMS of the list that answers for it.
//   ZARNGetDRState <DR group> <array world wide name> <WMS> [<WMS> ...]
// Exit status 0 when the state was printed, 255 otherwise.
#include <string>
#include <vector>

#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/store/map_file.h"
#include "zarn/tools/zarn_get_dr_state.h"

int main(int argc, char* argv[]) {
  // The map file holds the SMI-S passwords: no core file may carry them.
  keepSecretsOutOfCoreDumps();
  if (argc < 4) {
    sys::platform().console->write(
        "Error - Provide enough Arguments: DR Group, Local Array WWN, WMS list.\n");
    return -1;
  }
  Logger* log = Logger::createInstance();
  int status;
  {
    ZARNGetDRState query(argv[1], argv[2], std::vector<std::string>(argv + 3, argv + argc));
    status = query.findDRState();
  }
  Logger::removeInstance(&log);
  return status;
}
