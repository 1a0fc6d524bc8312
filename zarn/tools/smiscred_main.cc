// smiscred: keeps the SMI-S server list of the map file.
#include "zarn/tools/smis_cred_tool.h"

int main(int argc, char* argv[]) { return runTool<SMISCredTool>(argc, argv); }
