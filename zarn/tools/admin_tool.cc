#include "zarn/tools/admin_tool.h"

#include <getopt.h>

#include <exception>
#include <iostream>

#include "cim/exception.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/smis_server.h"
#include "zarn/store/smis_manager.h"

void AdminTool::restartOptions(bool printErrors) {
  optind = 0;
  opterr = printErrors ? 1 : 0;
}

ToolOutput standardOutput() { return {sys::platform().console, &std::cerr}; }

bool connectQueryServer(SMISServer& server, const SMISData& entry,
                        const std::string& untrustedPrefix, const ToolOutput& io) {
  try {
    connectListedServer(server, entry, [] { return schema::DEFAULT_QUERY_TIMEOUT; }, false);
  } catch (const std::exception& e) {
    reportUnusableServer(entry, e, untrustedPrefix, io);
    return false;
  }
  return true;
}

void reportUnusableServer(const SMISData& entry, const std::exception& failure,
                          const std::string& untrustedPrefix, const ToolOutput& io) {
  // Passed over like any unreachable server, but never silently.
  if (const auto* untrusted = dynamic_cast<const cim::UntrustedServerException*>(&failure))
    io.out->write(untrustedPrefix + untrusted->getMessage() + "\n");
  else
    Logger::getInstance()->logDebug("Cannot connect to the SMI-S " + entry.hostname + ": " +
                                    failure.what());
}
