// drenable on a sandboxed node of data centre 1 against SMI-S servers that
// misbehave below the decision: one whose host drops connection attempts,
// one whose error answers carry line feeds meant to forge package-log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/scripted_server.h"
#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"
#include "tests/support/black_hole.h"

namespace {

using Messages = std::vector<std::string>;

const char* const PKGDIR = "/opt/kxcluster/pkg/pkg1";
const char* const ENV_FILE = "/opt/kxcluster/pkg/pkg1/pkg1.env";
const char* const DC1_DRG = "50014380025B4A80\\DRG\\0001";
const char* const DC2_DRG = "50014380025B4C20\\DRG\\0001";

const char* const SCENARIO = R"({
  "host": "smis-dc1",
  "arrays": [
    {"id": "dc1", "wwn": "50014380025B4A80", "volumes": [{"id": "vd01", "wwn": "6001438002A3C1E00000A00001240000"}]},
    {"id": "dc2", "wwn": "50014380025B4C20", "volumes": [{"id": "vd01", "wwn": "6001438002A3C2F00000B00003410000"}]}
  ],
  "drGroups": [{
    "name": "dg01",
    "sides": [
      {"array": "dc1", "instanceId": "50014380025B4A80\\DRG\\0001", "volumes": ["vd01"],
       "state": {"ParticipationType": "source", "LinkState": "good", "LogState": "normal",
                 "FailSafe": "disabled", "FailSafeLock": "no", "Suspend": "no",
                 "WriteMode": "synchronous", "Fullcopystate": "no", "TotalTransmit": "0"}},
      {"array": "dc2", "instanceId": "50014380025B4C20\\DRG\\0001", "volumes": ["vd01"],
       "state": {"ParticipationType": "destination", "LinkState": "good", "LogState": "normal",
                 "FailSafe": "disabled", "FailSafeLock": "no", "Suspend": "no",
                 "WriteMode": "synchronous", "Fullcopystate": "no", "TotalTransmit": "0"}}
    ]
  }]
})";

// node1 with the package of DR group dg01; dc1Smis lists the local SMI-S
// servers, each entry of servers is one in the map file.
support::RunResult drenable(support::Sandbox& node, const std::vector<support::SmisEntry>& servers,
                        const std::string& dc1Smis, const std::string& queryTimeout) {
  node.writeFile("/etc/hosts", "127.0.0.1\tlocalhost smis-dead smis-dc1 smis-dc2\n");
  const std::string dg = "\\Data Replication\\dg01";
  node.writeFile(support::MAP_FILE,
                 support::mapFileText(servers, {{"50014380025B4A80", dg, DC1_DRG, ""},
                                            {"50014380025B4C20", dg, DC2_DRG, ""}}),
                 0600);
  node.makeDir(PKGDIR);
  support::ArrayVariables vars;
  vars.dc1Smis = dc1Smis;
  vars.queryTimeout = queryTimeout;
  node.writeFile(ENV_FILE, support::packageEnvText(PKGDIR, "AVAILABILITY_PREFERRED", 5, vars));
  support::RunOptions o;
  o.args = {ENV_FILE, "0", "0", "", ""};
  o.env["PACKAGE"] = "pkg1";
  return node.run(DRENABLE_BIN, o);
}

bool has(const Messages& m, const std::string& text) {
  return std::find(m.begin(), m.end(), text) != m.end();
}

// With the default query time-out of five minutes, a dead first server must
// cost seconds: the cluster manager would give up on the start long before.
// The healthy second server is contacted while the first is still silent
// and used once the first has had its grace, well before the first's
// connection bound of 10 s.
TEST(SmisConnectionE2E, DeadFirstServerCostsSecondsNotTheQueryTimeout) {
  support::ZarnSim sim(ZARNSIM_BIN, SCENARIO);
  ASSERT_TRUE(sim.ok()) << sim.error();
  support::BlackHole hole;
  ASSERT_NE(hole.port(), 0);
  std::vector<support::SmisEntry> servers(2);
  servers[0].host = "smis-dead";
  servers[0].port = hole.port();
  servers[1].host = "smis-dc1";
  servers[1].port = sim.port();

  support::Sandbox node("node1");
  auto start = std::chrono::steady_clock::now();
  support::RunResult r = drenable(node, servers, "smis-dead smis-dc1", "300");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(r.setupError, "");
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_LT(seconds, 8.0);
  const std::string dead = "smis-dead:" + std::to_string(hole.port());
  Messages m = r.normalMessages();
  ASSERT_GE(m.size(), 4u) << r.describe();
  EXPECT_EQ(m[1], "Connecting to SMI-S server " + dead);
  const std::string failed =
      "Error - Failed to connect to SMI-S smis-dead. \n\t\t\t\tNo response from " + dead +
      " within ";
  EXPECT_EQ(m[2].substr(0, failed.size()), failed);
  int ms = std::atoi(m[2].c_str() + std::min(failed.size(), m[2].size()));
  EXPECT_GE(ms, 1000);
  EXPECT_LT(ms, 10000);
  EXPECT_EQ(m[3], "Connecting to SMI-S server smis-dc1:" + std::to_string(sim.port()));
  EXPECT_EQ(sim.requests("GetInstance").size(), 2u);
}

// A line feed in a server's PGErrorDetail would otherwise start a line of
// its own in the package log, dated and signed like drenable's.
TEST(SmisConnectionE2E, ServerTextCannotForgeAPackageLogLine) {
  const std::string forged = "Jan 01 00:00:00 - Node node1 : The package is allowed to start up.";
  support::ScriptedServer server([](int fd, const support::Request&) {
    return support::sendAll(
        fd, support::httpResponse(400, "Bad Request",
                               {"CIMError: request-not-valid",
                                "PGErrorDetail: refused%0AJan%2001%2000:00:00%20-%20Node%20node1"
                                "%20:%20The%20package%20is%20allowed%20to%20start%20up."},
                               ""));
  });
  std::vector<support::SmisEntry> servers(1);
  servers[0].host = "smis-dc1";
  servers[0].port = server.port();

  support::Sandbox node("node1");
  support::RunResult r = drenable(node, servers, "smis-dc1", "");
  ASSERT_EQ(r.setupError, "");
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_FALSE(has(r.normalMessages(), "The package is allowed to start up.")) << r.describe();
  EXPECT_EQ(r.out.find("\n" + forged), std::string::npos) << r.describe();
  EXPECT_NE(r.out.find("detail: refused\\x0a" + forged), std::string::npos) << r.describe();
}

}  // namespace
