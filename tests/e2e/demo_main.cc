// drenable_demo: what scripts/demo shows. Starts zarnsim on a scenario,
// prepares sandboxed cluster nodes of both data centres (map file with the
// SMI-S servers and the device ID map, package environment files) and runs
// drenable on them as a package's control script would, printing the
// package log of each run and a one-line verdict. Needs root (the nodes are
// namespaces); writes nothing outside its temporary folders.
//
//   drenable_demo --zarnsim PATH --drenable PATH --scenario FILE
//
// The demo is a list of steps run in order (see main); a step is any
// function of the Cluster, so steps that run other programs on the nodes
// fit in beside the drenable runs. Exit status 0 when every step turned out
// as expected.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"

namespace {

using json = nlohmann::json;

const char* const DC1_WWN = "5001-4380-025B-4A80";
const char* const DC2_WWN = "5001-4380-025B-4C20";

struct Options {
  std::string zarnsim;
  std::string drenable;
  std::string scenario;
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The simulated arrays and the cluster nodes that reach them.
class Cluster {
 public:
  explicit Cluster(const Options& options)
      : options_(options), scenarioText_(readFile(options.scenario)) {}

  // Starts zarnsim; false (with the reason printed) when it cannot.
  bool start() {
    if (scenarioText_.empty()) {
      std::printf("cannot read the scenario %s\n", options_.scenario.c_str());
      return false;
    }
    scenario_ = json::parse(scenarioText_, nullptr, false, true);
    if (scenario_.is_discarded()) {
      std::printf("the scenario %s is not JSON\n", options_.scenario.c_str());
      return false;
    }
    sim_ = std::make_unique<support::ZarnSim>(options_.zarnsim, scenarioText_);
    if (!sim_->ok()) {
      std::printf("zarnsim did not start: %s\n", sim_->error().c_str());
      return false;
    }
    std::printf("zarnsim is serving %s on 127.0.0.1:%d, as the SMI-S servers smis-dc1 "
                "and smis-dc2\n",
                options_.scenario.c_str(), sim_->port());
    return true;
  }

  support::ZarnSim& sim() { return *sim_; }
  const json& scenario() const { return scenario_; }
  const Options& options() const { return options_; }

  // The node of that name; made on first use with the SMI-S server list in
  // its map file and smis-dc1 and smis-dc2 resolving to the simulator.
  support::Sandbox& node(const std::string& name) {
    auto it = nodes_.find(name);
    if (it != nodes_.end()) return *it->second;
    auto node = std::make_unique<support::Sandbox>(name);
    node->writeFile("/etc/hosts", "127.0.0.1\tlocalhost smis-dc1 smis-dc2\n");
    node->writeFile(support::MAP_FILE, support::mapFileText(servers(), devices_), 0600);
    support::Sandbox& ref = *node;
    nodes_[name] = std::move(node);
    return ref;
  }

 private:
  std::vector<support::SmisEntry> servers() const {
    std::vector<support::SmisEntry> out(2);
    out[0].host = "smis-dc1";
    out[1].host = "smis-dc2";
    for (auto& s : out) s.port = sim_->port();
    return out;
  }

  Options options_;
  std::string scenarioText_;
  json scenario_;
  std::unique_ptr<support::ZarnSim> sim_;
  std::vector<support::DeviceEntry> devices_;
  std::map<std::string, std::unique_ptr<support::Sandbox>> nodes_;
};

// One start of a package by its control script.
struct Start {
  std::string node;
  std::string package;  // also its DR group's name
  std::string policy;
  int waitMinutes = 0;
  bool forceflag = false;  // the operator created the FORCEFLAG file
  int expectedExit = 0;
  // Waits run under libfaketime at 100 times the speed: a minute between
  // two checks of the DR group takes 0.6 s.
  bool fast = false;
};

const char* meaning(int exitCode) {
  switch (exitCode) {
    case 0: return "start";
    case 1: return "do not start";
    case 2: return "do not start on this node now";
    case 3: return "start; the storage was switched to read-write here";
    default: return "no exit code";
  }
}

std::string indent(const std::string& text, const char* prefix) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out += prefix + text.substr(start, end - start) + "\n";
    start = end + 1;
  }
  return out;
}

// Runs drenable for the package on the node; prints its package log and
// the verdict. True when the exit code is the expected one.
bool runStart(Cluster& cluster, const Start& s) {
  support::Sandbox& node = cluster.node(s.node);
  const std::string pkgDir = "/opt/kxcluster/pkg/" + s.package;
  const std::string envFile = pkgDir + "/" + s.package + ".env";
  support::ArrayVariables vars;
  vars.drGroup = s.package;
  vars.dc1Wwn = DC1_WWN;
  vars.dc2Wwn = DC2_WWN;
  // Sped up, a query time-out of 300 s would be 3 s of real time.
  if (s.fast) vars.queryTimeout = "6000";
  node.makeDir(pkgDir);
  node.writeFile(envFile, support::packageEnvText(pkgDir, s.policy, s.waitMinutes, vars));
  if (s.forceflag) {
    node.writeFile(pkgDir + "/FORCEFLAG", "");
    std::printf("    (the operator created %s/FORCEFLAG)\n", pkgDir.c_str());
  }
  std::printf("    $ drenable %s 0 0 \"\" \"\"      # policy %s, WAIT_TIME %d\n",
              envFile.c_str(), s.policy.c_str(), s.waitMinutes);

  support::RunOptions o;
  o.args = {envFile, "0", "0", "", ""};
  o.env["PACKAGE"] = s.package;
  if (s.fast) {
    support::preloadFakeTime(o, FAKETIME_SLEEP_LIB, "+0 x100");
    std::printf("    (the clock runs 100 times faster: the waits take seconds)\n");
  }
  cluster.sim().clearRequests();
  support::RunResult r = node.run(cluster.options().drenable, o);
  if (!r.setupError.empty()) {
    std::printf("    cannot run drenable: %s\n", r.setupError.c_str());
    return false;
  }
  std::fputs(indent(r.out, "    | ").c_str(), stdout);
  for (const auto& e : r.sysLogMessages())
    std::printf("    system log: %s\n", e.c_str());

  size_t failovers = cluster.sim().requests("FastFailover").size();
  bool forceflagLeft = node.readFile(pkgDir + "/FORCEFLAG").has_value();
  std::string verdict = "exit " + std::to_string(r.exitCode) + " (" + meaning(r.exitCode) +
                        "); FastFailover sent " + std::to_string(failovers) + " time" +
                        (failovers == 1 ? "" : "s");
  if (s.forceflag)
    verdict += forceflagLeft ? "; FORCEFLAG left in place" : "; FORCEFLAG used and removed";
  bool asExpected = r.exitCode == s.expectedExit;
  std::printf("    => %s -- %s\n\n", verdict.c_str(),
              asExpected ? "as expected"
                         : ("EXPECTED exit " + std::to_string(s.expectedExit)).c_str());
  return asExpected;
}

// drenable -explain for the package on the node: its last decision read
// back from the decision record, in words (or another form). True when it
// could be told.
bool runExplain(Cluster& cluster, const std::string& nodeName, const std::string& package,
                const std::vector<std::string>& options = {}) {
  support::Sandbox& node = cluster.node(nodeName);
  const std::string envFile = "/opt/kxcluster/pkg/" + package + "/" + package + ".env";
  support::RunOptions o;
  o.args = {"-explain"};
  o.args.insert(o.args.end(), options.begin(), options.end());
  o.args.push_back(envFile);
  std::string shown;
  for (const std::string& a : o.args) shown += " " + a;
  std::printf("    %s$ drenable%s\n", nodeName.c_str(), shown.c_str());
  support::RunResult r = node.run(cluster.options().drenable, o);
  std::fputs(indent(r.out + r.err, "    | ").c_str(), stdout);
  std::printf("\n");
  return r.setupError.empty() && r.exitCode == 0;
}

// Builds the device ID map on every node with zarndiscovery (from the same
// build as drenable), through the node's default SMI-S server, from an input file
// naming the scenario's DR groups on the arrays of the two data centres.
// Prints node1's run and its listing. True when every run succeeded.
bool runDiscovery(Cluster& cluster) {
  const std::string program = ZARNDISCOVERY_BIN;
  const char* const inputFile = "/root/zarn_pairs.cfg";
  std::string input = std::string("# the arrays of data centres 1 and 2\n") +
                      "<storage_pair_info>\n\"" + DC1_WWN + "\"\n\"" + DC2_WWN +
                      "\"\n<dr_group_info>\n";
  for (const auto& g : cluster.scenario()["drGroups"])
    input += "\"" + g["name"].get<std::string>() + "\"\n";
  bool allGood = true;
  for (const char* name : {"node1", "node2", "node3", "node4"}) {
    support::Sandbox& node = cluster.node(name);
    node.writeFile(inputFile, input);
    support::RunOptions o;
    o.args = {"-f", inputFile};
    support::RunResult r = node.run(program, o);
    bool good = r.setupError.empty() && r.exitCode == 0;
    allGood = allGood && good;
    if (std::strcmp(name, "node1") != 0) {
      std::printf("    %s: zarndiscovery -f %s => exit %d%s\n", name, inputFile,
                  r.exitCode, good ? "" : (" " + r.setupError + r.err).c_str());
      continue;
    }
    std::printf("    %s:\n%s", inputFile, indent(input, "    : ").c_str());
    std::printf("    $ zarndiscovery -f %s\n", inputFile);
    std::fputs(indent(r.out + r.err, "    | ").c_str(), stdout);
    o.args = {"-l"};
    r = node.run(program, o);
    std::printf("    $ zarndiscovery -l\n");
    std::fputs(indent(r.out + r.err, "    | ").c_str(), stdout);
    allGood = allGood && r.exitCode == 0;
  }
  std::printf("\n");
  return allGood;
}

// Asks for the state of every DR group of the scenario on both arrays with
// ZARNGetDRState (from the same build as drenable) on node3, through smis-dc2 first,
// and prints each query and its four lines. True when every query answered.
bool runStateQuery(Cluster& cluster) {
  const std::string program = ZARNGETDRSTATE_BIN;
  support::Sandbox& node = cluster.node("node3");
  bool allGood = true;
  for (const auto& g : cluster.scenario()["drGroups"]) {
    for (const char* wwn : {DC1_WWN, DC2_WWN}) {
      const std::string group = g["name"].get<std::string>();
      support::RunOptions o;
      o.args = {group, wwn, "smis-dc2", "smis-dc1"};
      std::printf("    $ ZARNGetDRState %s %s smis-dc2 smis-dc1\n", group.c_str(), wwn);
      support::RunResult r = node.run(program, o);
      std::fputs(indent(r.out + r.err, "    | ").c_str(), stdout);
      allGood = allGood && r.setupError.empty() && r.exitCode == 0;
    }
  }
  std::printf("\n");
  return allGood;
}

struct Step {
  std::string title;
  std::function<bool(Cluster&)> run;
};

bool parseArguments(int argc, char** argv, Options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--zarnsim") == 0)
      o->zarnsim = argv[i + 1];
    else if (std::strcmp(argv[i], "--drenable") == 0)
      o->drenable = argv[i + 1];
    else if (std::strcmp(argv[i], "--scenario") == 0)
      o->scenario = argv[i + 1];
    else
      return false;
  }
  if (argc % 2 == 0 || o->zarnsim.empty() || o->drenable.empty() || o->scenario.empty())
    return false;
  // The nodes run programs from their own root folder.
  o->zarnsim = std::filesystem::absolute(o->zarnsim).string();
  o->drenable = std::filesystem::absolute(o->drenable).string();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseArguments(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: drenable_demo --zarnsim PATH --drenable PATH --scenario FILE\n");
    return 2;
  }
  Cluster cluster(options);
  if (!cluster.start()) return 1;

  // node1 and node2 are in data centre 1, node3 and node4 in data centre 2;
  // both DR groups have their source in data centre 1.
  const std::vector<Step> steps = {
      {"Discovery: zarndiscovery stores the device ID map of both DR groups in "
       "every node's map file",
       [](Cluster& c) { return runDiscovery(c); }},
      {"State query: ZARNGetDRState reads both DR groups on both arrays from node3",
       [](Cluster& c) { return runStateQuery(c); }},
      {"Package sales starts on node3 (data centre 2, the destination site); "
       "link up, data current",
       [](Cluster& c) {
         return runStart(c, {"node3", "sales", "AVAILABILITY_PREFERRED", 5, false, 3});
       }},
      {"Package sales restarts on node1 (data centre 1, now the destination site)",
       [](Cluster& c) {
         return runStart(c, {"node1", "sales", "AVAILABILITY_PREFERRED", 5, false, 3});
       }},
      {"Package billing starts on node4 (data centre 2); link down, data not current, "
       "policy DATA_CURRENCY_PREFERRED",
       [](Cluster& c) {
         return runStart(c, {"node4", "billing", "DATA_CURRENCY_PREFERRED", 5, false, 1});
       }},
      {"Why? drenable -explain reads node4's last decision for billing back",
       [](Cluster& c) { return runExplain(c, "node4", "billing"); }},
      {"The same start, forced by the operator with FORCEFLAG",
       [](Cluster& c) {
         return runStart(c, {"node4", "billing", "DATA_CURRENCY_PREFERRED", 5, true, 3});
       }},
      {"Package orders starts on node3 (data centre 2) while logged writes are "
       "merged to it; WAIT_TIME 10",
       [](Cluster& c) {
         return runStart(c, {"node3", "orders", "DATA_CURRENCY_PREFERRED", 10, false, 3, true});
       }},
      {"drenable -explain for orders on node3, and the lines a script reads",
       [](Cluster& c) {
         return runExplain(c, "node3", "orders") &&
                runExplain(c, "node3", "orders", {"-summary"});
       }},
  };

  bool allGood = true;
  int n = 0;
  for (const Step& step : steps) {
    std::printf("== %d. %s\n", ++n, step.title.c_str());
    if (!step.run(cluster)) allGood = false;
  }
  std::printf("%s\n", allGood ? "Every run turned out as expected."
                              : "Some runs did NOT turn out as expected.");
  return allGood ? 0 : 1;
}
