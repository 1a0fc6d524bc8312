// The drgroup resource agent in a real two-node cluster (ha_cluster.h):
// node1 in data centre 1, node3 in data centre 2. Each package is a group of
// the agent and a Dummy application with no location constraint but the
// placement rule on the agent's source attribute, and no stickiness.
//
// Packages made while DC2 holds their DR group's source start on node3,
// those made while DC1 does on node1, with no failover, three times over (a
// race between the probes and the start would show). Then node1 goes to
// standby: a package with availability preferred moves to node3 with one
// failover, one with data currency preferred whose source is suspended is
// refused there. node1 back online: the first stays on node3 (the source is
// there now), the refused one starts on node1 by itself, without a clean-up
// or a failover.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "tests/support/ha_cluster.h"

namespace {

using support::sideState;

const int ROUNDS = 3;

const char* const AVAIL = "AVAILABILITY_PREFERRED";
const char* const DATA = "DATA_CURRENCY_PREFERRED";

// DR groups dc1-<round> and dc2-<round>, their source in that data centre,
// and dg-suspended (source in DC1, suspended).
std::vector<support::SimGroup> groups() {
  std::vector<support::SimGroup> out;
  for (int round = 1; round <= ROUNDS; ++round) {
    out.push_back({"dc1-" + std::to_string(round), sideState("source"),
                   sideState("destination")});
    out.push_back({"dc2-" + std::to_string(round), sideState("destination"),
                   sideState("source")});
  }
  out.push_back({"dg-suspended",
                 sideState("source", R"({"LogState": "logging", "Suspend": "yes"})"),
                 sideState("destination")});
  return out;
}

std::string started(const std::string& package, const std::string& node) {
  return "crm_mon -1 | grep -q '" + package + "-app.*Started " + node + "'";
}

size_t failovers(support::TwoNodeCluster& cluster, const std::string& group) {
  size_t n = 0;
  for (const auto& r : cluster.requests("FastFailover"))
    if (r.detail("drgroup") == "\\Data Replication\\" + group) ++n;
  return n;
}

TEST(DrgroupCluster, PlacementFollowsTheDataAndARefusalStrandsNoNode) {
  auto began = std::chrono::steady_clock::now();
  support::TwoNodeCluster cluster({AGENT_SOURCE, DRENABLE_BIN, ZARNGETDRSTATE_BIN},
                                  ZARNSIM_BIN, groups());
  std::string error = cluster.start();
  if (cluster.refused()) GTEST_SKIP() << "no two-node cluster here: " << error;
  ASSERT_EQ(error, "");
  auto load = [&cluster](const std::string& name, const std::string& crm) {
    support::CommandOutput r =
        cluster.run(0, "crm configure load update " + cluster.stage(0, name, crm));
    EXPECT_EQ(r.status, 0) << r.output;
  };
  load("properties.crm", support::CRM_TEST_PROPERTIES);

  // First starts, each round a new pair of packages; the last round stays,
  // with the package whose start will be refused.
  for (int round = 1; round <= ROUNDS; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string a = "a" + std::to_string(round), b = "b" + std::to_string(round);
    std::string crm = support::crmPackage(a, "dc1-" + std::to_string(round), AVAIL) +
                      support::crmPackage(b, "dc2-" + std::to_string(round), AVAIL);
    if (round == ROUNDS) crm += support::crmPackage("c", "dg-suspended", DATA);
    load("round" + std::to_string(round) + ".crm", crm);
    EXPECT_TRUE(cluster.waitFor(0, started(a, "node1") + " && " + started(b, "node3"), 90))
        << cluster.run(0, "crm_mon -1r").output << cluster.logs();
    if (round == ROUNDS) EXPECT_TRUE(cluster.waitFor(0, started("c", "node1"), 60));
    EXPECT_TRUE(cluster.requests("FastFailover").empty());
    if (round < ROUNDS) {
      support::CommandOutput r = cluster.run(
          0, "crm resource stop " + a + " " + b + " && crm configure delete " + a + " " + a +
                 "-dr " + a + "-app " + b + " " + b + "-dr " + b + "-app",
          120);
      EXPECT_EQ(r.status, 0) << r.output;
    }
  }
  // What the agent published, as crm_mon shows it.
  const std::string attributes = cluster.run(0, "crm_mon -1A").output;
  EXPECT_NE(attributes.find("drgroup-b3-dr-source"), std::string::npos) << attributes;
  std::cout << attributes;

  // node1 to standby: a3 follows its data's new home with one failover; c is
  // refused on node3, with a short reason.
  support::CommandOutput r = cluster.run(0, "crm node standby node1");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(cluster.waitFor(1,
                              started("a3", "node3") +
                                  " && crm_mon -1 | grep -q \"c-dr start on node3 returned "
                                  "'error' (refused: \"",
                              90))
      << cluster.run(1, "crm_mon -1r").output << cluster.logs();
  EXPECT_EQ(failovers(cluster, "dc1-3"), 1u);
  EXPECT_EQ(failovers(cluster, "dg-suspended"), 0u);

  // node1 back: c starts there by itself; a3 stays where its source is.
  r = cluster.run(0, "crm node online node1");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(cluster.waitFor(0, started("c", "node1"), 90))
      << cluster.run(0, "crm_mon -1r").output << cluster.logs();
  EXPECT_EQ(cluster.run(0, started("a3", "node3") + " && " + started("b3", "node3")).status, 0)
      << cluster.run(0, "crm_mon -1r").output;
  EXPECT_EQ(failovers(cluster, "dc1-3"), 1u);
  EXPECT_EQ(cluster.requests("FastFailover").size(), 1u);

  cluster.stop();
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::steady_clock::now() - began).count();
  std::cout << "cluster test: " << seconds << " s\n";
}

}  // namespace
