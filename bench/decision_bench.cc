// The cost of one start-up decision: drenable on a sandboxed node of the
// source site with the link up and the device ID map in place, against
// zarnsim. Checks, from zarnsim's request log and a connection-counting
// relay in front of it, that the decision takes exactly two CIM requests
// (the local and the remote DR group) over one TCP connection, and reports
// drenable's own CPU time and peak memory per decision. Then times one
// start whose first local SMI-S server is black-holed (its host drops
// connection attempts) with QUERY_TIME_OUT=300.
//
//   decision_bench [runs]          (default 50; needs root)
//
// On the node, drenable runs under measure_exec, a tiny parent that takes
// drenable's own figures with wait4, not the harness's.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"
#include "tests/support/black_hole.h"

namespace {

const double CPU_GOAL_MS = 5.0;
const double MEMORY_GOAL_MB = 8.0;
const double DEAD_SERVER_GOAL_S = 15.0;

// A TCP relay on 127.0.0.1 in front of the simulator that counts the
// connections made to it, and those that carried a request.
class Relay {
 public:
  explicit Relay(int upstreamPort) : upstream_(upstreamPort) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener_, 16) != 0)
      return;
    socklen_t len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~Relay() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& t : pumps_) t.join();
  }
  int port() const { return port_; }
  int connections() const { return connections_; }
  int usedConnections() const { return used_; }
  void reset() {
    connections_ = 0;
    used_ = 0;
  }

 private:
  void acceptLoop() {
    while (!stopping_) {
      int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      ++connections_;
      pumps_.emplace_back([this, client] { pump(client); });
    }
  }
  void pump(int client) {
    int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(upstream_));
    if (connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      char buf[16384];
      bool open = true, used = false;
      while (open && !stopping_) {
        if (poll(p, 2, 200) <= 0) continue;
        for (int i = 0; i < 2 && open; ++i) {
          if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
          ssize_t n = read(p[i].fd, buf, sizeof buf);
          if (n <= 0 || write(p[1 - i].fd, buf, static_cast<size_t>(n)) != n) open = false;
          if (n > 0 && i == 0 && !used) {
            used = true;
            ++used_;
          }
        }
      }
    }
    close(server);
    close(client);
  }

  int upstream_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<int> used_{0};
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::vector<std::thread> pumps_;
};

const char* const SCENARIO = R"({
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

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
  return v[i];
}

struct Sample {
  double cpuMs = 0;
  double rssMb = 0;
};

// Runs program under measure_exec on the node; false when it could not be
// measured or did not end with expectedExit.
bool measureOn(support::Sandbox& node, const std::vector<std::string>& command, int expectedExit,
               Sample* out) {
  support::RunOptions o;
  o.args = command;
  o.env["PACKAGE"] = "pkg1";
  support::RunResult r = node.run(MEASURE_EXEC_BIN, o);
  long cpuUs = 0, rssKb = 0;
  size_t at = r.err.rfind("cpu_us=");
  if (r.exitCode != expectedExit || at == std::string::npos ||
      std::sscanf(r.err.c_str() + at, "cpu_us=%ld maxrss_kb=%ld", &cpuUs, &rssKb) != 2) {
    std::fprintf(stderr, "%s did not run as expected:\n%s\n", command[0].c_str(),
                 r.describe().c_str());
    return false;
  }
  out->cpuMs = cpuUs / 1000.0;
  out->rssMb = rssKb / 1024.0;
  return true;
}

struct Series {
  std::vector<double> cpuMs, rssMb;
  void add(const Sample& s) {
    cpuMs.push_back(s.cpuMs);
    rssMb.push_back(s.rssMb);
  }
  void print(const char* what) const {
    std::printf("  %-44s CPU median %6.2f ms (p95 %6.2f)   peak memory median %5.2f MB "
                "(max %5.2f)\n",
                what, percentile(cpuMs, 0.5), percentile(cpuMs, 0.95), percentile(rssMb, 0.5),
                percentile(rssMb, 1.0));
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

  support::ZarnSim sim(ZARNSIM_BIN, SCENARIO);
  if (!sim.ok()) {
    std::fprintf(stderr, "zarnsim: %s\n", sim.error().c_str());
    return 1;
  }
  Relay relay(sim.port());
  if (relay.port() == 0) {
    std::fprintf(stderr, "cannot listen for the relay\n");
    return 1;
  }

  const std::string pkgDir = "/opt/kxcluster/pkg/pkg1";
  const std::string envFile = pkgDir + "/pkg1.env";
  support::Sandbox node("node1");
  node.writeFile("/etc/hosts", "127.0.0.1\tlocalhost smis-dc1 smis-dc2\n");
  std::vector<support::SmisEntry> servers(1);
  servers[0].host = "smis-dc1";
  servers[0].port = relay.port();
  const std::string dg = "\\Data Replication\\dg01";
  node.writeFile(support::MAP_FILE,
                 support::mapFileText(servers,
                                  {{"50014380025B4A80", dg, "50014380025B4A80\\DRG\\0001", ""},
                                   {"50014380025B4C20", dg, "50014380025B4C20\\DRG\\0001", ""}}),
                 0600);
  node.makeDir(pkgDir);
  support::ArrayVariables vars;
  node.writeFile(envFile, support::packageEnvText(pkgDir, "AVAILABILITY_PREFERRED", 5, vars));

  Series decision, startOnly, trueOnly;
  bool requestsRight = true;
  int connections = 0;
  for (int i = 0; i < runs; ++i) {
    Sample s;
    // Any process on this machine: the floor under every figure.
    if (!measureOn(node, {"/bin/true"}, 0, &s)) return 1;
    trueOnly.add(s);
    // drenable that only starts, creates its logger and refuses the
    // arguments: the price of loading the program and its libraries.
    if (!measureOn(node, {DRENABLE_BIN}, 1, &s)) return 1;
    startOnly.add(s);

    sim.clearRequests();
    relay.reset();
    if (!measureOn(node, {DRENABLE_BIN, envFile, "0", "0", "", ""}, 0, &s)) return 1;
    decision.add(s);
    // The decision's requests: the local, then the remote DR group, and
    // nothing else, all over one connection.
    auto reqs = sim.requests();
    bool right = reqs.size() == 2 && reqs[0].operation == "GetInstance" &&
                 reqs[1].operation == "GetInstance" &&
                 reqs[0].target.find("50014380025B4A80") != std::string::npos &&
                 reqs[1].target.find("50014380025B4C20") != std::string::npos &&
                 relay.usedConnections() == 1 && relay.connections() == 1;
    connections = std::max(connections, relay.connections());
    if (!right) {
      requestsRight = false;
      std::fprintf(stderr, "run %d: %zu requests over %d connections (%d opened):\n", i,
                   reqs.size(), relay.usedConnections(), relay.connections());
      for (const auto& q : reqs) std::fprintf(stderr, "  %s\n", q.line.c_str());
    }
  }

  std::printf("drenable on a source-site node, link up, device ID map in place; %d runs\n",
              runs);
  std::printf("  CIM requests per decision: %s\n",
              requestsRight ? "2 (GetInstance local DR group, GetInstance remote DR group), "
                              "both over 1 connection"
                            : "NOT as expected (see above)");
  std::printf("  TCP connections opened per decision: %d at most (goal 1)\n", connections);
  decision.print("drenable, whole decision:");
  startOnly.print("drenable, start-up and exit only:");
  trueOnly.print("/bin/true, for scale:");
  std::printf("  the decision beyond start-up: CPU %.2f ms, memory %.2f MB\n",
              percentile(decision.cpuMs, 0.5) - percentile(startOnly.cpuMs, 0.5),
              percentile(decision.rssMb, 0.5) - percentile(startOnly.rssMb, 0.5));
  bool goals = percentile(decision.cpuMs, 0.5) < CPU_GOAL_MS &&
               percentile(decision.rssMb, 1.0) < MEMORY_GOAL_MB;
  std::printf("  goal (< %.0f ms CPU, < %.0f MB): %s\n", CPU_GOAL_MS, MEMORY_GOAL_MB,
              goals ? "met" : "NOT met");

  // The same start with a dead server listed first: the map file names it,
  // DC1_SMIS_LIST tries it before the live one.
  support::BlackHole hole;
  if (hole.port() == 0) {
    std::fprintf(stderr, "cannot make the black hole\n");
    return 1;
  }
  support::Sandbox deadFirst("node1");
  deadFirst.writeFile("/etc/hosts", "127.0.0.1\tlocalhost smis-dead smis-dc1 smis-dc2\n");
  std::vector<support::SmisEntry> withDead(2);
  withDead[0].host = "smis-dead";
  withDead[0].port = hole.port();
  withDead[1].host = "smis-dc1";
  withDead[1].port = relay.port();
  deadFirst.writeFile(
      support::MAP_FILE,
      support::mapFileText(withDead, {{"50014380025B4A80", dg, "50014380025B4A80\\DRG\\0001", ""},
                                  {"50014380025B4C20", dg, "50014380025B4C20\\DRG\\0001", ""}}),
      0600);
  deadFirst.makeDir(pkgDir);
  support::ArrayVariables deadVars;
  deadVars.dc1Smis = "smis-dead smis-dc1";
  deadVars.queryTimeout = "300";
  deadFirst.writeFile(envFile, support::packageEnvText(pkgDir, "AVAILABILITY_PREFERRED", 5, deadVars));
  support::RunOptions o;
  o.args = {envFile, "0", "0", "", ""};
  o.env["PACKAGE"] = "pkg1";
  auto started = std::chrono::steady_clock::now();
  support::RunResult dead = deadFirst.run(DRENABLE_BIN, o);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  bool deadRight = dead.exitCode == 0 && seconds < DEAD_SERVER_GOAL_S;
  if (dead.exitCode != 0) std::fprintf(stderr, "%s\n", dead.describe().c_str());
  std::printf("drenable with the first local SMI-S server black-holed, QUERY_TIME_OUT=300\n");
  std::printf("  start-up decision took %.2f s, exit %d; goal (< %.0f s, exit 0): %s\n", seconds,
              dead.exitCode, DEAD_SERVER_GOAL_S, deadRight ? "met" : "NOT met");
  return requestsRight && deadRight ? 0 : 1;
}
