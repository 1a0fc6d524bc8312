// The drgroup resource agent in a real two-node cluster (ha_cluster.h):
// node1 in data centre 1, node3 in data centre 2. Package pkg1 (DR group
// dg01, availability preferred) and package pkg2 (dg02, data currency
// preferred, its source suspended) are each a group of the agent and a
// Dummy application, preferring node1. Putting node1 in standby moves both
// to node3: pkg1's DR group is failed over there and pkg1 runs; pkg2 is
// refused and stays stopped, with drenable's reason in crm_mon, until the
// operator forces it with FORCEFLAG and a clean-up.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>

#include "tests/support/ha_cluster.h"

namespace {

using support::sideState;

TEST(DrgroupCluster, StandbyMovesTheGroupAndFailsTheDrGroupOver) {
  auto began = std::chrono::steady_clock::now();
  support::TwoNodeCluster cluster(
      {AGENT_SOURCE, DRENABLE_BIN, ZARNGETDRSTATE_BIN}, ZARNSIM_BIN,
      {{"dg01", sideState("source"), sideState("destination")},
       {"dg02", sideState("source", R"({"LogState": "logging", "Suspend": "yes"})"),
        sideState("destination")}});
  std::string error = cluster.start();
  if (cluster.refused()) GTEST_SKIP() << "no two-node cluster here: " << error;
  ASSERT_EQ(error, "");

  support::CommandOutput r = cluster.run(
      0, "crm configure load update " +
             cluster.stage(0, "pkg.crm",
                           support::CRM_TEST_PROPERTIES +
                               support::crmPackage("pkg1", "dg01", "AVAILABILITY_PREFERRED") +
                               support::crmPackage("pkg2", "dg02", "DATA_CURRENCY_PREFERRED")));
  ASSERT_EQ(r.status, 0) << r.output;
  support::CommandOutput mon;
  EXPECT_TRUE(cluster.waitFor(0,
                              "crm_mon -1 | grep -q 'pkg1-app.*Started node1' && "
                              "crm_mon -1 | grep -q 'pkg2-app.*Started node1'",
                              60, &mon))
      << cluster.run(0, "crm_mon -1").output << cluster.logs();
  EXPECT_TRUE(cluster.requests("FastFailover").empty());

  r = cluster.run(0, "crm node standby node1");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(cluster.waitFor(1,
                              "crm_mon -1 | grep -q 'pkg1-app.*Started node3' && "
                              "crm_mon -1 | grep -q 'pkg2-dr.*not configured'",
                              90, &mon))
      << cluster.run(1, "crm_mon -1r").output << cluster.logs();
  // Stopped resources too.
  const std::string status = cluster.run(1, "crm_mon -1r").output;

  auto failovers = cluster.requests("FastFailover");
  ASSERT_EQ(failovers.size(), 1u) << status;
  EXPECT_EQ(failovers[0].detail("drgroup"), "\\Data Replication\\dg01");
  EXPECT_EQ(failovers[0].detail("array"), support::DC2_ARRAY_WWN);
  r = cluster.run(1, "/opt/kxcluster/bin/ZARNGetDRState dg01 5001-4380-025B-4C20 smis-dc2");
  EXPECT_NE(r.output.find(" participationType: source"), std::string::npos) << r.output;

  // pkg2 refused: stopped, and drenable's reason shown (Pacemaker keeps the
  // first 128 characters of an exit reason).
  EXPECT_NE(status.find("pkg2-dr\t(ocf:drenabler:drgroup):\t Stopped"), std::string::npos)
      << status;
  EXPECT_NE(status.find("pkg2-app\t(ocf:heartbeat:Dummy):\t Stopped"), std::string::npos);
  EXPECT_NE(status.find("* pkg2-dr start on node3 returned 'not configured' (The replication "
                        "link state is good and the role of the device group on this site is "
                        "\"destination\"."),
            std::string::npos)
      << status;

  // drenable's whole output is in the cluster's log on node3, the advice
  // that the exit reason loses included.
  for (const char* line : {"Either manually resync the data", "Leaving Data Replication Enabler"}) {
    EXPECT_EQ(cluster
                  .run(1, std::string("grep -q 'drgroup(pkg2-dr).*INFO: drenable: .*") + line +
                              "' /var/log/pacemaker/pacemaker.log")
                  .status,
              0)
        << line;
  }

  // The operator forces the start: FORCEFLAG in the package directory, then
  // a clean-up. The DR group is failed over and the group runs.
  r = cluster.run(1, "touch /var/lib/drenabler/pkg2-dr/FORCEFLAG && crm resource cleanup pkg2");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(cluster.waitFor(1, "crm_mon -1 | grep -q 'pkg2-app.*Started node3'", 60))
      << cluster.run(1, "crm_mon -1r").output << cluster.logs();
  EXPECT_EQ(cluster.requests("FastFailover").size(), 2u);
  EXPECT_NE(cluster.run(1, "test -e /var/lib/drenabler/pkg2-dr/FORCEFLAG").status, 0);

  cluster.stop();
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::steady_clock::now() - began).count();
  std::cout << "cluster test: " << seconds << " s\n";
}

}  // namespace
