// drgroup_cluster_demo: what "scripts/demo cluster" shows. Builds the
// two-node cluster of tests/support/ha_cluster.h (node1 in data centre 1,
// node3 in data centre 2, zarnsim as both arrays), configures three
// packages behind the drgroup resource agent, placed by the placement rule
// alone, and narrates what the cluster manager does with them: pkg1 and
// pkg2 start on node1, pkg3 on node3, each where its source is; node1 goes
// to standby; pkg1 moves to node3, where its DR group is failed over; pkg2
// (data currency preferred, its source suspended) is refused there; node1
// back, pkg1 stays on node3 and pkg2 starts on node1 by itself; then the
// operator forces pkg2 to node3.
// Needs root; leaves nothing behind. The programs are those of this build
// (found by their build targets), the agent the source tree's.
//
//   drgroup_cluster_demo
//
// Exit status 0 when everything turned out as expected, 77 when the kernel
// refuses the namespaces.
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>

#include "tests/support/ha_cluster.h"

namespace {

using support::TwoNodeCluster;

std::chrono::steady_clock::time_point began;

double elapsed() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
}

// The lines of crm_mon that say where things are (with attributes: the
// node attributes too).
void showStatus(TwoNodeCluster& cluster, int node, bool attributes = false) {
  std::istringstream lines(cluster.run(node, attributes ? "crm_mon -1rA" : "crm_mon -1r").output);
  std::string line;
  std::printf("   crm_mon on %s:\n", TwoNodeCluster::nodeName(node).c_str());
  bool inAttributes = false;
  while (std::getline(lines, line)) {
    if (line.find("Node Attributes") != std::string::npos) inAttributes = true;
    if (line.find("Online") != std::string::npos || line.find(": standby") != std::string::npos ||
        line.find("(ocf:") != std::string::npos || line.find("returned") != std::string::npos ||
        (inAttributes && !line.empty()))
      std::printf("     %s\n", line.c_str());
  }
}

// The DR group's role on both arrays.
void showDrGroup(TwoNodeCluster& cluster, const std::string& group) {
  struct { const char* dc; const char* wwn; const char* smis; } arrays[] = {
      {"DC1", "5001-4380-025B-4A80", "smis-dc1"}, {"DC2", "5001-4380-025B-4C20", "smis-dc2"}};
  std::printf("   DR group %s:", group.c_str());
  for (const auto& a : arrays) {
    std::string out = cluster
                          .run(0, std::string("/opt/kxcluster/bin/ZARNGetDRState ") + group +
                                      " " + a.wwn + " " + a.smis)
                          .output;
    std::string role = "?";
    size_t at = out.find("participationType: ");
    if (at != std::string::npos) role = out.substr(at + 19, out.find('\n', at) - at - 19);
    std::printf("  %s array %s", a.dc, role.c_str());
  }
  std::printf("\n");
}

size_t failovers(TwoNodeCluster& cluster, const std::string& group) {
  size_t n = 0;
  for (const auto& r : cluster.requests("FastFailover"))
    if (r.detail("drgroup") == "\\Data Replication\\" + group) ++n;
  return n;
}

bool step(bool ok, const char* what) {
  std::printf("   %s %s (%.0f s)\n", ok ? "->" : "-> NOT as expected:", what, elapsed());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: %s\n", argv[0]);
    return 2;
  }
  const support::DrgroupPrograms programs = {AGENT_SOURCE, DRENABLE_BIN, ZARNGETDRSTATE_BIN};
  const std::string zarnsim = ZARNSIM_BIN;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  began = std::chrono::steady_clock::now();

  std::printf("== 1. Two cluster nodes, each in its own network, mount, UTS and PID namespace, "
              "joined by a veth pair:\n   node1 (data centre 1, 10.220.0.1) and node3 (data "
              "centre 2, 10.220.0.2), corosync and pacemaker on each;\n   zarnsim plays both "
              "arrays as the SMI-S servers smis-dc1 and smis-dc2\n");
  TwoNodeCluster cluster(
      programs, zarnsim,
      {{"dg01", support::sideState("source"), support::sideState("destination")},
       {"dg02", support::sideState("source", R"({"LogState": "logging", "Suspend": "yes"})"),
        support::sideState("destination")},
       {"dg03", support::sideState("destination"), support::sideState("source")}});
  std::string error = cluster.start();
  if (cluster.refused()) {
    std::printf("   This machine refuses the namespaces the cluster needs: %s\n", error.c_str());
    return 77;
  }
  if (!error.empty()) {
    std::printf("   The cluster did not come up: %s\n", error.c_str());
    return 1;
  }
  bool allGood = step(true, "both nodes online, with quorum");
  showStatus(cluster, 0);

  const std::string configuration =
      std::string(support::CRM_TEST_PROPERTIES) +
      support::crmPackage("pkg1", "dg01", "AVAILABILITY_PREFERRED") +
      support::crmPackage("pkg2", "dg02", "DATA_CURRENCY_PREFERRED") +
      support::crmPackage("pkg3", "dg03", "AVAILABILITY_PREFERRED");
  std::printf("\n== 2. Three packages, each a group of the drgroup agent and its application "
              "(here a Dummy), with no\n   site preference but the placement rule on the "
              "agent's source attribute:\n   pkg1 on DR group dg01 (source in DC1, "
              "AVAILABILITY_PREFERRED); pkg2 on dg02 (source in DC1, suspended,\n   "
              "DATA_CURRENCY_PREFERRED); pkg3 on dg03 (source in DC2, AVAILABILITY_PREFERRED)\n"
              "   crm configure load update:\n");
  std::istringstream crm(configuration);
  for (std::string line; std::getline(crm, line);) std::printf("     %s\n", line.c_str());
  support::CommandOutput r =
      cluster.run(0, "crm configure load update " + cluster.stage(0, "pkg.crm", configuration));
  if (r.status != 0) std::printf("%s", r.output.c_str());
  allGood &= step(cluster.waitFor(0,
                                  "crm_mon -1 | grep -q 'pkg1-app.*Started node1' && "
                                  "crm_mon -1 | grep -q 'pkg2-app.*Started node1' && "
                                  "crm_mon -1 | grep -q 'pkg3-app.*Started node3'",
                                  60),
                  "pkg1 and pkg2 start on node1, pkg3 on node3: each where its source is");
  allGood &= cluster.requests("FastFailover").empty();
  showStatus(cluster, 0, true);
  showDrGroup(cluster, "dg01");
  showDrGroup(cluster, "dg02");
  showDrGroup(cluster, "dg03");
  std::printf("   FastFailover requests: %zu\n", cluster.requests("FastFailover").size());

  std::printf("\n== 3. crm node standby node1: the cluster moves pkg1 and pkg2 to node3\n");
  cluster.run(0, "crm node standby node1");
  allGood &= step(cluster.waitFor(1,
                                  "crm_mon -1 | grep -q 'pkg1-app.*Started node3' && "
                                  "crm_mon -1 | grep -q 'pkg2-dr.*returned'",
                                  90),
                  "pkg1 runs on node3; pkg2 was refused there (and only there)");
  showStatus(cluster, 1, true);
  showDrGroup(cluster, "dg01");
  showDrGroup(cluster, "dg02");
  std::printf("   FastFailover requests: dg01 %zu, dg02 %zu\n", failovers(cluster, "dg01"),
              failovers(cluster, "dg02"));
  allGood &= failovers(cluster, "dg01") == 1 && failovers(cluster, "dg02") == 0;

  std::printf("\n== 4. crm node online node1: pkg2 starts there by itself, pkg1 stays on "
              "node3, where its source now is\n");
  cluster.run(0, "crm node online node1");
  allGood &= step(cluster.waitFor(0, "crm_mon -1 | grep -q 'pkg2-app.*Started node1'", 90),
                  "pkg2 runs on node1, without a clean-up or a failover");
  allGood &= cluster.run(0, "crm_mon -1 | grep -q 'pkg1-app.*Started node3'").status == 0;
  showStatus(cluster, 0);
  std::printf("   FastFailover requests: dg01 %zu, dg02 %zu\n", failovers(cluster, "dg01"),
              failovers(cluster, "dg02"));
  allGood &= failovers(cluster, "dg01") == 1 && failovers(cluster, "dg02") == 0;

  std::printf("\n== 5. The operator forces pkg2 to data centre 2: touch "
              "/var/lib/drenabler/pkg2-dr/FORCEFLAG on node3,\n   crm resource cleanup "
              "pkg2-dr node3 (it was refused there), crm resource move pkg2 node3\n");
  cluster.run(1, "touch /var/lib/drenabler/pkg2-dr/FORCEFLAG");
  cluster.run(0, "crm resource cleanup pkg2-dr node3 && crm resource move pkg2 node3");
  allGood &= step(cluster.waitFor(1, "crm_mon -1 | grep -q 'pkg2-app.*Started node3'", 90),
                  "pkg2 runs on node3; its DR group was failed over");
  cluster.run(0, "crm resource clear pkg2");
  showStatus(cluster, 1, true);
  showDrGroup(cluster, "dg02");

  std::printf("\n== 6. Stopping the cluster\n");
  cluster.stop();
  step(true, "pacemaker, corosync and zarnsim stopped; the namespaces are gone");
  std::printf("%s\n", allGood ? "Everything turned out as expected."
                              : "Something did NOT turn out as expected.");
  return allGood ? 0 : 1;
}
