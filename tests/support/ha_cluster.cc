#include "tests/support/ha_cluster.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/support/files.h"

namespace support {

namespace {

const char* const ADDRESSES[TwoNodeCluster::NODES] = {"10.220.0.1", "10.220.0.2"};
const char* const NAMES[TwoNodeCluster::NODES] = {"node1", "node3"};

// zarnsim's side of both data centres' SMI-S servers.
const char* const SMIS_ADDRESS = "10.220.0.1";

const char* const PID_FILE = "/var/lib/drcluster/unshare.pid";

std::string corosyncConf() {
  std::string nodes;
  for (int i = 0; i < TwoNodeCluster::NODES; ++i) {
    nodes += "  node {\n    ring0_addr: " + std::string(ADDRESSES[i]) +
             "\n    name: " + NAMES[i] + "\n    nodeid: " + std::to_string(i + 1) +
             "\n  }\n";
  }
  // A long token: the two nodes share a busy machine's processors.
  return "totem {\n"
         "  version: 2\n"
         "  cluster_name: drcluster\n"
         "  transport: knet\n"
         "  token: 10000\n"
         "  crypto_cipher: none\n"
         "  crypto_hash: none\n"
         "}\n"
         "nodelist {\n" + nodes + "}\n"
         "quorum {\n"
         "  provider: corosync_votequorum\n"
         "  two_node: 1\n"
         "}\n"
         "logging {\n"
         "  to_logfile: yes\n"
         "  logfile: /var/log/corosync/corosync.log\n"
         "  to_syslog: no\n"
         "  to_stderr: no\n"
         "  timestamp: on\n"
         "}\n";
}

// The node's outer program: the node's own network and PID namespaces,
// whose first process is boot.sh.
const char* const NODE_SH =
    "mkdir -p /var/lib/drcluster\n"
    "unshare --net --pid --fork --mount-proc /bin/sh /etc/drcluster/boot.sh \"$1\" &\n"
    "echo $! > /var/lib/drcluster/unshare.pid\n"
    "wait $!\n";

// Process 1 of a node: brings its end of the veth pair up, starts corosync
// and pacemaker in the foreground, and on SIGTERM stops them in reverse.
const char* const BOOT_SH =
    "stopping=\n"
    "trap 'stopping=1' TERM INT\n"
    "mkdir -p /var/log/drcluster\n"
    "exec >/var/log/drcluster/boot.log 2>&1\n"
    "i=0\n"
    "until ip link show eth0 >/dev/null 2>&1; do\n"
    "  i=$((i + 1)); [ $i -le 300 ] || { echo 'no eth0'; exit 1; }\n"
    "  [ -z \"$stopping\" ] || exit 0\n"
    "  sleep 0.1\n"
    "done\n"
    "ip link set lo up && ip addr add \"$1/24\" dev eth0 && ip link set eth0 up || exit 1\n"
    "rm -rf /var/lib/pacemaker/cib/* /var/lib/pacemaker/pengine/* /var/lib/corosync/*\n"
    "corosync -f >/var/log/drcluster/corosync.out 2>&1 &\n"
    "corosync_pid=$!\n"
    "i=0\n"
    "until corosync-cfgtool -s >/dev/null 2>&1 || [ $i -ge 100 ]; do\n"
    "  i=$((i + 1)); sleep 0.2\n"
    "done\n"
    "PCMK_logfile=/var/log/pacemaker/pacemaker.log PCMK_logfacility=none \\\n"
    "  pacemakerd -f >/var/log/drcluster/pacemakerd.out 2>&1 &\n"
    "pacemakerd_pid=$!\n"
    "while [ -z \"$stopping\" ]; do sleep 1 & wait $!; done\n"
    "echo stopping\n"
    "kill -TERM $pacemakerd_pid; wait $pacemakerd_pid\n"
    "kill -TERM $corosync_pid; wait $corosync_pid\n"
    "echo stopped\n";

std::string tail(const std::string& text, size_t lines) {
  size_t at = text.size();
  while (lines-- > 0 && at > 0) {
    at = text.rfind('\n', at - 1);
    if (at == std::string::npos) return text;
  }
  return text.substr(at == text.size() ? at : at + 1);
}

}  // namespace

const char* const CRM_TEST_PROPERTIES =
    "property stonith-enabled=false\n"
    "rsc_defaults resource-stickiness=0\n";

std::string crmPackage(const std::string& package, const std::string& drGroup,
                       const std::string& policy) {
  return "primitive " + package + "-dr ocf:drenabler:drgroup \\\n"
         "  params dr_group_name=" + drGroup + " \\\n"
         "    dc1_storage_world_wide_name=5001-4380-025B-4A80 \\\n"
         "    dc2_storage_world_wide_name=5001-4380-025B-4C20 \\\n"
         "    dc1_smis_list=smis-dc1 dc2_smis_list=smis-dc2 \\\n"
         "    dc1_host_list=node1 dc2_host_list=node3 \\\n"
         "    startup_policy=" + policy + " \\\n"
         "  op start timeout=900s op stop timeout=20s \\\n"
         "  op monitor interval=10s timeout=20s \\\n"
         "  op monitor interval=30s timeout=60s OCF_CHECK_LEVEL=10\n"
         "primitive " + package + "-app ocf:heartbeat:Dummy op monitor interval=10s\n"
         "group " + package + " " + package + "-dr " + package + "-app\n" +
         crmPlacementRule(package, package + "-dr");
}

std::string crmPlacementRule(const std::string& group, const std::string& drResource) {
  return "location " + group + "-where-its-data-is " + group + " rule 100: drgroup-" +
         drResource + "-source eq 1\n";
}

struct TwoNodeCluster::Node {
  explicit Node(const std::string& name) : sandbox(name) {}
  Sandbox sandbox;
  std::thread thread;
  std::atomic<bool> ended{false};
  RunResult result;
  pid_t init = -1;
};

TwoNodeCluster::TwoNodeCluster(DrgroupPrograms programs, std::string zarnSimBin,
                               std::vector<SimGroup> groups)
    : programs_(std::move(programs)),
      zarnSimBin_(std::move(zarnSimBin)),
      groups_(std::move(groups)) {}

TwoNodeCluster::~TwoNodeCluster() { stop(); }

std::string TwoNodeCluster::nodeName(int node) { return NAMES[node]; }

bool TwoNodeCluster::startNode(int i, std::string* error) {
  Node& node = *nodes_[i];
  Sandbox& box = node.sandbox;
  std::string hosts = "127.0.0.1\tlocalhost\n" + std::string(SMIS_ADDRESS) +
                      "\tsmis-dc1 smis-dc2\n";
  for (int n = 0; n < NODES; ++n) hosts += std::string(ADDRESSES[n]) + "\t" + NAMES[n] + "\n";
  box.writeFile("/etc/hosts", hosts);
  box.writeFile("/etc/corosync/corosync.conf", corosyncConf());
  box.writeFile("/etc/drcluster/node.sh", NODE_SH, 0755);
  box.writeFile("/etc/drcluster/boot.sh", BOOT_SH, 0755);
  installDrgroup(box, programs_);

  node.thread = std::thread([&node, i] {
    RunOptions o;
    o.args = {"/etc/drcluster/node.sh", ADDRESSES[i]};
    o.timeoutSeconds = 900;
    node.result = node.sandbox.run("/bin/sh", o);
    node.ended = true;
  });
  // The node's first process, once unshare has made it.
  for (int tries = 0; tries < 200 && !node.ended; ++tries) {
    std::string pid = readHostFile(box.hostPath(PID_FILE));
    if (!pid.empty()) {
      std::string children = readHostFile("/proc/" + std::to_string(std::stoi(pid)) +
                                          "/task/" + std::to_string(std::stoi(pid)) +
                                          "/children");
      if (!children.empty()) {
        node.init = std::stoi(children);
        return true;
      }
    }
    usleep(50000);
  }
  if (node.thread.joinable()) {
    if (!node.ended) {
      *error = NAMES[i] + std::string(": no PID namespace after 10 s");
      return false;
    }
    node.thread.join();
  }
  refused_ = true;
  *error = NAMES[i] + std::string(": the kernel refused the node's namespaces: ") +
           node.result.setupError + node.result.err;
  return false;
}

std::string TwoNodeCluster::start(int timeoutSeconds) {
  std::string error;
  for (int i = 0; i < NODES; ++i) {
    nodes_.push_back(std::make_unique<Node>(NAMES[i]));
    if (!startNode(i, &error)) return error;
  }
  CommandOutput veth = support::run(
      "ip link add name eth0 netns " + std::to_string(nodes_[0]->init) +
      " type veth peer name eth0 netns " + std::to_string(nodes_[1]->init));
  if (veth.status != 0) {
    refused_ = true;
    return "the kernel refused a veth pair between the nodes: " + veth.output;
  }
  for (int i = 0; i < NODES; ++i) {
    if (!waitFor(i, std::string("ip -br addr show eth0 | grep -q ") + ADDRESSES[i], 30))
      return NAMES[i] + std::string(": eth0 did not come up\n") + logs();
  }

  SimOptions options;
  options.bind = SMIS_ADDRESS;
  options.netns = "/proc/" + std::to_string(nodes_[0]->init) + "/ns/net";
  sim_ = std::make_unique<ZarnSim>(zarnSimBin_, twoArrayScenario(groups_), options);
  if (!sim_->ok()) return "zarnsim: " + sim_->error();
  const std::string map = twoArrayMapFile(groups_, sim_->port());
  for (int i = 0; i < NODES; ++i) {
    const std::string staged = stage(i, "map", map);
    CommandOutput w = run(i, "umask 077 && mkdir -p /opt/kxcluster/conf/sfyrzarn && cat " +
                                 shellQuote(staged) + " > " + MAP_FILE);
    if (w.status != 0) return NAMES[i] + std::string(": cannot write the map file: ") + w.output;
  }

  // Both nodes online, a DC elected, with quorum.
  CommandOutput last;
  if (!waitFor(0,
               "crm_mon -1 2>&1 | grep -q 'partition with quorum' && "
               "crm_mon -1 2>&1 | grep -q 'Online: \\[ node1 node3 \\]'",
               timeoutSeconds, &last))
    return "the cluster did not come up within " + std::to_string(timeoutSeconds) + " s\n" +
           run(0, "crm_mon -1 2>&1").output + logs();
  return "";
}

std::string TwoNodeCluster::stage(int node, const std::string& name, const std::string& text) {
  const std::string path = nodes_[node]->sandbox.folder() + "/" + name;
  spit(path, text);
  return path;
}

CommandOutput TwoNodeCluster::run(int node, const std::string& command, int timeoutSeconds) {
  if (node < 0 || node >= static_cast<int>(nodes_.size()) || nodes_[node]->init <= 0) return {};
  return support::run("timeout -k 5 " + std::to_string(timeoutSeconds) + " nsenter -t " +
                      std::to_string(nodes_[node]->init) + " -m -u -n -p -- /bin/sh -c " +
                      shellQuote(command));
}

bool TwoNodeCluster::waitFor(int node, const std::string& command, int timeoutSeconds,
                             CommandOutput* last) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  for (;;) {
    CommandOutput r = run(node, command);
    if (last != nullptr) *last = r;
    if (r.status == 0) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    sleep(1);
  }
}

std::vector<SimRequest> TwoNodeCluster::requests(const std::string& operation) const {
  return sim_ ? sim_->requests(operation) : std::vector<SimRequest>{};
}

void TwoNodeCluster::stop() {
  for (auto& node : nodes_)
    if (node->init > 0 && !node->ended) kill(node->init, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (auto& node : nodes_) {
    while (!node->ended && std::chrono::steady_clock::now() < deadline) usleep(100000);
    // Ending process 1 of its PID namespace ends everything left there.
    if (!node->ended && node->init > 0) kill(node->init, SIGKILL);
    if (node->thread.joinable()) node->thread.join();
    node->init = -1;
  }
  if (sim_) sim_->stop();
}

std::string TwoNodeCluster::logs() const {
  std::string out;
  for (size_t i = 0; i < nodes_.size(); ++i) {
    const Sandbox& box = nodes_[i]->sandbox;
    for (const char* log : {"/var/log/drcluster/boot.log", "/var/log/corosync/corosync.log",
                            "/var/log/pacemaker/pacemaker.log"}) {
      out += "---- " + std::string(NAMES[i]) + " " + log + "\n" +
             tail(readHostFile(box.hostPath(log)), 30);
    }
  }
  return out;
}

}  // namespace support
