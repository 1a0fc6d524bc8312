// What the tests of the query tools (ZARNGetDRState, ZARNGetAttributes,
// ZARNGetVdiskWWN) share: the fake platform with the logger, a map file in
// a temporary folder, the array simulator, and ways to read what the tool
// printed and what the simulator was asked.
#ifndef TESTS_ZARN_QUERY_TOOL_FIXTURE_H
#define TESTS_ZARN_QUERY_TOOL_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"
#include "tests/support/map_store.h"
#include "tests/support/tool_args.h"
#include "tests/support/zarnsim.h"

namespace support {

using Lines = std::vector<std::string>;

class QueryToolTest : public ::testing::Test {
 protected:
  QueryToolTest() : debug_("DATAREP_DEBUG", std::nullopt) {
    logger_ = std::make_unique<fake::ScopedLogger>();
    mapFile_ = dir_.file("yrzarn.map");
  }

  void startSim(const std::string& scenario) {
    sim_ = std::make_unique<ZarnSim>(ZARNSIM_BIN, scenario);
    ASSERT_TRUE(sim_->ok()) << sim_->error();
  }
  ZarnSim& sim() { return *sim_; }

  // A server list entry for the simulator under this host name.
  SmisEntry simEntry(const std::string& host = "127.0.0.1") {
    return support::simEntry(*sim_, host);
  }
  // An entry whose server refuses connections.
  static SmisEntry deadEntry(const std::string& host) { return support::deadEntry(host); }

  void writeMap(const std::vector<SmisEntry>& servers,
                const std::vector<DeviceEntry>& devices = {}) {
    spit(mapFile_, mapFileText(servers, devices));
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
    for (const SimRequest& r : sim_->requests()) out.push_back(r.operation + " " + r.target);
    return out;
  }

  fake::ScopedPlatform sys;

 private:
  fake::ScopedEnv debug_;
  std::unique_ptr<fake::ScopedLogger> logger_;
  TempDir dir_;
  std::string mapFile_;
  std::unique_ptr<ZarnSim> sim_;
};

}  // namespace support

#endif  // TESTS_ZARN_QUERY_TOOL_FIXTURE_H
