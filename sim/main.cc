// zarnsim: a CIM server that simulates the storage arrays of a scenario.
// Prints "zarnsim ready on port N" once it accepts connections and serves
// until SIGTERM or SIGINT.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "sim/cim_service.h"
#include "sim/http_server.h"
#include "sim/request_log.h"
#include "sim/scenario.h"

namespace {

const char* const USAGE =
    "Usage: zarnsim --scenario FILE [--port N] [--bind ADDR]\n"
    "               [--https --cert FILE --key FILE]\n"
    "               [--user U --password P] [--request-log FILE]\n"
    "               [--local-socket PATH]\n";

struct Arguments {
  std::string scenario;
  std::string user;
  std::string password;
  std::string requestLog;
  sim::ServerOptions server;
  bool portGiven = false;
};

int usageError(const std::string& message) {
  std::cerr << "zarnsim: " << message << "\n" << USAGE;
  return 2;
}

// Returns 0 when the arguments are good, else the exit status.
int parseArguments(int argc, char** argv, Arguments* args) {
  for (int i = 1; i < argc; ++i) {
    std::string opt = argv[i];
    if (opt == "--help" || opt == "-h") {
      std::cout << USAGE;
      return -1;
    }
    if (opt == "--https") {
      args->server.https = true;
      continue;
    }
    if (i + 1 >= argc) return usageError(opt + " needs a value");
    std::string value = argv[++i];
    if (opt == "--scenario") {
      args->scenario = value;
    } else if (opt == "--port") {
      char* end = nullptr;
      long port = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || port < 0 || port > 65535)
        return usageError("bad port " + value);
      args->server.port = static_cast<int>(port);
      args->portGiven = true;
    } else if (opt == "--bind") {
      args->server.bind = value;
    } else if (opt == "--cert") {
      args->server.certFile = value;
    } else if (opt == "--key") {
      args->server.keyFile = value;
    } else if (opt == "--user") {
      args->user = value;
    } else if (opt == "--password") {
      args->password = value;
    } else if (opt == "--request-log") {
      args->requestLog = value;
    } else if (opt == "--local-socket") {
      args->server.localSocket = value;
    } else {
      return usageError("unknown option " + opt);
    }
  }
  if (args->scenario.empty()) return usageError("--scenario is required");
  if (args->server.https &&
      (args->server.certFile.empty() || args->server.keyFile.empty()))
    return usageError("--https needs --cert and --key");
  if (args->user.empty() != args->password.empty())
    return usageError("--user and --password go together");
  if (!args->portGiven) args->server.port = args->server.https ? 5989 : 5988;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  int bad = parseArguments(argc, argv, &args);
  if (bad != 0) return bad < 0 ? 0 : bad;

  std::ifstream in(args.scenario);
  if (!in) {
    std::cerr << "zarnsim: cannot read " << args.scenario << "\n";
    return 2;
  }
  std::stringstream text;
  text << in.rdbuf();
  sim::Scenario scenario;
  std::string error;
  if (!sim::parseScenario(text.str(), &scenario, &error)) {
    std::cerr << "zarnsim: " << args.scenario << ": " << error << "\n";
    return 2;
  }

  sim::RequestLog log;
  if (!args.requestLog.empty() && !log.open(args.requestLog)) {
    std::cerr << "zarnsim: cannot write " << args.requestLog << "\n";
    return 2;
  }

  // Signals are taken by sigwait below; every thread started later inherits
  // the mask. A peer that goes away must not end the process.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  sim::CimService service(std::move(scenario), args.user, args.password, &log);
  sim::SimServer server(&service, args.server);
  if (!server.start(&error)) {
    std::cerr << "zarnsim: " << error << "\n";
    return 1;
  }
  std::printf("zarnsim ready on port %d\n", server.port());
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.stop();
  return 0;
}
