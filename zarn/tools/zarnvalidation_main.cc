// ZARNValidation: checks a package configuration for the cluster manager's
// configuration commands and records the usable SMI-S servers.
//   ZARNValidation <environment file | package> <kxcheckconf | kxapplyconf>
// Exit status 0 when everything is valid, 255 otherwise.
#include <cstring>

#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/store/map_file.h"
#include "zarn/tools/zarn_validation.h"

int main(int argc, char* argv[]) {
  // The map file holds the SMI-S passwords: no core file may carry them.
  keepSecretsOutOfCoreDumps();
  if (argc < 3) {
    sys::platform().console->write(
        "Error - Provide enough Arguments, Environment file & Command Name - "
        "'kxcheckconf/kxapplyconf'\n");
    return -1;
  }
  Logger* log = Logger::createInstance();
  int status;
  {
    ZARNValidation validation(argv[1], std::strcmp(argv[2], "kxcheckconf") == 0);
    status = validation.validateZARNAttribs();
  }
  Logger::removeInstance(&log);
  return status;
}
