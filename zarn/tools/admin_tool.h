// The frame of the administration tools: every tool is one AdminTool,
// entered through run() with its command line and writing through the
// ToolOutput it was given; every program's main is runTool<Tool>.
#ifndef ZARN_TOOLS_ADMIN_TOOL_H
#define ZARN_TOOLS_ADMIN_TOOL_H

#include <exception>
#include <ostream>
#include <string>

#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/store/map_file.h"
#include "zarn/store/smis_manager.h"
#include "zarn/store/zarn_id_map.h"

class SMISServer;

// Where a tool writes: standard output through a console, which the logger
// shares, and standard error as a stream. Both must outlive the tool.
struct ToolOutput {
  sys::Console* out;
  std::ostream* err;
};

// The process's own: the platform's console and standard error.
ToolOutput standardOutput();

// A tool that takes its words by position needs at least minArgc of them
// (its name included); with fewer, text is all it writes.
struct ToolUsage {
  int minArgc;
  const char* text;
};

class AdminTool {
 public:
  static constexpr ToolUsage USAGE{0, ""};

  explicit AdminTool(const ToolOutput& io) : io(io) {}
  virtual ~AdminTool() = default;
  AdminTool(const AdminTool&) = delete;
  AdminTool& operator=(const AdminTool&) = delete;

  // Carries out the command line (argv[0] is the name the tool was called
  // by); the exit status.
  virtual int run(int argc, char* argv[]) = 0;

 protected:
  // The name the tool was called by (argv[0]), else fallback.
  static std::string calledName(int argc, char* argv[], const char* fallback) {
    return argc > 0 && argv[0] != nullptr ? argv[0] : fallback;
  }
  // Readies getopt for a fresh scan of a command line, also when a process
  // runs tools more than once; with printErrors the parser prints its own
  // diagnostics.
  static void restartOptions(bool printErrors);

  // True, after writing the usage text on standard output, when argc is
  // below its minimum.
  bool tooFewWords(int argc, const ToolUsage& usage) {
    if (argc >= usage.minArgc) return false;
    io.out->write(usage.text);
    return true;
  }

  ToolOutput io;
};

// A tool that reads both tables of the map file.
class MapFileTool : public AdminTool {
 public:
  using AdminTool::AdminTool;

  // The map file both tables are read from (tests only).
  void setMapFileName(const std::string& path) {
    smisMgr.setFileName(path);
    idMap.setFileName(path);
  }

 protected:
  SMISManager smisMgr;
  ZARNIDMap idMap;
};

// Writes "Inside the <name> constructor" at debug level when made and
// "Inside the <name> destructor" when destroyed. As the last member of a
// tool it brackets the tool's life: it is made after every other member and
// destroyed before them.
class LifeTrace {
 public:
  explicit LifeTrace(const char* name) : name(name) {
    Logger::getInstance()->logDebug("Inside the " + this->name + " constructor");
  }
  ~LifeTrace() { Logger::getInstance()->logDebug("Inside the " + name + " destructor"); }
  LifeTrace(const LifeTrace&) = delete;
  LifeTrace& operator=(const LifeTrace&) = delete;

 private:
  std::string name;
};

// Connects server to entry for a query tool, with the default query
// time-out. False when the server cannot be used; the reason is reported
// as reportUnusableServer does.
bool connectQueryServer(SMISServer& server, const SMISData& entry,
                        const std::string& untrustedPrefix, const ToolOutput& io);
// Why a query tool cannot use the server of entry: a certificate that is
// not the trusted one on standard output, as untrustedPrefix and the
// reason; any other failure only at debug level.
void reportUnusableServer(const SMISData& entry, const std::exception& failure,
                          const std::string& untrustedPrefix, const ToolOutput& io);

// The whole program of a tool: the process kept out of core dumps (the map
// file holds the SMI-S passwords); a command line with too few words
// refused before anything is made or read; the logger and one Tool on the
// process's output, run on the command line.
template <class Tool>
int runTool(int argc, char* argv[]) {
  keepSecretsOutOfCoreDumps();
  const ToolOutput io = standardOutput();
  if (argc < Tool::USAGE.minArgc) {
    io.out->write(Tool::USAGE.text);
    return -1;
  }
  Logger* log = Logger::createInstance();
  int status;
  {
    Tool tool(io);
    status = tool.run(argc, argv);
  }
  Logger::removeInstance(&log);
  return status;
}

#endif  // ZARN_TOOLS_ADMIN_TOOL_H
