// zarndiscovery: builds the device ID map of the map file from an input
// file of storage system pairs and DR groups, and lists the stored map.
#include "zarn/tools/zarn_discovery.h"

int main(int argc, char* argv[]) { return runTool<ZARNDiscovery>(argc, argv); }
