// zarndiscovery against zarnsim holding 512 DR groups of 8 disks on each of
// two arrays: wall time, the program's CPU time and the requests it sent,
// for input files naming 64, 128, 256 and 512 of the DR groups, to show
// how the cost grows with the number of DR groups.
//
//   discovery_bench [sizes...]
//
// The program runs on a sandboxed node (it writes the system's map file
// path), so the benchmark needs root like the end-to-end tests. The
// simulator is started afresh for every size so that each request log is
// the run's own.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"

namespace {

const int GROUPS = 512;
const int DISKS = 8;
const char A[] = "50014380025B4A80";
const char B[] = "50014380025B4C20";
const char* const INPUT = "/root/pairs.txt";

std::string number(int value, int width) {
  std::string s = std::to_string(value);
  return std::string(width > static_cast<int>(s.size()) ? width - s.size() : 0, '0') + s;
}

std::string groupName(int g) { return "dg" + number(g, 4); }

std::string scenario() {
  std::string s = "{\"arrays\": [";
  for (int a = 0; a < 2; ++a) {
    s += std::string(a ? "," : "") + "{\"id\": \"dc" + std::to_string(a + 1) +
         "\", \"wwn\": \"" + (a ? B : A) + "\", \"volumes\": [";
    for (int g = 0; g < GROUPS; ++g)
      for (int d = 0; d < DISKS; ++d)
        s += std::string(g || d ? "," : "") + "{\"id\": \"v" + number(g, 4) +
             number(d, 2) + "\", \"wwn\": \"600" + (a ? "B" : "A") + number(g, 4) +
             number(d, 4) + "\"}";
    s += "]}";
  }
  s += "], \"drGroups\": [";
  for (int g = 0; g < GROUPS; ++g) {
    s += std::string(g ? "," : "") + "{\"name\": \"" + groupName(g) + "\", \"sides\": [";
    for (int a = 0; a < 2; ++a) {
      s += std::string(a ? "," : "") + "{\"array\": \"dc" + std::to_string(a + 1) +
           "\", \"instanceId\": \"" + (a ? B : A) + "." + number(g, 4) +
           "\", \"volumes\": [";
      for (int d = 0; d < DISKS; ++d)
        s += std::string(d ? "," : "") + "\"v" + number(g, 4) + number(d, 2) + "\"";
      s += "]}";
    }
    s += "]}";
  }
  return s + "]}";
}

std::string inputFile(int groups) {
  std::string t = "<storage_pair_info>\n\"5001-4380-025B-4A80\"\n"
                  "\"5001-4380-025B-4C20\"\n<dr_group_info>\n";
  for (int g = 0; g < groups; ++g) t += "\"" + groupName(g) + "\"\n";
  return t;
}

double childCpuSeconds() {
  struct rusage u;
  getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {64, 128, 256, 512};
  if (geteuid() != 0) {
    std::fprintf(stderr, "discovery_bench: needs root (sandboxed node)\n");
    return 1;
  }
  const std::string scenarioText = scenario();
  std::printf("%6s %10s %10s %9s %8s %8s %8s %8s\n", "groups", "wall_s",
              "tool_cpu_s", "requests", "enum", "assoc", "getinst", "ms/group");
  for (int groups : sizes) {
    support::ZarnSim sim(ZARNSIM_BIN, scenarioText);
    if (!sim.ok()) {
      std::fprintf(stderr, "discovery_bench: %s\n", sim.error().c_str());
      return 1;
    }
    support::Sandbox node("node1");
    support::SmisEntry server;
    server.port = sim.port();
    node.writeFile(support::MAP_FILE, support::mapFileText({server}, {}), 0600);
    node.writeFile(INPUT, inputFile(groups));
    support::RunOptions o;
    o.args = {"-f", INPUT};
    o.timeoutSeconds = 3600;
    double cpuBefore = childCpuSeconds();
    auto start = std::chrono::steady_clock::now();
    support::RunResult r = node.run(ZARNDISCOVERY_BIN, o);
    double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = childCpuSeconds() - cpuBefore;
    if (r.exitCode != 0) {
      std::fprintf(stderr, "discovery_bench: zarndiscovery failed:\n%s\n",
                   r.describe().c_str());
      return 1;
    }
    std::map<std::string, int> byOperation;
    std::vector<support::SimRequest> requests = sim.requests();
    for (const support::SimRequest& q : requests) byOperation[q.operation]++;
    std::printf("%6d %10.2f %10.2f %9zu %8d %8d %8d %8.2f\n", groups, wall, cpu,
                requests.size(), byOperation["EnumerateInstances"],
                byOperation["AssociatorNames"], byOperation["GetInstance"],
                wall * 1000 / groups);
    std::fflush(stdout);
  }
  return 0;
}
