// Test helpers that run the real zarnsim: a temporary folder, the simulator
// as a child process on a free port, shell commands with their output, and
// raw HTTP exchanges over TCP or the local socket (to see the bytes a
// client library would hide).
#ifndef TESTS_SIM_SIM_PROCESS_H
#define TESTS_SIM_SIM_PROCESS_H

#include <string>
#include <vector>

namespace simtest {

// A fresh folder under /tmp, removed with its contents at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& text) const;
  std::string read(const std::string& name) const;  // "" when missing

 private:
  std::string path_;
};

// zarnsim as a child process.
class SimProcess {
 public:
  SimProcess() = default;
  ~SimProcess();  // stops it if still running
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts zarnsim with these arguments (the program name is added) and
  // waits up to 10 s for its ready line. False if it did not get ready; then
  // exitStatus() tells how it ended and errors() what it said.
  bool start(const std::vector<std::string>& args);
  int port() const { return port_; }
  const std::string& readyLine() const { return readyLine_; }
  // Sends SIGTERM and waits; the wait status as from waitpid.
  int stop();
  int exitStatus() const { return status_; }
  std::string errors() const;

 private:
  int pid_ = -1;
  int port_ = 0;
  int status_ = -1;
  std::string readyLine_;
  std::string errFile_;
};

struct CommandOutput {
  int status = -1;     // exit status (0..255), -1 when it did not end normally
  std::string output;  // standard output and standard error together
};

// Runs a command through /bin/sh.
CommandOutput run(const std::string& command);

// Quotes a word for /bin/sh.
std::string shellQuote(const std::string& word);

// Sends raw bytes to 127.0.0.1:port (or, with port 0, to the Unix socket
// at socketPath) and returns everything received until the server closes or
// timeoutMs passes without data.
std::string exchange(int port, const std::string& socketPath,
                     const std::string& request, int timeoutMs = 5000);

// A CIM-XML request over HTTP with the usual headers and Connection: close;
// extraHeaders are whole lines ending in "\r\n".
std::string httpRequest(const std::string& method, const std::string& object,
                        const std::string& body,
                        const std::string& extraHeaders = "");

// The body of an intrinsic request in root/ZARN with the given IPARAMVALUEs.
std::string intrinsicBody(const std::string& method, const std::string& params);

}  // namespace simtest

#endif  // TESTS_SIM_SIM_PROCESS_H
