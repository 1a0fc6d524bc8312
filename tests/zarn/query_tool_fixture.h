// What the tests of the query tools (ZARNGetDRState, ZARNGetAttributes,
// ZARNGetVdiskWWN) share: the fake platform with the logger, a map file in
// a temporary folder, the array simulator, and ways to read what the tool
// printed and what the simulator was asked.
#ifndef TESTS_ZARN_QUERY_TOOL_FIXTURE_H
#define TESTS_ZARN_QUERY_TOOL_FIXTURE_H

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/zarnsim_process.h"
#include "tests/support/fake_platform.h"
#include "tests/zarn/map_test_support.h"

namespace querytest {

using Lines = std::vector<std::string>;

// A port of 127.0.0.1 that refuses connections (bound, then released).
inline int closedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

class QueryToolTest : public ::testing::Test {
 protected:
  QueryToolTest() : debug_("DATAREP_DEBUG", std::nullopt) {
    logger_ = std::make_unique<fake::ScopedLogger>();
    mapFile_ = dir_.file("yrzarn.map");
  }

  void startSim(const std::string& scenario) {
    sim_ = std::make_unique<e2e::ZarnSim>(ZARNSIM_BIN, scenario);
    ASSERT_TRUE(sim_->ok()) << sim_->error();
  }
  e2e::ZarnSim& sim() { return *sim_; }

  // A server list entry for the simulator under this host name.
  e2e::SmisEntry simEntry(const std::string& host = "127.0.0.1") {
    e2e::SmisEntry e;
    e.host = host;
    e.port = sim_->port();
    return e;
  }
  // An entry whose server refuses connections.
  static e2e::SmisEntry deadEntry(const std::string& host) {
    e2e::SmisEntry e;
    e.host = host;
    e.port = closedPort();
    return e;
  }

  void writeMap(const std::vector<e2e::SmisEntry>& servers,
                const std::vector<e2e::DeviceEntry>& devices = {}) {
    maptest::spit(mapFile_, e2e::mapFileText(servers, devices));
  }
  const std::string& mapFile() const { return mapFile_; }

  // Everything written to standard output, as one text.
  std::string output() const {
    std::string out;
    for (const std::string& w : sys.console.writes) out += w;
    return out;
  }

  // The simulator's requests as "operation target".
  Lines requests() const {
    Lines out;
    for (const e2e::SimRequest& r : sim_->requests()) out.push_back(r.operation + " " + r.target);
    return out;
  }

  fake::ScopedPlatform sys;

 private:
  fake::ScopedEnv debug_;
  std::unique_ptr<fake::ScopedLogger> logger_;
  maptest::TempDir dir_;
  std::string mapFile_;
  std::unique_ptr<e2e::ZarnSim> sim_;
};

}  // namespace querytest

#endif  // TESTS_ZARN_QUERY_TOOL_FIXTURE_H
