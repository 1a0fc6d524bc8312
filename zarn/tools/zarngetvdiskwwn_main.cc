// ZARNGetVdiskWWN: lists the virtual disks of a package's DR group, one
// "ZARNDRVDISK <name>" line each.
//   ZARNGetVdiskWWN <environment file | package> [ignored ...]
// Exit status 0 when the disks were listed, 1 when the lookup failed, 255
// without an argument.
#include <iostream>

#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/store/map_file.h"
#include "zarn/tools/zarn_get_vdisk_wwn.h"

int main(int argc, char* argv[]) {
  // The map file holds the SMI-S passwords: no core file may carry them.
  keepSecretsOutOfCoreDumps();
  if (argc < 2) {
    sys::platform().console->write(
        "Warning - Provide enough Arguments, Device WWN, Environment file & Command Name - "
        "'kxcheckconf/kxapplyconf'\n\n");
    return -1;
  }
  Logger* log = Logger::createInstance();
  int status;
  {
    ZARNGetVdiskWWN lookup(argv[1], &std::cerr);
    status = lookup.run();
  }
  Logger::removeInstance(&log);
  return status;
}
