// ZARNGetAttributes: prints the array variables of a package for one
// replicated disk, as "dts/yrzarn/<NAME>\t<value>" lines.
//   ZARNGetAttributes <device WWN> <node> <node> [<node> ...]
// Exit status 0 when the attributes were printed, 255 otherwise.
#include "zarn/tools/zarn_get_attributes.h"

int main(int argc, char* argv[]) { return runTool<ZARNGetAttributes>(argc, argv); }
