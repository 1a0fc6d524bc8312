// A cluster node that can run the drgroup resource agent: the agent at its
// installed path, drenable and ZARNGetDRState where the package puts them,
// the map file naming zarnsim's servers, and the files an agent run needs.
// Shared by the agent's tests, the two-node cluster and its demo.
#ifndef TESTS_SUPPORT_DRGROUP_NODE_H
#define TESTS_SUPPORT_DRGROUP_NODE_H

#include <map>
#include <string>
#include <vector>

#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"

namespace support {

// Where the package installs the agent on a node.
extern const char* const DRGROUP_AGENT;  // /usr/lib/ocf/resource.d/drenabler/drgroup

// The programs a node gets, as paths on the machine.
struct DrgroupPrograms {
  std::string agent;          // the agent's source, ocf/drgroup
  std::string drenable;
  std::string zarnGetDrState;
};

// Copies the agent and the programs onto the node (mode 0755).
void installDrgroup(Sandbox& node, const DrgroupPrograms& programs);

// One DR group of a two-array scenario, by its side states.
struct SimGroup {
  std::string name;
  std::string dc1State;  // JSON object text: the properties of the dc1 side
  std::string dc2State;
};

// World wide names of the two arrays of twoArrayScenario().
extern const char* const DC1_ARRAY_WWN;  // "50014380025B4A80"
extern const char* const DC2_ARRAY_WWN;  // "50014380025B4C20"

// A scenario with arrays dc1 and dc2 and these DR groups (instance IDs by
// position), and the map file of a node that reaches it at host:port under
// the server names smis-dc1 and smis-dc2 (the node's /etc/hosts maps them).
std::string twoArrayScenario(const std::vector<SimGroup>& groups);
std::string twoArrayMapFile(const std::vector<SimGroup>& groups, int port);

// The properties of a healthy side with this role, as JSON object text,
// with changes merged in ("{\"LogState\": \"logging\"}").
std::string sideState(const std::string& role, const std::string& changes = "{}");

// The ocf-exit-reason lines of an agent's standard error, without prefix.
std::vector<std::string> exitReasons(const std::string& err);

// Stands in for the cluster's node attributes on a node without a cluster:
// attrd_updater (-n, -U or -D, -N) and crm_attribute (-l reboot -N -n -G -q,
// exit 105 when unset) keep them in files of the sandbox, and crm_node -l
// names these cluster nodes.
void installNodeAttributes(Sandbox& node, const std::vector<std::string>& clusterNodes);
// The attributes of a cluster node so far, by name.
std::map<std::string, std::string> nodeAttributes(const Sandbox& node,
                                                  const std::string& clusterNode);

}  // namespace support

#endif  // TESTS_SUPPORT_DRGROUP_NODE_H
