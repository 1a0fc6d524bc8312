// Runs zarnsim as a child process for the duration of a test: writes the
// scenario to a temporary directory, starts the program with the options
// given, waits for its "zarnsim ready on port N" line and stops it with
// SIGTERM at the end.
#ifndef TESTS_CIM_ZARNSIM_PROCESS_H
#define TESTS_CIM_ZARNSIM_PROCESS_H

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cim/scripted_server.h"

namespace test {

class Zarnsim {
 public:
  // Starts binary with --scenario (the text, saved to a file), --port 0,
  // --bind 127.0.0.1 and the extra arguments. started() tells whether it
  // became ready within 30 seconds.
  Zarnsim(const std::string& binary, const std::string& scenarioText,
          const std::vector<std::string>& extra) {
    std::string scenarioFile = dir_.path() + "/scenario.json";
    std::ofstream(scenarioFile) << scenarioText;
    std::string outFile = dir_.path() + "/zarnsim.out";
    std::vector<std::string> args = {binary, "--scenario", scenarioFile, "--port", "0",
                                     "--bind", "127.0.0.1"};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      if (std::freopen(outFile.c_str(), "w", stdout) == nullptr) _exit(127);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(binary.c_str(), argv.data());
      _exit(127);
    }
    for (int i = 0; i < 600 && port_ == 0; ++i) {
      std::ifstream in(outFile);
      for (std::string line; std::getline(in, line);)
        std::sscanf(line.c_str(), "zarnsim ready on port %d", &port_);
      if (port_ == 0) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
          pid_ = -1;
          break;
        }
        ::usleep(50000);
      }
    }
  }
  ~Zarnsim() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Zarnsim(const Zarnsim&) = delete;
  Zarnsim& operator=(const Zarnsim&) = delete;

  bool started() const { return port_ != 0; }
  std::uint32_t port() const { return static_cast<std::uint32_t>(port_); }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace test

#endif  // TESTS_CIM_ZARNSIM_PROCESS_H
