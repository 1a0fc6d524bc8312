// smiscred: keeps the SMI-S server list of the map file.
#include <iostream>

#include "drif/logger.h"
#include "zarn/store/map_file.h"
#include "zarn/tools/smis_cred_tool.h"

int main(int argc, char* argv[]) {
  // Before any password is typed or read from the map file.
  keepSecretsOutOfCoreDumps();
  Logger* log = Logger::createInstance();
  int status;
  {
    TerminalPasswordInput passwords;
    SMISCredTool tool(&passwords, &std::cerr);
    status = tool.run(argc, argv);
  }
  Logger::removeInstance(&log);
  return status;
}
