// smistrust: keeps the trusted certificates of the SMI-S servers.
#include <iostream>

#include "drif/logger.h"
#include "zarn/tools/smis_trust_tool.h"

int main(int argc, char* argv[]) {
  Logger* log = Logger::createInstance();
  int status;
  {
    SMISTrustTool tool(&std::cin, &std::cerr);
    status = tool.run(argc, argv);
  }
  Logger::removeInstance(&log);
  return status;
}
