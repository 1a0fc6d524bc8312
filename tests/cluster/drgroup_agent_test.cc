// The drgroup resource agent on sandboxed nodes against zarnsim: ocf-tester
// in both parameter forms, how drenable's decisions become OCF codes and
// exit reasons, the node attributes the agent publishes, the monitor's deep
// check, the time a start may take, and the configurations the agent
// refuses before it runs drenable. Nodes node1 and node2 are in data centre
// 1, node3 and node4 in 2.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/drgroup_node.h"
#include "tests/support/ports.h"
#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"

namespace {

using support::sideState;
using Params = std::map<std::string, std::string>;
using Attributes = std::map<std::string, std::string>;

const char* const RSCTMP = "/var/lib/drgroup-test";
const char* const STATE_FILE = "/var/lib/drgroup-test/drgroup-pkg1.started";
const char* const PRIVATE_ENV = "/var/lib/drgroup-test/drgroup-pkg1.env";
const char* const ENV_FILE = "/etc/drenabler/pkg1.env";
const char* const PKGDIR = "/var/lib/drenabler/pkg1";

const char* const AVAIL = "AVAILABILITY_PREFERRED";
const char* const DATA = "DATA_CURRENCY_PREFERRED";

// The environment of an agent run under Pacemaker 2.1 (OCF 1.1).
const Params OCF_1_1 = {{"OCF_RA_VERSION_MAJOR", "1"}, {"OCF_RA_VERSION_MINOR", "1"}};

std::vector<support::SimGroup> groups() {
  const std::string copying = R"({"Fullcopystate": "yes"})";
  return {
      {"srcUp", sideState("source"), sideState("destination")},
      {"dstUp", sideState("source"), sideState("destination")},
      {"suspended", sideState("source", R"({"LogState": "logging", "Suspend": "yes"})"),
       sideState("destination")},
      {"switched", sideState("destination"), sideState("source")},
      {"copying", sideState("source", copying), sideState("destination", copying)},
  };
}

class DrgroupAgent : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sim_ = new support::ZarnSim(ZARNSIM_BIN, support::twoArrayScenario(groups()));
  }
  static void TearDownTestSuite() {
    delete sim_;
    sim_ = nullptr;
  }

  // A node with the agent and the programs; the local SMI-S server of its
  // data centre refuses connections when deadSmis.
  support::Sandbox& node(const std::string& host, bool deadSmis = false,
                         bool programs = true) {
    EXPECT_TRUE(sim_->ok()) << sim_->error();
    node_ = std::make_unique<support::Sandbox>(host);
    node_->writeFile("/etc/hosts", "127.0.0.1\tlocalhost smis-dc1 smis-dc2\n");
    node_->writeFile(support::MAP_FILE,
                     support::twoArrayMapFile(groups(), deadSmis ? support::unusedPort()
                                                                 : sim_->port()),
                     0600);
    if (programs)
      support::installDrgroup(*node_, {AGENT_SOURCE, DRENABLE_BIN, ZARNGETDRSTATE_BIN});
    else
      node_->writeFile(support::DRGROUP_AGENT, support::readHostFile(AGENT_SOURCE), 0755);
    return *node_;
  }

  // The variables of the package of one DR group.
  static Params variables(const std::string& group, const std::string& policy) {
    return {{"dr_group_name", group},
            {"dc1_storage_world_wide_name", "5001-4380-025B-4A80"},
            {"dc2_storage_world_wide_name", "5001-4380-025B-4C20"},
            {"dc1_smis_list", "smis-dc1"},
            {"dc2_smis_list", "smis-dc2"},
            {"dc1_host_list", "node1 node2"},
            {"dc2_host_list", "node3,node4"},
            {"startup_policy", policy}};
  }

  static Params with(Params p, const Params& changes) {
    for (const auto& c : changes) {
      if (c.second.empty())
        p.erase(c.first);
      else
        p[c.first] = c.second;
    }
    return p;
  }

  // Runs one action of the agent on the current node; the sandbox kills
  // its process group after killAfter seconds, as the cluster does at a
  // time-out.
  support::RunResult action(const std::string& name, const Params& params, Params env = {},
                            int killAfter = 120) {
    support::RunOptions o;
    o.args = {name};
    env["OCF_ROOT"] = "/usr/lib/ocf";
    env["OCF_RESOURCE_INSTANCE"] = "pkg1";
    env["HA_RSCTMP"] = RSCTMP;
    for (const auto& p : params) env["OCF_RESKEY_" + p.first] = p.second;
    o.env = env;
    o.timeoutSeconds = killAfter;
    support::RunResult r = node_->run(support::DRGROUP_AGENT, o);
    EXPECT_EQ(r.setupError, "");
    // Whatever went wrong, the shell itself never complains.
    EXPECT_EQ(r.err.find(std::string(support::DRGROUP_AGENT) + ":"), std::string::npos)
        << r.err;
    return r;
  }

  static size_t failovers(const std::string& group) {
    size_t n = 0;
    for (const auto& r : sim_->requests("FastFailover"))
      if (r.detail("drgroup") == "\\Data Replication\\" + group) ++n;
    return n;
  }

  // The one exit reason of a run: at most 128 characters, one line.
  static std::string reason(const support::RunResult& r) {
    std::vector<std::string> reasons = support::exitReasons(r.err);
    EXPECT_EQ(reasons.size(), 1u) << r.err;
    if (reasons.empty()) return "";
    EXPECT_LE(reasons[0].size(), 128u) << reasons[0];
    return reasons[0];
  }

  static support::ZarnSim* sim_;
  std::unique_ptr<support::Sandbox> node_;
};

support::ZarnSim* DrgroupAgent::sim_ = nullptr;

std::string envFileText(const std::string& group) {
  support::ArrayVariables vars;
  vars.drGroup = group;
  vars.dc2Hosts = "node3,node4";
  return support::packageEnvText(PKGDIR, DATA, 0, vars);
}

// The same without the line that begins with this text.
std::string envFileWithout(const std::string& group, const std::string& line) {
  std::string text = envFileText(group);
  size_t at = text.find("\n" + line);
  return text.substr(0, at + 1) + text.substr(text.find('\n', at + 1) + 1);
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// ocf-tester runs every action in the order the cluster would (probe,
// start, monitor, start again, stop twice...) and validates the meta-data
// against the resource agent DTD.
TEST_F(DrgroupAgent, OcfTesterPassesInBothParameterForms) {
  for (bool envfile : {false, true}) {
    SCOPED_TRACE(envfile ? "envfile" : "variables");
    support::Sandbox& n = node("node1");
    support::RunOptions o;
    o.args = {"-v", "-n", "pkg1"};
    if (envfile) {
      n.makeDir(PKGDIR);
      n.writeFile(ENV_FILE, envFileText("srcUp"), 0600);
      o.args.insert(o.args.end(), {"-o", std::string("envfile=") + ENV_FILE});
    } else {
      for (const auto& v : variables("srcUp", AVAIL))
        o.args.insert(o.args.end(), {"-o", v.first + "=" + v.second});
    }
    o.args.push_back(support::DRGROUP_AGENT);
    o.env["HA_RSCTMP"] = RSCTMP;
    o.timeoutSeconds = 240;
    sim_->clearRequests();
    support::RunResult r = n.run("/usr/sbin/ocf-tester", o);
    ASSERT_EQ(r.setupError, "");
    EXPECT_EQ(r.exitCode, 0) << r.describe();
    EXPECT_NE(r.out.find("passed all tests"), std::string::npos) << r.describe();
    EXPECT_EQ(failovers("srcUp"), 0u);
    if (!envfile) {
      // The private environment file the agent wrote from the variables.
      struct stat st;
      ASSERT_EQ(stat(n.hostPath(PRIVATE_ENV).c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0600u);
      // The default package directory, made for FORCEFLAG.
      ASSERT_EQ(stat(n.hostPath(PKGDIR).c_str(), &st), 0);
      EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
  }
}

// Given the package's DR group in each state of interest, start decides as
// drenable does: a start is OCF_SUCCESS, a refusal OCF_ERR_GENERIC (it stays
// on the node that refused), with a short reason that leads with the
// outcome; monitor follows.
TEST_F(DrgroupAgent, StartMapsDrenableExitCodes) {
  const struct {
    const char* name;
    const char* group;
    const char* host;
    const char* policy;
    bool deadSmis;
    bool shellFunctions;  // false: the resource agents' functions are absent
    std::string envFile;  // the envfile form with this file, when not empty
    int rc;
    std::vector<std::string> reason;  // what the exit reason begins with and holds
    size_t failovers;
    int monitor;
  } cases[] = {
      {"source side starts", "srcUp", "node1", AVAIL, false, true, "", 0, {}, 0, 0},
      {"destination fails over", "dstUp", "node3", AVAIL, false, true, "", 0, {}, 1, 0},
      {"data currency refused", "suspended", "node4", DATA, false, true, "", 1,
       {"refused: ", "not be current", "FORCEFLAG"}, 0, 7},
      {"refused without shell functions", "suspended", "node4", DATA, false, false, "", 1,
       {"refused: ", "not be current", "FORCEFLAG"}, 0, 7},
      {"environment file without DC2_SMIS_LIST", "srcUp", "node1", AVAIL, false, true,
       envFileWithout("srcUp", "DC2_SMIS_LIST="), 1, {"refused: ", "DC2_SMIS_LIST"}, 0, 7},
      {"no local SMI-S server", "srcUp", "node2", AVAIL, true, true, "", 1,
       {"refused here: ", "SMI-S"}, 0, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    node(c.host, c.deadSmis);
    Params env;
    if (!c.shellFunctions) env["OCF_FUNCTIONS_DIR"] = "/nonexistent";
    Params params = variables(c.group, c.policy);
    if (!c.envFile.empty()) {
      node_->makeDir(PKGDIR);
      node_->writeFile(ENV_FILE, c.envFile, 0600);
      params = {{"envfile", ENV_FILE}};
    }
    sim_->clearRequests();
    support::RunResult r = action("start", params, env);
    EXPECT_EQ(r.exitCode, c.rc) << r.describe();
    if (c.reason.empty()) {
      EXPECT_EQ(support::exitReasons(r.err), std::vector<std::string>{}) << r.err;
    } else {
      std::string why = reason(r);
      EXPECT_EQ(why.rfind(c.reason[0], 0), 0u) << why;
      for (size_t i = 1; i < c.reason.size(); ++i) EXPECT_TRUE(has(why, c.reason[i])) << why;
    }
    EXPECT_EQ(failovers(c.group), c.failovers);
    EXPECT_EQ(action("monitor", params, env).exitCode, c.monitor);
  }
  // The destination's array became the source.
  node("node3");
  support::RunOptions o;
  o.args = {"dstUp", "5001-4380-025B-4C20", "smis-dc2"};
  EXPECT_NE(node_->run(ZARNGETDRSTATE_BIN, o).out.find(" participationType: source"),
            std::string::npos);
}

// What the agent publishes as node attributes (cluster nodes node1 and
// node3): where the source is on the nodes of both host lists, and the
// running node's view of the DR group, after each start decision, at a deep
// monitor, at a probe that finds them missing; stop takes the running
// node's away.
TEST_F(DrgroupAgent, NodeAttributesTellWhereTheSourceIs) {
  const Attributes sourceHere = {{"drgroup-pkg1-source", "1"}};
  const Attributes sourceThere = {{"drgroup-pkg1-source", "0"}};
  const Attributes runningSource = {{"drgroup-pkg1-source", "1"},
                                    {"drgroup-pkg1-role", "source"},
                                    {"drgroup-pkg1-link", "up"}};
  const struct {
    const char* name;
    const char* group;
    const char* host;
    const char* policy;
    std::vector<std::string> actions;  // run in order; "deep" is monitor at level 10
    Attributes node1;
    Attributes node3;
  } cases[] = {
      {"probe, source in DC1", "srcUp", "node1", AVAIL, {"monitor"}, sourceHere, sourceThere},
      {"probe, source in DC2", "switched", "node1", AVAIL, {"monitor"}, sourceThere,
       sourceHere},
      {"start on the source", "srcUp", "node1", AVAIL, {"start"}, runningSource, sourceThere},
      {"start after a failover", "dstUp", "node3", AVAIL, {"start"}, sourceThere,
       runningSource},
      {"refusal", "suspended", "node3", DATA, {"start"}, sourceHere, sourceThere},
      {"deep monitor", "srcUp", "node1", AVAIL, {"start", "deep"}, runningSource, sourceThere},
      {"stop", "srcUp", "node1", AVAIL, {"start", "stop"}, sourceHere, sourceThere},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    node(c.host);
    support::installNodeAttributes(*node_, {"node1", "node3"});
    for (const std::string& a : c.actions) {
      Params env = OCF_1_1;
      if (a == "deep") {
        env["OCF_CHECK_LEVEL"] = "10";
        env["OCF_RESKEY_CRM_meta_interval"] = "300000";
      }
      if (a == "monitor") env["OCF_RESKEY_CRM_meta_timeout"] = "20000";
      action(a == "deep" ? "monitor" : a, variables(c.group, c.policy), env);
    }
    Attributes node1 = support::nodeAttributes(*node_, "node1");
    Attributes node3 = support::nodeAttributes(*node_, "node3");
    // The writes outstanding, when the start decision read them.
    node1.erase("drgroup-pkg1-writes");
    node3.erase("drgroup-pkg1-writes");
    EXPECT_EQ(node1, c.node1);
    EXPECT_EQ(node3, c.node3);
  }
}

// The monitor's deep check reads the local array's side of the DR group:
// switched away is a failure; a side it cannot read is degraded (where the
// cluster knows OCF 1.1), never a silent success.
TEST_F(DrgroupAgent, DeepMonitorFailsWhenSwitchedAwayAndIsDegradedWhenUnread) {
  const struct {
    const char* name;
    const char* group;
    const char* dc1Wwn;
    bool deadSmis;
    bool shellFunctions;
    Params env;
    int rc;
    std::string reason;  // what the reason holds; "" when none
  } cases[] = {
      {"still the source", "srcUp", "5001-4380-025B-4A80", false, true, OCF_1_1, 0, ""},
      {"switched behind the cluster's back", "switched", "5001-4380-025B-4A80", false, true,
       OCF_1_1, 1, "no longer the source on the DC1 array"},
      {"check level as a parameter, without shell functions", "switched",
       "5001-4380-025B-4A80", false, false,
       {{"OCF_RESKEY_OCF_CHECK_LEVEL", "10"}, {"OCF_RA_VERSION_MAJOR", "1"}}, 1,
       "no longer the source"},
      {"SMI-S unreachable", "srcUp", "5001-4380-025B-4A80", true, true, OCF_1_1, 190,
       "degraded: cannot read DR group srcUp"},
      {"DR group gone", "gone", "5001-4380-025B-4A80", false, true, OCF_1_1, 190,
       "degraded: cannot read DR group gone"},
      {"wrong array", "srcUp", "5001-4380-025B-0000", false, false, OCF_1_1, 190,
       "degraded: cannot read DR group srcUp"},
      {"unread, the cluster before OCF 1.1", "gone", "5001-4380-025B-4A80", false, true, {},
       0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    support::Sandbox& n = node("node1", c.deadSmis);
    n.writeFile(STATE_FILE, "");
    Params env = c.env;
    if (!env.count("OCF_RESKEY_OCF_CHECK_LEVEL")) env["OCF_CHECK_LEVEL"] = "10";
    env["OCF_RESKEY_CRM_meta_interval"] = "300000";
    if (!c.shellFunctions) env["OCF_FUNCTIONS_DIR"] = "/nonexistent";
    Params params = with(variables(c.group, AVAIL), {{"dc1_storage_world_wide_name", c.dc1Wwn}});
    support::RunResult r = action("monitor", params, env);
    EXPECT_EQ(r.exitCode, c.rc) << r.describe();
    if (c.reason.empty())
      EXPECT_EQ(support::exitReasons(r.err), std::vector<std::string>{}) << r.err;
    else
      EXPECT_TRUE(has(reason(r), c.reason)) << r.err;
    // Without the deep check the state file alone answers.
    EXPECT_EQ(action("monitor", params).exitCode, 0);
  }
}

// The private environment file holds each value on its own line exactly as
// given: a backslash is not an escape, and cannot add a line or end one.
TEST_F(DrgroupAgent, PrivateEnvironmentFileHoldsValuesAsGiven) {
  const struct {
    const char* name;
    const char* parameter;
    std::string value;
    std::string line;
  } cases[] = {
      {"escape that ends the output", "dc1_host_list", "node1 node2\\c",
       "DC1_HOST_LIST=node1 node2\\c"},
      {"escape that adds a line", "dc2_host_list", "node3 node4\\nQUERY_TIME_OUT 1",
       "DC2_HOST_LIST=node3 node4\\nQUERY_TIME_OUT 1"},
      {"octal escape", "dc2_smis_list", "smis-dc2\\0101", "DC2_SMIS_LIST=smis-dc2\\0101"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    node("node1");
    for (bool shellFunctions : {true, false}) {
      Params env;
      if (!shellFunctions) env["OCF_FUNCTIONS_DIR"] = "/nonexistent";
      action("start", with(variables("srcUp", AVAIL), {{c.parameter, c.value}}), env);
      std::string text = node_->readFile(PRIVATE_ENV).value_or("");
      EXPECT_TRUE(has(text, "\n" + c.line + "\n")) << text;
      EXPECT_TRUE(has(text, "\nDC2_SMIS_LIST=")) << text;
      EXPECT_FALSE(has(text, "\nQUERY_TIME_OUT")) << text;
      action("stop", {});
    }
  }
}

// A start never outlives its time-out with drenable in the middle of a
// decision: the agent hands drenable what is left of it, and a start that
// is killed all the same has logged each of drenable's lines as it came and
// leaves nothing behind once stopped. Package: DR group "copying" on node3
// (a full copy running), waiting up to a minute.
TEST_F(DrgroupAgent, StartEndsWithinItsTimeOut) {
  const Params params = with(variables("copying", AVAIL), {{"wait_time", "1"}});
  auto outputFiles = [this] {
    size_t n = 0;
    std::error_code ignored;
    for (const auto& e : std::filesystem::directory_iterator(node_->hostPath(RSCTMP), ignored))
      if (e.path().filename().string().rfind("drgroup-pkg1.out.", 0) == 0) ++n;
    return n;
  };

  // Killed in the wait, as the cluster kills a start whose time-out it did
  // not hand over: the log shows how far drenable got.
  node("node3");
  sim_->clearRequests();
  support::RunResult r = action("start", params, {}, 8);
  EXPECT_TRUE(r.timedOut) << r.describe();
  EXPECT_TRUE(has(r.err, "drenable: ") && has(r.err, "wait for completion")) << r.err;
  EXPECT_EQ(outputFiles(), 1u);
  EXPECT_EQ(action("stop", params).exitCode, 0);
  EXPECT_EQ(outputFiles(), 0u);
  EXPECT_EQ(failovers("copying"), 0u);

  // A time-out too short for the wait: drenable ends it in time and the
  // reason names the time limit.
  r = action("start", params, {{"OCF_RESKEY_CRM_meta_timeout", "30000"}}, 40);
  EXPECT_FALSE(r.timedOut) << r.describe();
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_TRUE(has(reason(r), "time")) << r.err;
  EXPECT_EQ(failovers("copying"), 0u);
  EXPECT_EQ(outputFiles(), 0u);

  // A time-out that leaves drenable nothing is refused at once.
  r = action("start", params, {{"OCF_RESKEY_CRM_meta_timeout", "5000"}}, 40);
  EXPECT_EQ(r.exitCode, 6) << r.describe();
  EXPECT_TRUE(has(reason(r), "time-out of 5 s")) << r.err;
  EXPECT_TRUE(sim_->requests().size() == 0 || failovers("copying") == 0u);
}

// Configurations the agent refuses with the OCF code that tells the cluster
// where else to try (none, or another node), without asking the arrays:
// validate-all at level 0 checks the parameters only (a configuration tool
// runs it on any node), at level 10 also this node, as start does.
TEST_F(DrgroupAgent, BadConfigurationsAreRefusedBeforeDrenableRuns) {
  const Params good = variables("srcUp", AVAIL);
  const Params clone = {{"OCF_RESKEY_CRM_meta_clone_max", "2"}};
  const struct {
    const char* name;
    Params params;
    const char* host;
    bool programs;
    int level0;     // validate-all at level 0
    int rc;         // validate-all at level 10, and start
    std::string names;  // what the reason names: the parameter, the node...
    std::string envFile = "";  // written to ENV_FILE when not empty
    Params env = {};
  } cases[] = {
      {"both forms", with(good, {{"envfile", ENV_FILE}}), "node1", true, 6, 6, "envfile"},
      {"required variable missing", with(good, {{"dc2_smis_list", ""}}), "node1", true, 6, 6,
       "dc2_smis_list"},
      {"unknown policy", with(good, {{"startup_policy", "whenever"}}), "node1", true, 6, 6,
       "startup_policy"},
      {"wait time not minutes", with(good, {{"wait_time", "5m"}}), "node1", true, 6, 6,
       "wait_time"},
      {"query time-out zero", with(good, {{"query_time_out", "0"}}), "node1", true, 6, 6,
       "query_time_out"},
      {"line feed breaking the environment file",
       with(good, {{"dc1_host_list", "node1\nPKGDIR=/"}}), "node1", true, 6, 6,
       "dc1_host_list"},
      {"comment in a value", with(good, {{"dc2_smis_list", "smis-dc2 # spare"}}), "node1", true,
       6, 6, "dc2_smis_list"},
      {"line longer than drenable reads",
       with(good, {{"dc1_host_list", "node1 node2 " + std::string(240, 'n')}}), "node1", true,
       6, 6, "dc1_host_list"},
      {"group name with a blank", with(good, {{"dr_group_name", "dg 01"}}), "node1", true, 6, 6,
       "dr_group_name"},
      {"a clone", good, "node1", true, 6, 6, "cloned", "", clone},
      {"missing envfile", {{"envfile", "/etc/drenabler/none.env"}}, "node1", true, 0, 2,
       "envfile"},
      {"unknown policy in the envfile", {{"envfile", ENV_FILE}}, "node1", true, 0, 6,
       "DT_APPLICATION_STARTUP_POLICY",
       envFileWithout("srcUp", "DT_APPLICATION_STARTUP_POLICY=") +
           "DT_APPLICATION_STARTUP_POLICY=DATA_CURRENCY_PREFERRED # the safe one\n"},
      {"wait time in the envfile not a number", {{"envfile", ENV_FILE}}, "node1", true, 0, 6,
       "WAIT_TIME", envFileWithout("srcUp", "WAIT_TIME=") + "export WAIT_TIME = \"-2\"\n"},
      {"node in neither host list of the envfile", {{"envfile", ENV_FILE}}, "node5", true, 0, 2,
       "node5", envFileText("srcUp")},
      {"node in neither host list", good, "node5", true, 0, 2, "node5"},
      {"host name in neither host list",
       with(good, {{"dc1_host_list", "vm1 vm2"}}), "node1", true, 0, 2, "node1", "",
       {{"OCF_RESKEY_CRM_meta_on_node", "vm1"}}},
      {"node name and host name in different data centres", good, "node1", true, 0, 2,
       "node3", "", {{"OCF_RESKEY_CRM_meta_on_node", "node3"}}},
      {"host name found inside another node's name",
       with(good, {{"dc1_host_list", "node10 node2"}, {"dc2_host_list", "node1 node3"}}),
       "node1", true, 0, 2, "node1"},
      {"pkgdir not a folder", with(good, {{"pkgdir", "/etc/hosts"}}), "node1", true, 0, 2,
       "pkgdir"},
      {"drenable not installed", good, "node1", false, 0, 5, "drenable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    node(c.host, false, c.programs);
    if (!c.envFile.empty()) node_->writeFile(ENV_FILE, c.envFile, 0600);
    sim_->clearRequests();
    for (const char* level : {"0", "10"}) {
      SCOPED_TRACE(std::string("validate-all at level ") + level);
      Params env = c.env;
      env["OCF_CHECK_LEVEL"] = level;
      support::RunResult r = action("validate-all", c.params, env);
      int rc = std::string(level) == "0" ? c.level0 : c.rc;
      EXPECT_EQ(r.exitCode, rc) << r.describe();
      if (rc != 0) EXPECT_TRUE(has(reason(r), c.names)) << r.err;
    }
    support::RunResult r = action("start", c.params, c.env);
    EXPECT_EQ(r.exitCode, c.rc) << r.describe();
    EXPECT_TRUE(has(reason(r), c.names)) << r.err;
    EXPECT_TRUE(sim_->requests().empty());
    EXPECT_EQ(action("monitor", c.params, c.env).exitCode, 7);
  }
}

// Every parameter is read at a start, so a change reloads the agent, not
// the package; the meta-data says which ones.
TEST_F(DrgroupAgent, ReloadAgentKeepsThePackageRunning) {
  node("node1");
  const Params params = variables("srcUp", AVAIL);
  ASSERT_EQ(action("start", params).exitCode, 0);
  sim_->clearRequests();
  EXPECT_EQ(action("reload-agent", with(params, {{"wait_time", "5"}})).exitCode, 0);
  EXPECT_EQ(action("reload-agent", with(params, {{"wait_time", "5m"}})).exitCode, 6);
  EXPECT_EQ(action("monitor", params).exitCode, 0);
  EXPECT_TRUE(sim_->requests().empty());

  // The opening tag of a parameter in the meta-data.
  const std::string meta = action("meta-data", {}).out;
  auto tag = [&meta](const std::string& name) {
    size_t at = meta.find("<parameter name=\"" + name + "\"");
    return at == std::string::npos ? "" : meta.substr(at, meta.find('>', at) - at);
  };
  for (const char* p : {"startup_policy", "wait_time", "query_time_out", "pkgdir"})
    EXPECT_TRUE(has(tag(p), "reloadable=\"1\"")) << tag(p);
  for (const char* p : {"dr_group_name", "dc1_host_list", "envfile"})
    EXPECT_FALSE(has(tag(p), "reloadable")) << tag(p);
  EXPECT_TRUE(has(tag("dr_group_name"), "unique-group=\"drgroup\""));
  EXPECT_TRUE(has(tag("dc2_storage_world_wide_name"), "unique-group=\"drgroup\""));
  EXPECT_TRUE(has(meta, "<action name=\"reload-agent\""));
}

}  // namespace
