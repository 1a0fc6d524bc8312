// A real two-node cluster for the drgroup resource agent: node1 in data
// centre 1 and node3 in data centre 2, each a sandboxed node (sandbox.h)
// with its own network and PID namespaces, joined by a veth pair on
// 10.220.0.0/24, running corosync (knet, two_node) and pacemaker in the
// foreground. zarnsim serves both nodes' SMI-S servers from node1's
// network namespace, as smis-dc1 and smis-dc2.
//
// Everything it starts it stops by process id; ending a node's PID
// namespace ends its processes, and with its network namespace the veth
// pair goes. Needs root.
#ifndef TESTS_SUPPORT_HA_CLUSTER_H
#define TESTS_SUPPORT_HA_CLUSTER_H

#include <sys/types.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/drgroup_node.h"
#include "tests/support/sandbox.h"
#include "tests/support/wire.h"
#include "tests/support/zarnsim.h"

namespace support {

// The crm configure lines of one package on this cluster: a group of the
// drgroup agent (DR group drGroup, the given start-up policy, a deep
// monitor) named <package>-dr and a Dummy application <package>-app, placed
// by the placement rule alone.
std::string crmPackage(const std::string& package, const std::string& drGroup,
                       const std::string& policy);
// The location rule that makes the cluster prefer the nodes of the data
// centre whose array holds the source of the DR group of the agent's
// resource drResource, for the resource (group) that holds it.
std::string crmPlacementRule(const std::string& group, const std::string& drResource);
// The cluster-wide settings of a test cluster (no fencing).
extern const char* const CRM_TEST_PROPERTIES;

class TwoNodeCluster {
 public:
  static const int NODES = 2;

  TwoNodeCluster(DrgroupPrograms programs, std::string zarnSimBin,
                 std::vector<SimGroup> groups);
  ~TwoNodeCluster();  // stop()
  TwoNodeCluster(const TwoNodeCluster&) = delete;
  TwoNodeCluster& operator=(const TwoNodeCluster&) = delete;

  // Builds the nodes and their network, starts zarnsim, corosync and
  // pacemaker and waits until both nodes are online with a DC elected.
  // Empty when the cluster is up, else what failed. When the kernel refuses
  // the namespaces or the veth pair, refused() tells so.
  std::string start(int timeoutSeconds = 120);
  bool refused() const { return refused_; }

  // The node's name: node1 (data centre 1) or node3 (data centre 2).
  static std::string nodeName(int node);

  // Puts text in a file a node can read (in its sandbox folder, under the
  // /tmp the nodes share with the machine); its path.
  std::string stage(int node, const std::string& name, const std::string& text);

  // Runs a /bin/sh command on a node, in all its namespaces.
  CommandOutput run(int node, const std::string& command, int timeoutSeconds = 60);
  // Runs the command every second until it exits 0; false when it has not
  // within the time. *last gets the last run.
  bool waitFor(int node, const std::string& command, int timeoutSeconds,
               CommandOutput* last = nullptr);

  // zarnsim's requests of this operation so far.
  std::vector<SimRequest> requests(const std::string& operation) const;

  // Stops pacemaker, corosync and zarnsim (SIGTERM, then SIGKILL of what is
  // left in a node's PID namespace) and waits for them.
  void stop();

  // The tails of each node's corosync and pacemaker logs, for failure
  // messages.
  std::string logs() const;

 private:
  struct Node;
  bool startNode(int i, std::string* error);
  pid_t initPid(int i) const;

  DrgroupPrograms programs_;
  std::string zarnSimBin_;
  std::vector<SimGroup> groups_;
  std::vector<std::unique_ptr<Node>> nodes_;
  std::unique_ptr<ZarnSim> sim_;
  bool refused_ = false;
};

}  // namespace support

#endif  // TESTS_SUPPORT_HA_CLUSTER_H
