// smistrust: keeps the trusted certificates of the SMI-S servers.
#include "zarn/tools/smis_trust_tool.h"

int main(int argc, char* argv[]) { return runTool<SMISTrustTool>(argc, argv); }
