// The frame of the administration tools: every tool is one AdminTool,
// entered through run() with its command line and writing through the
// ToolOutput it was given; every program's main is runTool<Tool>.
#ifndef ZARN_TOOLS_ADMIN_TOOL_H
#define ZARN_TOOLS_ADMIN_TOOL_H

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

class AdminTool {
 public:
  // A tool that takes its words by position needs at least MIN_ARGC of
  // them (its name included), else USAGE is all it writes.
  static constexpr int MIN_ARGC = 0;
  static constexpr char USAGE[] = "";

  explicit AdminTool(const ToolOutput& io) : io(io) {}
  virtual ~AdminTool() = default;
  AdminTool(const AdminTool&) = delete;
  AdminTool& operator=(const AdminTool&) = delete;

  // Carries out the command line (argv[0] is the name the tool was called
  // by); the exit status.
  virtual int run(int argc, char* argv[]) = 0;

 protected:
  // True, after writing usage on standard output, when argc < minArgc.
  bool tooFewWords(int argc, int minArgc, const char* usage) {
    if (argc >= minArgc) return false;
    io.out->write(usage);
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
// time-out. A server whose certificate is not the trusted one is reported
// on standard output as untrustedPrefix and the reason; any other failure
// only at debug level. False when the server cannot be used.
bool connectQueryServer(SMISServer& server, const SMISData& entry,
                        const std::string& untrustedPrefix, const ToolOutput& io);

// The whole program of a tool: the process kept out of core dumps (the map
// file holds the SMI-S passwords); a command line with too few words
// refused before anything is made or read; the logger and one Tool on the
// process's output, run on the command line.
template <class Tool>
int runTool(int argc, char* argv[]) {
  keepSecretsOutOfCoreDumps();
  const ToolOutput io = standardOutput();
  if (argc < Tool::MIN_ARGC) {
    io.out->write(Tool::USAGE);
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
