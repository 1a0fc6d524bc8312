// smistrust, the administrator's command for the trusted certificates of
// the SMI-S servers (SMISTrustStore): show the certificate a server
// presents and, once approved, trust it; list the trusted certificates;
// remove one. The server is reached over TLS without credentials: nothing
// is sent to it, so no password can leak to an impostor.
#ifndef ZARN_TOOLS_SMIS_TRUST_TOOL_H
#define ZARN_TOOLS_SMIS_TRUST_TOOL_H

#include <iostream>
#include <ostream>
#include <string>

#include "zarn/store/smis_manager.h"
#include "zarn/smis/smis_trust_store.h"
#include "zarn/tools/admin_tool.h"

class SMISTrustTool : public AdminTool {
 public:
  // Answers to the question come from in (standard input by default).
  // mapFile (for the server's port) and trustFolder are for tests only.
  explicit SMISTrustTool(const ToolOutput& io, std::istream* in = &std::cin,
                         const std::string& mapFile = MAP_FILE,
                         const std::string& trustFolder = SMIS_TRUST_FOLDER);

  // Carries out the action of the command line; the exit status, 0 or 1.
  int run(int argc, char* argv[]) override;

 private:
  int trustServer();
  int listTrusted();
  int removeTrusted();

  // The port of -p, else the server list's for the host, else 5989; 0 for
  // a -p that is not a port.
  int serverPort();
  void print(const std::string& text);
  // Writes "Error - " + text; 1 for the exit status.
  int error(const std::string& text);
  int usageError(const std::string& text);

  std::istream* in;
  std::ostream* err;
  std::string mapFile;
  SMISTrustStore store;
  std::string command;

  char action = 0;  // 'h', 'l' or 'r'
  std::string host, port;
  bool assumeYes = false;
};

#endif  // ZARN_TOOLS_SMIS_TRUST_TOOL_H
