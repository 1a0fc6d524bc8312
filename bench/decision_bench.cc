// The cost of one start-up decision: drenable on a sandboxed node of the
// source site with the link up and the device ID map in place, against
// zarnsim over HTTP and over HTTPS. Checks, from zarnsim's request log and a
// counting relay in front of it, that the decision takes exactly two CIM
// requests (the local and the remote DR group), and counts the TCP
// connections and TLS handshakes each decision opens (goal: one of each);
// reports drenable's own CPU time and peak memory per decision, and what
// completing and writing its decision record costs in-process. Then times
// a start whose local SMI-S list names two servers, the first healthy,
// refusing connections, or black-holed (its host drops connection
// attempts), with QUERY_TIME_OUT=300, against the healthy server alone.
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

#include <nlohmann/json.hpp>

#include "drif/decision_log.h"
#include "drif/decision_record.h"
#include "sfcore/decision_report.h"
#include "tests/support/black_hole.h"
#include "tests/support/files.h"
#include "tests/support/ports.h"
#include "tests/support/sandbox.h"
#include "tests/support/tls_server.h"
#include "tests/support/zarnsim.h"

namespace {

const double CPU_GOAL_MS = 5.0;
const double MEMORY_GOAL_MB = 8.0;
// What a dead first server may add to a start.
const double DEAD_SERVER_GOAL_S = 3.0;

// A TCP relay on 127.0.0.1 in front of the simulator that counts the
// connections made to it, those that carried a request, and those whose
// client opened with a TLS handshake record.
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
  int handshakes() const { return handshakes_; }
  void reset() {
    connections_ = 0;
    used_ = 0;
    handshakes_ = 0;
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
            if (buf[0] == 0x16) ++handshakes_;  // a TLS ClientHello
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
  std::atomic<int> handshakes_{0};
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
  double wallS = 0;
};

// Runs program under measure_exec on the node; false when it could not be
// measured or did not end with expectedExit.
bool measureOn(support::Sandbox& node, const std::vector<std::string>& command, int expectedExit,
               Sample* out) {
  support::RunOptions o;
  o.args = command;
  o.env["PACKAGE"] = "pkg1";
  support::RunResult r = node.run(MEASURE_EXEC_BIN, o);
  long cpuUs = 0, rssKb = 0, wallUs = 0;
  size_t at = r.err.rfind("cpu_us=");
  if (r.exitCode != expectedExit || at == std::string::npos ||
      std::sscanf(r.err.c_str() + at, "cpu_us=%ld maxrss_kb=%ld wall_us=%ld", &cpuUs, &rssKb,
                  &wallUs) != 3) {
    std::fprintf(stderr, "%s did not run as expected:\n%s\n", command[0].c_str(),
                 r.describe().c_str());
    return false;
  }
  out->cpuMs = cpuUs / 1000.0;
  out->rssMb = rssKb / 1024.0;
  out->wallS = wallUs / 1e6;
  return true;
}

struct Series {
  std::vector<double> cpuMs, rssMb, wallS;
  void add(const Sample& s) {
    cpuMs.push_back(s.cpuMs);
    rssMb.push_back(s.rssMb);
    wallS.push_back(s.wallS);
  }
  void print(const char* what) const {
    std::printf("  %-44s CPU median %6.2f ms (p95 %6.2f)   peak memory median %5.2f MB "
                "(max %5.2f)\n",
                what, percentile(cpuMs, 0.5), percentile(cpuMs, 0.95), percentile(rssMb, 0.5),
                percentile(rssMb, 1.0));
  }
};

// A decision record as a source's start leaves it.
const nlohmann::json SAMPLE_RECORD = nlohmann::json::parse(R"({
  "package": "pkg1", "dr_group": "dg01", "node": "node1", "site": "DC1",
  "policy": "AVAILABILITY_PREFERRED", "wait_time": 5, "action": "start",
  "rule": "source-link-up-synced",
  "local": {"participation": "source", "link": "good", "log_state": "normal",
            "write_mode": "synchronous", "failsafe": "disabled", "failsafe_lock": "no",
            "suspend": "no", "full_copy": "no", "writes": "0"},
  "remote": {"participation": "destination", "link": "good", "log_state": "normal",
             "write_mode": "synchronous", "failsafe": "disabled", "failsafe_lock": "no",
             "suspend": "no", "full_copy": "no", "writes": "0"},
  "state": {"role": "SOURCE", "link": "UP", "currency": "NO", "replication": "SYNCED",
            "write_mode": "SYNCHRONOUS"},
  "servers": [{"host": "smis-dc1", "port": 5989, "ssl": true, "used": true,
               "outcome": "connected", "milliseconds": 3}],
  "writes_outstanding": 0,
  "message": "The replication link state is good, the role of the device group on this site is \"source\", and the state of the data is current. The package is allowed to start up."
})");

const char* const PKG_DIR = "/opt/kxcluster/pkg/pkg1";
const char* const ENV_FILE = "/opt/kxcluster/pkg/pkg1/pkg1.env";

// A node of the source site whose map file lists servers and whose package
// names smisList as DC1_SMIS_LIST.
void prepareNode(support::Sandbox& node, const std::vector<support::SmisEntry>& servers,
                 const std::string& smisList) {
  node.writeFile("/etc/hosts", "127.0.0.1\tlocalhost smis-first smis-dc1 smis-dc2\n");
  const std::string dg = "\\Data Replication\\dg01";
  node.writeFile(support::MAP_FILE,
                 support::mapFileText(servers,
                                      {{"50014380025B4A80", dg, "50014380025B4A80\\DRG\\0001", ""},
                                       {"50014380025B4C20", dg, "50014380025B4C20\\DRG\\0001", ""}}),
                 0600);
  node.makeDir(PKG_DIR);
  support::ArrayVariables vars;
  vars.dc1Smis = smisList;
  vars.queryTimeout = "300";
  node.writeFile(ENV_FILE, support::packageEnvText(PKG_DIR, "AVAILABILITY_PREFERRED", 5, vars));
}

support::SmisEntry entry(const std::string& host, int port, bool ssl) {
  support::SmisEntry e;
  e.host = host;
  e.port = port;
  e.useSSL = ssl ? "Y" : "N";
  return e;
}

// What the decisions over one protocol cost.
struct Wire {
  bool requestsRight = true;
  int connections = 0;  // the most any decision opened
  int handshakes = 0;
  Series decision;
};

// runs decisions through the relay in front of sim, the server listed with
// or without SSL; false when drenable could not be measured.
bool measureDecisions(support::ZarnSim& sim, Relay& relay, bool ssl, int runs, Wire* wire) {
  support::Sandbox node("node1");
  prepareNode(node, {entry("smis-dc1", relay.port(), ssl)}, "smis-dc1");
  for (int i = 0; i < runs; ++i) {
    sim.clearRequests();
    relay.reset();
    Sample s;
    if (!measureOn(node, {DRENABLE_BIN, ENV_FILE, "0", "0", "", ""}, 0, &s)) return false;
    wire->decision.add(s);
    // The decision's requests: the local, then the remote DR group, and
    // nothing else, all over one connection.
    auto reqs = sim.requests();
    bool right = reqs.size() == 2 && reqs[0].operation == "GetInstance" &&
                 reqs[1].operation == "GetInstance" &&
                 reqs[0].target.find("50014380025B4A80") != std::string::npos &&
                 reqs[1].target.find("50014380025B4C20") != std::string::npos;
    wire->connections = std::max(wire->connections, relay.connections());
    wire->handshakes = std::max(wire->handshakes, relay.handshakes());
    if (!right) {
      wire->requestsRight = false;
      std::fprintf(stderr, "%s run %d: %zu requests over %d connections (%d opened):\n",
                   ssl ? "HTTPS" : "HTTP", i, reqs.size(), relay.usedConnections(),
                   relay.connections());
      for (const auto& q : reqs) std::fprintf(stderr, "  %s\n", q.line.c_str());
    }
  }
  return true;
}

// The median wall time of runs starts with these servers and list; -1
// when a start failed.
double startTime(const std::vector<support::SmisEntry>& servers, const std::string& smisList,
                 int runs) {
  support::Sandbox node("node1");
  prepareNode(node, servers, smisList);
  Series starts;
  for (int i = 0; i < runs; ++i) {
    Sample s;
    if (!measureOn(node, {DRENABLE_BIN, ENV_FILE, "0", "0", "", ""}, 0, &s)) return -1;
    starts.add(s);
  }
  return percentile(starts.wallS, 0.5);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

  support::TempDir certs;
  if (!support::makeCertificate(certs.path(), false)) {
    std::fprintf(stderr, "cannot make a certificate\n");
    return 1;
  }
  support::ZarnSim sim(ZARNSIM_BIN, SCENARIO);
  support::SimOptions tls;
  tls.args = {"--https", "--cert", certs.file("cert.pem"), "--key", certs.file("key.pem")};
  support::ZarnSim tlsSim(ZARNSIM_BIN, SCENARIO, tls);
  for (const support::ZarnSim* s : {&sim, &tlsSim}) {
    if (!s->ok()) {
      std::fprintf(stderr, "zarnsim: %s\n", s->error().c_str());
      return 1;
    }
  }
  Relay relay(sim.port());
  Relay tlsRelay(tlsSim.port());
  if (relay.port() == 0 || tlsRelay.port() == 0) {
    std::fprintf(stderr, "cannot listen for the relays\n");
    return 1;
  }

  // Any process on this machine, and drenable that only starts, creates
  // its logger and refuses the arguments: the floor under every figure.
  Series startOnly, trueOnly;
  {
    support::Sandbox node("node1");
    for (int i = 0; i < runs; ++i) {
      Sample s;
      if (!measureOn(node, {"/bin/true"}, 0, &s)) return 1;
      trueOnly.add(s);
      if (!measureOn(node, {DRENABLE_BIN}, 1, &s)) return 1;
      startOnly.add(s);
    }
  }
  Wire http, https;
  if (!measureDecisions(sim, relay, false, runs, &http) ||
      !measureDecisions(tlsSim, tlsRelay, true, runs, &https))
    return 1;

  std::printf("drenable on a source-site node, link up, device ID map in place; %d runs each\n",
              runs);
  std::printf("  %-44s %-10s %s\n", "", "HTTP", "HTTPS");
  auto requests = [](const Wire& w) { return w.requestsRight ? "2" : "NOT 2"; };
  std::printf("  %-44s %-10s %s\n", "CIM requests per decision (2 GetInstance)",
              requests(http), requests(https));
  std::printf("  %-44s %-10d %d\n", "TCP connections per decision, at most", http.connections,
              https.connections);
  std::printf("  %-44s %-10d %d\n", "TLS handshakes per decision, at most", http.handshakes,
              https.handshakes);
  bool wireRight = http.requestsRight && https.requestsRight && http.connections == 1 &&
                   https.connections == 1 && https.handshakes == 1;
  std::printf("  goal (2 requests over 1 connection, 1 handshake over HTTPS): %s\n",
              wireRight ? "met" : "NOT met");
  http.decision.print("drenable, whole decision over HTTP:");
  https.decision.print("drenable, whole decision over HTTPS:");
  startOnly.print("drenable, start-up and exit only:");
  trueOnly.print("/bin/true, for scale:");
  std::printf("  the HTTP decision beyond start-up: CPU %.2f ms, memory %.2f MB\n",
              percentile(http.decision.cpuMs, 0.5) - percentile(startOnly.cpuMs, 0.5),
              percentile(http.decision.rssMb, 0.5) - percentile(startOnly.rssMb, 0.5));
  bool goals = percentile(http.decision.cpuMs, 0.5) < CPU_GOAL_MS &&
               percentile(http.decision.rssMb, 1.0) < MEMORY_GOAL_MB;
  std::printf("  goal over HTTP (< %.0f ms CPU, < %.0f MB): %s\n", CPU_GOAL_MS, MEMORY_GOAL_MB,
              goals ? "met" : "NOT met");

  // What the decision record costs a run: completing it and appending it
  // to the package's log (with the trims a full log takes), in-process on a
  // record like the decisions' above. Where a journal runs, sending it
  // there adds one datagram.
  {
    support::TempDir pkg;
    const int records = 20000;
    const auto began = std::chrono::steady_clock::now();
    size_t bytes = 0;
    for (int i = 0; i < records; ++i) {
      DecisionRecord record;
      record.setPackageDir(pkg.path());
      for (auto it = SAMPLE_RECORD.begin(); it != SAMPLE_RECORD.end(); ++it)
        record.set(it.key().c_str(), it.value());
      completeRecord(record, 1765260000, 12, 0);
      bytes = recordLine(record.fields()).size();
      writeRecord(record);
    }
    const double us = std::chrono::duration<double, std::micro>(
                          std::chrono::steady_clock::now() - began)
                          .count() /
                      records;
    std::printf("the decision record: %zu bytes a decision; completed and appended in %.1f us "
                "(%d records, the log trimmed past %zu bytes), %.2f%% of the HTTP decision's "
                "CPU\n",
                bytes, us, records, MAX_DECISION_LOG,
                100.0 * us / 1000.0 / percentile(http.decision.cpuMs, 0.5));
  }

  // The same start with two servers listed, the second the healthy one:
  // the first is the simulator too, a port nobody listens on, or a port
  // whose host drops connection attempts.
  support::BlackHole hole;
  if (hole.port() == 0) {
    std::fprintf(stderr, "cannot make the black hole\n");
    return 1;
  }
  const int fastRuns = std::min(runs, 10), deadRuns = std::min(runs, 3);
  const support::SmisEntry healthy = entry("smis-dc1", relay.port(), false);
  double alone = startTime({healthy}, "smis-dc1", fastRuns);
  const struct {
    const char* what;
    int port;
    int runs;
  } firsts[] = {
      {"first healthy", relay.port(), fastRuns},
      {"first refusing connections", support::unusedPort(), fastRuns},
      {"first black-holed", hole.port(), deadRuns},
  };
  std::printf("start-up decision, DC1_SMIS_LIST=\"smis-first smis-dc1\" over HTTP, "
              "QUERY_TIME_OUT=300 (median wall time)\n");
  std::printf("  %-44s %6.2f s (%d runs)\n", "smis-dc1 alone", alone, fastRuns);
  bool startsRight = alone >= 0;
  double dead = 0;
  for (const auto& f : firsts) {
    double t = startTime({entry("smis-first", f.port, false), healthy}, "smis-first smis-dc1",
                         f.runs);
    startsRight = startsRight && t >= 0;
    std::printf("  %-44s %6.2f s (%+.2f s; %d runs)\n", f.what, t, t - alone, f.runs);
    dead = t - alone;
  }
  bool deadRight = startsRight && dead < DEAD_SERVER_GOAL_S;
  std::printf("  goal (a black-holed first server adds < %.0f s, exit 0): %s\n",
              DEAD_SERVER_GOAL_S, deadRight ? "met" : "NOT met");
  return wireRight && deadRight ? 0 : 1;
}
