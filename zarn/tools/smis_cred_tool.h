// smiscred, the administrator's command for the SMI-S server list of the map
// file: add or update a server, replace the list from an input file, remove
// a server, list the servers, choose the default one. Passwords are asked
// for on the terminal with echo off and are never shown or logged. One run
// is one action; the map file is written once, at its end, and only when
// the action succeeded. A server added or changed that will be reached over
// HTTP, or over HTTPS without a trusted certificate, is warned about on
// standard output once it has been saved.
#ifndef ZARN_TOOLS_SMIS_CRED_TOOL_H
#define ZARN_TOOLS_SMIS_CRED_TOOL_H

#include <ostream>
#include <string>

#include "zarn/smis/smis_trust_store.h"
#include "zarn/store/smis_manager.h"
#include "zarn/tools/admin_tool.h"

// Where passwords come from.
class PasswordInput {
 public:
  virtual ~PasswordInput() = default;
  // Writes prompt to standard output and reads one line without showing
  // what is typed; the line feed is not kept. False when nothing could be
  // read.
  virtual bool readHidden(const std::string& prompt, std::string* line) = 0;
};

// Reads standard input; while it is a terminal, echo is off for the line
// and the terminal's settings are restored afterwards, dropping any input
// typed ahead.
class TerminalPasswordInput : public PasswordInput {
 public:
  bool readHidden(const std::string& prompt, std::string* line) override;
};

class SMISCredTool : public AdminTool {
 public:
  // Passwords come from passwords, else from the terminal. mapFile is the
  // map file and trustFolder the trusted certificates' folder (tests only).
  explicit SMISCredTool(const ToolOutput& io, PasswordInput* passwords = nullptr,
                        const std::string& mapFile = MAP_FILE,
                        const std::string& trustFolder = SMIS_TRUST_FOLDER);

  // Carries out the action of the command line; the exit status, 0 or 1.
  int run(int argc, char* argv[]) override;

 private:
  // The actions; each answers the exit status.
  int addOrUpdate();
  int listServers(int argc);
  int setDefault(int argc);
  int removeServer(int argc);
  // Loads the server list, applies change to the host of the command line
  // and saves the list; then "The SMI-S <host>" and done.
  int changeHost(int argc, int (SMISManager::*change)(const std::string&), const char* done);
  int replaceFromFile(int argc);

  // Asks twice, up to three times, until both entries match.
  bool askPassword(const std::string& suffix, std::string* password);
  void printUsage();
  void print(const std::string& text);
  void error(const std::string& text);
  // On standard output, what the administrator should know about how the
  // server of record is reached (connectionWarning), if anything.
  void warnAbout(const SMISData& record);
  // "Error - " + text, then the usage text; 1 for the exit status.
  int usageError(const std::string& text);

  TerminalPasswordInput terminal;
  PasswordInput* passwords;
  std::ostream* err;
  std::string mapFile;
  std::string trustFolder;
  std::string command;  // the tool's name as called

  std::string host;  // of -h, -r or -d, whichever came last
  std::string cimNamespace, username, port, useSSL, inputFile;
  bool namespaceGiven = false, usernameGiven = false, portGiven = false,
       sslGiven = false;
};

#endif  // ZARN_TOOLS_SMIS_CRED_TOOL_H
