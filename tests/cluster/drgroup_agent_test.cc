// The drgroup resource agent on sandboxed nodes against zarnsim: ocf-tester
// in both parameter forms, how drenable's decisions become OCF codes and
// exit reasons, the monitor's deep check, and the configurations the agent
// refuses before it runs drenable. Nodes node1 and node2 are in data centre
// 1, node3 and node4 in 2.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

const char* const RSCTMP = "/var/lib/drgroup-test";
const char* const STATE_FILE = "/var/lib/drgroup-test/drgroup-pkg1.started";
const char* const ENV_FILE = "/etc/drenabler/pkg1.env";
const char* const PKGDIR = "/var/lib/drenabler/pkg1";

const char* const AVAIL = "AVAILABILITY_PREFERRED";
const char* const DATA = "DATA_CURRENCY_PREFERRED";

// drenable's refusal on the destination site while the data may not be
// current, as the agent puts it on one line.
const char* const T3_ONE_LINE =
    "The replication link state is good and the role of the device group on this site "
    "is \"destination\". Because the state of the data may not be current and the "
    "package startup policy is DATA_CURRENCY_PREFERRED, the package is NOT allowed to "
    "start up. Either manually resync the data, or force the package to start up by "
    "create the \"FORCEFLAG\" file in the package directory. Then, restart the package.";

std::vector<support::SimGroup> groups() {
  return {
      {"srcUp", sideState("source"), sideState("destination")},
      {"dstUp", sideState("source"), sideState("destination")},
      {"suspended", sideState("source", R"({"LogState": "logging", "Suspend": "yes"})"),
       sideState("destination")},
      {"switched", sideState("destination"), sideState("source")},
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
  static std::map<std::string, std::string> variables(const std::string& group,
                                                      const std::string& policy) {
    return {{"dr_group_name", group},
            {"dc1_storage_world_wide_name", "5001-4380-025B-4A80"},
            {"dc2_storage_world_wide_name", "5001-4380-025B-4C20"},
            {"dc1_smis_list", "smis-dc1"},
            {"dc2_smis_list", "smis-dc2"},
            {"dc1_host_list", "node1 node2"},
            {"dc2_host_list", "node3,node4"},
            {"startup_policy", policy}};
  }

  // Runs one action of the agent on the current node.
  support::RunResult action(const std::string& name,
                            const std::map<std::string, std::string>& params,
                            std::map<std::string, std::string> env = {}) {
    support::RunOptions o;
    o.args = {name};
    env["OCF_ROOT"] = "/usr/lib/ocf";
    env["OCF_RESOURCE_INSTANCE"] = "pkg1";
    env["HA_RSCTMP"] = RSCTMP;
    for (const auto& p : params) env["OCF_RESKEY_" + p.first] = p.second;
    o.env = env;
    o.timeoutSeconds = 120;
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
      ASSERT_EQ(stat(n.hostPath(std::string(RSCTMP) + "/drgroup-pkg1.env").c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0600u);
      // The default package directory, made for FORCEFLAG.
      ASSERT_EQ(stat(n.hostPath(PKGDIR).c_str(), &st), 0);
      EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
  }
}

// Given the package's DR group in each state of interest, start decides as
// drenable does, and monitor follows.
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
    std::string reason;  // "" when none
    size_t failovers;
    int monitor;
  } cases[] = {
      {"source side starts", "srcUp", "node1", AVAIL, false, true, "", 0, "", 0, 0},
      {"destination fails over", "dstUp", "node3", AVAIL, false, true, "", 0, "", 1, 0},
      {"data currency refused", "suspended", "node4", DATA, false, true, "", 6, T3_ONE_LINE, 0,
       7},
      {"refused without shell functions", "suspended", "node4", DATA, false, false, "", 6,
       T3_ONE_LINE, 0, 7},
      {"environment file without DC2_SMIS_LIST", "srcUp", "node1", AVAIL, false, true,
       envFileWithout("srcUp", "DC2_SMIS_LIST="), 6,
       "Error - Missing environment variable \"DC2_SMIS_LIST\" in the environment file; Error - "
       "Data Replication Enabler Initialization failed",
       0, 7},
      {"no local SMI-S server", "srcUp", "node2", AVAIL, true, true, "", 1,
       "The package is not allowed to start on this node. It may be possible to start up "
       "on the next adoptive node.",
       0, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    node(c.host, c.deadSmis);
    std::map<std::string, std::string> env;
    if (!c.shellFunctions) env["OCF_FUNCTIONS_DIR"] = "/nonexistent";
    std::map<std::string, std::string> params = variables(c.group, c.policy);
    if (!c.envFile.empty()) {
      node_->makeDir(PKGDIR);
      node_->writeFile(ENV_FILE, c.envFile, 0600);
      params = {{"envfile", ENV_FILE}};
    }
    sim_->clearRequests();
    support::RunResult r = action("start", params, env);
    EXPECT_EQ(r.exitCode, c.rc) << r.describe();
    if (c.reason.empty())
      EXPECT_EQ(support::exitReasons(r.err), std::vector<std::string>{}) << r.err;
    else
      EXPECT_EQ(support::exitReasons(r.err), std::vector<std::string>{c.reason}) << r.err;
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

// The monitor's deep check reads the local array's side of the DR group.
TEST_F(DrgroupAgent, DeepMonitorFailsOnlyWhenTheGroupWasSwitchedAway) {
  const struct {
    const char* name;
    const char* group;
    bool deadSmis;
    int rc;
    std::string reason;
  } cases[] = {
      {"still the source", "srcUp", false, 0, ""},
      {"switched behind the cluster's back", "switched", false, 1,
       "DR group switched is no longer the source on the DC1 array (its role there is "
       "destination): it was switched outside the cluster"},
      {"SMI-S unreachable", "switched", true, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    support::Sandbox& n = node("node1", c.deadSmis);
    n.writeFile(STATE_FILE, "");
    support::RunResult r = action("monitor", variables(c.group, AVAIL), {{"OCF_CHECK_LEVEL", "10"}});
    EXPECT_EQ(r.exitCode, c.rc) << r.describe();
    if (c.reason.empty())
      EXPECT_EQ(support::exitReasons(r.err), std::vector<std::string>{}) << r.err;
    else
      EXPECT_EQ(support::exitReasons(r.err), std::vector<std::string>{c.reason}) << r.err;
    if (c.deadSmis) {
      EXPECT_NE(r.err.find("WARNING: Cannot read the state"), std::string::npos);
    }
    // Without the deep check the state file alone answers.
    EXPECT_EQ(action("monitor", variables(c.group, AVAIL)).exitCode, 0);
  }
}

// Configurations the agent refuses with a clear reason and the OCF code
// that tells the cluster where else to try (none, or another node), in
// validate-all and in start alike, without asking the arrays.
TEST_F(DrgroupAgent, BadConfigurationsAreRefusedBeforeDrenableRuns) {
  using Params = std::map<std::string, std::string>;
  auto with = [](Params p, const Params& changes) {
    for (const auto& c : changes) {
      if (c.second.empty())
        p.erase(c.first);
      else
        p[c.first] = c.second;
    }
    return p;
  };
  const Params good = variables("srcUp", AVAIL);
  const struct {
    const char* name;
    Params params;
    const char* host;
    bool programs;
    int rc;
    std::string reason;
    std::string envFile = "";  // written to ENV_FILE when not empty
  } cases[] = {
      {"both forms", with(good, {{"envfile", ENV_FILE}}), "node1", true, 6,
       "Give either envfile or the package variables, not both (envfile and dr_group_name "
       "are set)"},
      {"required variable missing", with(good, {{"dc2_smis_list", ""}}), "node1", true, 6,
       "Parameter dc2_smis_list is required (or give envfile)"},
      {"unknown policy", with(good, {{"startup_policy", "whenever"}}), "node1", true, 6,
       "Unknown startup_policy whenever: use AVAILABILITY_PREFERRED, DATA_CURRENCY_PREFERRED "
       "or REMOTE_PROTECTION_PREFERRED"},
      {"wait time not minutes", with(good, {{"wait_time", "5m"}}), "node1", true, 6,
       "Parameter wait_time must be a number of minutes (0 or more): 5m"},
      {"query time-out zero", with(good, {{"query_time_out", "0"}}), "node1", true, 6,
       "Parameter query_time_out must be a number of seconds (1 or more): 0"},
      {"line feed breaking the environment file",
       with(good, {{"dc1_host_list", "node1\nPKGDIR=/"}}), "node1", true, 6,
       "Parameter dc1_host_list must not contain control characters (a line feed, a tab...)"},
      {"comment in a value", with(good, {{"dc2_smis_list", "smis-dc2 # spare"}}), "node1", true,
       6, "Parameter dc2_smis_list must not contain '\"', '=' or '#': smis-dc2 # spare"},
      {"group name with a blank", with(good, {{"dr_group_name", "dg 01"}}), "node1", true, 6,
       "Parameter dr_group_name may hold only letters, digits and _ . - + /: dg 01"},
      {"missing envfile", {{"envfile", "/etc/drenabler/none.env"}}, "node1", true, 2,
       "envfile /etc/drenabler/none.env is missing or unreadable on this node"},
      {"unknown policy in the envfile", {{"envfile", ENV_FILE}}, "node1", true, 6,
       "Unknown DT_APPLICATION_STARTUP_POLICY DATA_CURRENCY_PREFERRED # the safe one: use "
       "AVAILABILITY_PREFERRED, DATA_CURRENCY_PREFERRED or REMOTE_PROTECTION_PREFERRED",
       envFileWithout("srcUp", "DT_APPLICATION_STARTUP_POLICY=") +
           "DT_APPLICATION_STARTUP_POLICY=DATA_CURRENCY_PREFERRED # the safe one\n"},
      {"wait time in the envfile not a number", {{"envfile", ENV_FILE}}, "node1", true, 6,
       "WAIT_TIME in /etc/drenabler/pkg1.env must be a number of minutes (0 or more)",
       envFileWithout("srcUp", "WAIT_TIME=") + "export WAIT_TIME = \"-2\"\n"},
      {"node in neither host list of the envfile", {{"envfile", ENV_FILE}}, "node5", true, 2,
       "Node node5 is named in neither DC1_HOST_LIST nor DC2_HOST_LIST", envFileText("srcUp")},
      {"node in neither host list", good, "node5", true, 2,
       "Node node5 is named in neither DC1_HOST_LIST nor DC2_HOST_LIST"},
      {"pkgdir not a folder", with(good, {{"pkgdir", "/etc/hosts"}}), "node1", true, 2,
       "pkgdir /etc/hosts is not a folder on this node"},
      {"drenable not installed", good, "node1", false, 5,
       "/opt/kxcluster/bin/drenable is not installed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    node(c.host, false, c.programs);
    if (!c.envFile.empty()) node_->writeFile(ENV_FILE, c.envFile, 0600);
    for (const char* name : {"validate-all", "start"}) {
      SCOPED_TRACE(name);
      sim_->clearRequests();
      support::RunResult r = action(name, c.params);
      EXPECT_EQ(r.exitCode, c.rc) << r.describe();
      EXPECT_EQ(support::exitReasons(r.err), std::vector<std::string>{c.reason}) << r.err;
      EXPECT_TRUE(sim_->requests().empty());
    }
    EXPECT_EQ(action("monitor", c.params).exitCode, 7);
  }
}

}  // namespace
