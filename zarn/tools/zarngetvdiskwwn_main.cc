// ZARNGetVdiskWWN: lists the virtual disks of a package's DR group, one
// "ZARNDRVDISK <name>" line each.
//   ZARNGetVdiskWWN <environment file | package> [ignored ...]
// Exit status 0 when the disks were listed, 1 when the lookup failed, 255
// without an argument.
#include "zarn/tools/zarn_get_vdisk_wwn.h"

int main(int argc, char* argv[]) { return runTool<ZARNGetVdiskWWN>(argc, argv); }
