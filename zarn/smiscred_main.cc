// smiscred: keeps the SMI-S server list of the map file.
#include <iostream>

#include "drif/logger.h"
#include "zarn/smis_cred_tool.h"

int main(int argc, char* argv[]) {
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
