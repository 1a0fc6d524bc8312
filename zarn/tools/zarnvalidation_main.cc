// ZARNValidation: checks a package configuration for the cluster manager's
// configuration commands and records the usable SMI-S servers.
//   ZARNValidation <environment file | package> <kxcheckconf | kxapplyconf>
// Exit status 0 when everything is valid, 255 otherwise.
#include "zarn/tools/zarn_validation.h"

int main(int argc, char* argv[]) { return runTool<ZARNValidation>(argc, argv); }
