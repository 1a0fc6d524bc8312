// End-to-end test harness: runs a real program on a sandboxed cluster node.
//
// A Sandbox is a temporary folder plus, for each run, a private mount and
// UTS namespace in which:
//   - the host name is the node's own;
//   - /etc, /opt, /usr, /var, /root, /home and /srv are overlays whose upper
//     layer lives in the sandbox folder, so files the test puts there (the
//     package environment, /etc/kxcluster.conf, the map file, ...) appear at
//     their fixed paths, and whatever the program writes there lands in the
//     sandbox, never on the machine; /run is an empty tmpfs;
//   - /dev is a small tmpfs with null, zero, full, random, urandom, tty,
//     pts and ptmx, and a /dev/log socket the harness listens on, so the
//     program's system-log entries are collected for real;
//   - the cluster manager's and volume managers' commands can be recording
//     doubles whose answers are scripted per argument line.
// Needs root (unshare and mount). Nothing outside the sandbox folder and the
// program's own temporary files is written.
#ifndef TESTS_SUPPORT_SANDBOX_H
#define TESTS_SUPPORT_SANDBOX_H

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace support {

// The node paths of the doubles installClusterDoubles() puts in place.
extern const char* const KXGETPKGENV;  // /opt/kxcluster/bin/kxgetpkgenv
extern const char* const KXEXEC;       // /usr/sbin/kxexec
extern const char* const VXDG;         // /usr/sbin/vxdg
extern const char* const VXDCTL;       // /usr/sbin/vxdctl
extern const char* const VGCHANGE;     // /usr/sbin/vgchange (on PATH)
extern const char* const MAP_FILE;  // /opt/kxcluster/conf/sfyrzarn/yrzarn.map

// One entry sent to the node's journal socket, by field name (the
// journal's native protocol, text or binary fields).
using JournalEntry = std::map<std::string, std::string>;

struct SysLogEntry {
  int priority = -1;  // facility * 8 + severity, as sent
  std::string ident;
  std::string message;
  std::string raw;  // the datagram as received
};

struct RunOptions {
  std::vector<std::string> args;
  // Added to (or replacing) the defaults: PATH, HOME, "_" (the program's
  // path, as a shell sets it) and the sanitizer options of the test run.
  std::map<std::string, std::string> env;
  // Standard input; empty input when not given.
  std::optional<std::string> input;
  // Standard input is a terminal (the output stays on pipes). The input is
  // typed at once, or step by step with dialogue.
  bool pty = false;
  // With pty: each pair waits until its text appears (after the previous
  // one) on standard output or the terminal, then types its second part.
  std::vector<std::pair<std::string, std::string>> dialogue;
  // Runs the program under faketime, starting at this time.
  std::optional<std::string> fakeTime;
  // Working directory on the node ("/" when empty).
  std::string workDir;
  int timeoutSeconds = 60;
};

struct RunResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  int signal = 0;     // the signal that ended it, if any
  bool timedOut = false;
  std::string setupError;  // non-empty when the sandbox could not be made
  std::string out;
  std::string err;
  std::string terminal;  // what the program wrote to, and echoed on, the pty
  std::vector<SysLogEntry> sysLog;
  std::vector<JournalEntry> journal;  // what reached /run/systemd/journal/socket
  std::vector<std::string> calls;  // double calls: "name arg1 arg2 ..."

  // The messages of the logger's standard-output lines, a message of
  // several lines joined with its line feeds; debug ones start "DEBUG ".
  std::vector<std::string> messages() const;
  std::vector<std::string> normalMessages() const;
  // The text of every system-log entry.
  std::vector<std::string> sysLogMessages() const;
  // Everything, for failure messages.
  std::string describe() const;
};

class Sandbox {
 public:
  explicit Sandbox(std::string hostName = "node1");
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  void setHostName(std::string name) { hostName_ = std::move(name); }
  const std::string& hostName() const { return hostName_; }
  // The sandbox folder on the machine.
  const std::string& folder() const { return folder_; }

  // Puts a file at an absolute node path below one of the overlaid folders
  // (parents are made); aborts the test process on a path outside them.
  void writeFile(const std::string& nodePath, const std::string& contents,
                 mode_t mode = 0644);
  void makeDir(const std::string& nodePath);
  // What a file the program wrote (or the test put) holds; nullopt when
  // it does not exist in the sandbox.
  std::optional<std::string> readFile(const std::string& nodePath) const;
  // Where a node path's sandbox copy lives on the machine.
  std::string hostPath(const std::string& nodePath) const;

  // A recording double at nodePath: each call appends "basename args" to
  // the call record, then answers as scripted (by default exit 0, no
  // output).
  void installDouble(const std::string& nodePath);
  // kxgetpkgenv, kxexec, vxdg, vxdctl and vgchange.
  void installClusterDoubles();
  // Answer of the double called name (its basename) when its arguments,
  // joined by blanks, are exactly args. Later calls add more answers.
  void answer(const std::string& name, const std::string& args, int exitCode,
              const std::string& output = "");
  // Answer for any other argument line.
  void defaultAnswer(const std::string& name, int exitCode,
                     const std::string& output = "");
  // Calls recorded so far, in order.
  std::vector<std::string> calls() const;

  // Runs program (a path on the machine or the node) on the node and
  // collects everything; the call record starts empty for each run.
  RunResult run(const std::string& program, const RunOptions& options = {});

 private:
  std::string hostName_;
  std::string folder_;
  std::map<std::string, int> answerCount_;
};

// Reads a whole file of the machine ("" when missing).
std::string readHostFile(const std::string& path);

// Makes a run see the clock that libfaketime's spec describes (for example
// "@2024-01-01 00:00:00 x10"), with shim, a library of the test's that
// replaces sleep(), preloaded ahead of libfaketime.
void preloadFakeTime(RunOptions& options, const std::string& shim, const std::string& spec);

}  // namespace support

#endif  // TESTS_SUPPORT_SANDBOX_H
