// ZARNAPI against the array simulator: server choice, object lookup, state
// queries, failover and failsafe, checked through the package log and the
// simulator's request log.
#include "zarn/array/zarn_api.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "drif/data_rep.h"
#include "tests/support/fake_platform.h"
#include "tests/support/map_store.h"
#include "tests/support/ports.h"
#include "tests/support/zarnsim.h"
#include "zarn/store/smis_manager.h"
#include "zarn/store/zarn_id_map.h"

namespace {

using Lines = std::vector<std::string>;

// The simulator's requests as "operation target", followed by the details
// named in keep ("name=value"; "status" for the status).
Lines requestsOf(const support::ZarnSim& sim, const Lines& keep = {}) {
  Lines out;
  for (const support::SimRequest& r : sim.requests()) {
    std::string shown = r.operation + " " + r.target;
    for (const std::string& k : keep) {
      if (k == "status")
        shown += " status=" + r.status;
      else if (!r.detail(k).empty())
        shown += " " + k + "=" + r.detail(k);
    }
    out.push_back(shown);
  }
  return out;
}

const char* const DC1_WWN = "50014380025B4A80";
const char* const DC2_WWN = "50014380025B4C20";
const char* const DG01 = "\\Data Replication\\dg01";
const char* const DC1_DG01_ID = "50014380025B4A80\\DRG\\0001";
const char* const DC2_DG01_ID = "50014380025B4C20\\DRG\\0001";
const char* const ENV_FILE = "/pkg/pkg1/pkg1.env";
const char* const SRC_STATE =
    R"({"ParticipationType": "source", "LinkState": "good", "LogState": "normal",
        "FailSafe": "disabled", "FailSafeLock": "no", "Suspend": "no",
        "WriteMode": "synchronous", "Fullcopystate": "no", "TotalTransmit": "0"})";
const char* const DST_STATE =
    R"({"ParticipationType": "destination", "LinkState": "good", "LogState": "normal",
        "FailSafe": "disabled", "FailSafeLock": "no", "Suspend": "no",
        "WriteMode": "synchronous", "Fullcopystate": "no", "TotalTransmit": "0"})";

// Two arrays; dg01 with its source on dc1 (two disks there, one on dc2);
// dg02 listed with its dc2 side first, under the same kind of name.
struct Scenario {
  std::string dc1State = SRC_STATE;
  std::string dc2State = DST_STATE;
  std::string failoverResults = "[]";
  std::string faults = "[]";

  std::string text() const {
    return std::string(R"({
  "arrays": [
    {"id": "dc1", "wwn": "50014380025B4A80", "volumes": [
      {"id": "v1", "wwn": "600A0001"}, {"id": "v2", "wwn": "600A0002"},
      {"id": "v3", "wwn": "600A0003"}]},
    {"id": "dc2", "wwn": "50014380025B4C20", "volumes": [
      {"id": "v1", "wwn": "600B0001"}, {"id": "v3", "wwn": "600B0003"}]}
  ],
  "drGroups": [
    {"name": "dg01", "failoverResults": )") +
           failoverResults + R"(,
     "sides": [
       {"array": "dc1", "volumes": ["v1", "v2"], "state": )" +
           dc1State + R"(},
       {"array": "dc2", "volumes": ["v1"], "state": )" +
           dc2State + R"(}]},
    {"name": "dg02", "sides": [
       {"array": "dc2", "volumes": ["v3"]},
       {"array": "dc1", "volumes": ["v3"]}]}
  ],
  "faults": )" + faults +
           "}";
  }
};

struct EnvVars {
  std::string drGroup = "dg01";
  std::string dc1Smis = "127.0.0.1";
  std::string queryTimeout;  // absent when empty
  std::string dc1Wwn = "5001-4380-025B-4A80";

  std::string text() const {
    std::string t = "DR_GROUP_NAME=" + drGroup +
                    "\nDC1_STORAGE_WORLD_WIDE_NAME=" + dc1Wwn +
                    "\nDC2_STORAGE_WORLD_WIDE_NAME=5001-4380-025B-4C20"
                    "\nDC1_SMIS_LIST=\"" +
                    dc1Smis +
                    "\"\nDC1_HOST_LIST=node1 node2"
                    "\nDC2_SMIS_LIST=smis-dc2\nDC2_HOST_LIST=node3 node4\n";
    if (!queryTimeout.empty()) t += "QUERY_TIME_OUT=" + queryTimeout + "\n";
    return t;
  }
};

class ZARNAPITest : public ::testing::Test {
 protected:
  ZARNAPITest() : debug_("DATAREP_DEBUG", std::nullopt) {
    logger_ = std::make_unique<fake::ScopedLogger>();
    mapFile_ = dir_.file("yrzarn.map");
  }
  ~ZARNAPITest() override {
    api_.reset();
    preview = false;
  }

  void startSim(const Scenario& s = Scenario()) {
    sim_ = std::make_unique<support::ZarnSim>(ZARNSIM_BIN, s.text());
    ASSERT_TRUE(sim_->ok()) << sim_->error();
  }
  support::ZarnSim& sim() { return *sim_; }

  SMISData server(const std::string& host, int port) {
    return support::server(host, port, "root/ZARN", "N", support::SIM_USER,
                           support::SIM_PASSWORD);
  }
  SMISData simServer() { return server("127.0.0.1", sim().port()); }

  // The map file: these servers, and dg01 of both arrays in the device ID
  // map unless withDevices is false.
  void writeMap(const std::vector<SMISData>& servers, bool withDevices = true) {
    SMISManager list;
    list.setFileName(mapFile_);
    for (const SMISData& s : servers) ASSERT_EQ(list.addOrUpdateSMIS(s), 0);
    ASSERT_EQ(list.writeFile(), 0) << list.getErrorMessage();
    if (withDevices) {
      ZARNIDMap devices;
      devices.setFileName(mapFile_);
      ASSERT_EQ(devices.setID(DC1_WWN, DG01, {DC1_DG01_ID, "600A0001,600A0002"}), 0);
      ASSERT_EQ(devices.setID(DC2_WWN, DG01, {DC2_DG01_ID, "600B0001"}), 0);
      ASSERT_EQ(devices.writeFile(), 0) << devices.getErrorMessage();
    }
  }

  // A ZARNAPI initialised from this environment and the map file.
  ZARNAPI& makeApi(const EnvVars& vars = EnvVars()) {
    sys.files.contents[ENV_FILE] = vars.text();
    api_ = std::make_unique<ZARNAPI>();
    api_->setMapFileName(mapFile_);
    EXPECT_EQ(api_->initialize(ENV_FILE), 0);
    sys.console.writes.clear();
    return *api_;
  }

  // Normal messages with the reason of a refused connection cut off (its
  // text is the CIM client's).
  Lines messages() {
    Lines out;
    for (std::string m : sys.normalMessages()) {
      const std::string refused = "Error - Failed to connect to SMI-S ";
      size_t cut = m.find(". \n\t\t\t\t");
      if (m.rfind(refused, 0) == 0 && cut != std::string::npos) {
        EXPECT_GT(m.size(), cut + 7) << "no reason given: " << m;
        m = m.substr(0, cut + 7) + "<reason>";
      }
      out.push_back(m);
    }
    sys.console.writes.clear();
    return out;
  }
  std::string connecting() {
    return "Connecting to SMI-S server 127.0.0.1:" + std::to_string(sim().port());
  }

  fake::ScopedPlatform sys;

 private:
  fake::ScopedEnv debug_;
  std::unique_ptr<fake::ScopedLogger> logger_;
  support::TempDir dir_;
  std::string mapFile_;
  std::unique_ptr<support::ZarnSim> sim_;
  std::unique_ptr<ZARNAPI> api_;

 protected:
  std::string& mapFile() { return mapFile_; }
};

std::string show(const ConsistencySetState& s) {
  return s.participationType + "|" + s.linkState + "|" + s.logState + "|" +
         s.failSafe + "|" + s.failSafeLock + "|" + s.suspendMode + "|" +
         s.writeMode + "|" + s.fullCopyState + "|" + s.numWrites;
}

// --- Server choice --------------------------------------------------------

// Given a local SMI-S list whose first host refuses connections...
TEST_F(ZARNAPITest, RefusedHostIsSkippedAndTheChosenServerKept) {
  startSim();
  int closed = support::unusedPort();
  writeMap({server("localhost", closed), simServer(),
            server("127.0.0.3", closed)});
  EnvVars vars;
  vars.dc1Smis = "localhost, 127.0.0.1 127.0.0.3";
  ZARNAPI& api = makeApi(vars);

  ConsistencySetState local, remote;
  ASSERT_EQ(api.getLocalCSState(local), 0);
  ASSERT_EQ(api.getRemoteCSState(remote), 0);
  ASSERT_EQ(api.getLocalCSState(local), 0);
  EXPECT_EQ(messages(),
            (Lines{"Connecting to SMI-S server localhost:" + std::to_string(closed),
                   "Error - Failed to connect to SMI-S localhost. \n\t\t\t\t<reason>",
                   connecting()}));
  // The run's record of the servers: the refused one with its reason, then
  // the one used.
  const std::vector<ServerAttempt>& attempts = api.getServerAttempts();
  ASSERT_EQ(attempts.size(), 2u);
  EXPECT_EQ(attempts[0].host, "localhost");
  EXPECT_EQ(attempts[0].port, static_cast<std::uint32_t>(closed));
  EXPECT_FALSE(attempts[0].used);
  EXPECT_EQ(attempts[0].outcome.rfind("Cannot connect to localhost:", 0), 0u) << attempts[0].outcome;
  EXPECT_EQ(attempts[1].host, "127.0.0.1");
  EXPECT_TRUE(attempts[1].used);
  EXPECT_FALSE(attempts[1].ssl);
  EXPECT_EQ(attempts[1].outcome, "connected");
  EXPECT_EQ(show(local),
            "source|good|normal|disabled|no|no|synchronous|no|0");
  EXPECT_EQ(show(remote),
            "destination|good|normal|disabled|no|no|synchronous|no|0");
}

// Given no usable host in the local list (one refuses connections, one has
// a namespace that is no CIM namespace name): the local query reports
// "none" (the decision goes on without the arrays); everything after it
// fails at once without another connection attempt.
TEST_F(ZARNAPITest, AllLocalHostsUnusable) {
  startSim();
  int closed = support::unusedPort();
  SMISData badNamespace = simServer();
  badNamespace.cimNamespace = "root//ZARN";
  writeMap({server("localhost", closed), badNamespace});
  EnvVars vars;
  vars.dc1Smis = "localhost 127.0.0.1";
  ZARNAPI& api = makeApi(vars);

  ConsistencySetState local;
  EXPECT_EQ(api.getLocalCSState(local), 0);
  EXPECT_EQ(local.participationType, "none");
  Lines logged = messages();
  ASSERT_EQ(logged.size(), 4u);
  EXPECT_EQ(logged[0], "Connecting to SMI-S server localhost:" + std::to_string(closed));
  EXPECT_EQ(logged[1], "Error - Failed to connect to SMI-S localhost. \n\t\t\t\t<reason>");
  EXPECT_EQ(logged[2], "Error - Failed to connect to SMI-S 127.0.0.1. \n\t\t\t\t<reason>");
  EXPECT_EQ(logged[3],
            "Error - Failed to get DR group state. \n\t\t\t\tCannot find "
            "a local usable SMI-S.");
  EXPECT_EQ(requestsOf(sim()), Lines{});

  ConsistencySetState remote;
  EXPECT_EQ(api.getRemoteCSState(remote), 1);
  EXPECT_EQ(api.failover(), 1);
  EXPECT_EQ(api.disableFailsafe(), 1);
  EXPECT_EQ(api.getLocalCSState(local), 0);
  EXPECT_EQ(messages(),
            (Lines{"Warning - Failed to get remote DR group state from the "
                   "SMI-S;\n\t\t\t\tCannot find a local usable SMI-S.",
                   "Error - Failed to failover the DR group using the "
                   "SMI-S;\n\t\t\t\tCannot find a local usable SMI-S.",
                   "Error - Cannot find a local usable SMI-S.",
                   "Error - Failed to get DR group state. \n\t\t\t\tCannot find "
                   "a local usable SMI-S."}));
}

// Given a local host that the server list does not hold: refused at once,
// the hosts after it untried in that choice.
TEST_F(ZARNAPITest, LocalHostMissingFromServerList) {
  startSim();
  writeMap({simServer()});
  EnvVars vars;
  vars.dc1Smis = "ghost 127.0.0.1";
  ZARNAPI& api = makeApi(vars);
  std::string notListed;
  {
    SMISManager list;
    list.setFileName(mapFile());
    ASSERT_EQ(list.readFile(true), 0);
    SMISData d;
    ASSERT_NE(list.getSMIS("ghost", d), 0);
    notListed = list.getErrorMessage();
  }

  ConsistencySetState local;
  EXPECT_EQ(api.getLocalCSState(local), 1);
  EXPECT_EQ(messages(),
            (Lines{notListed,
                   "Error - Failed to get local DR group state from the "
                   "SMI-S;\n\t\t\t\tSMI-S data may not be configured properly. "
                   "Use \n\t\t\t\tthe \"smiscred\" tool to verify the data "
                   "list."}));
  EXPECT_EQ(requestsOf(sim()), Lines{});
}

TEST_F(ZARNAPITest, QueryTimeOutComesFromSMISQueryTimeOrTheEnvironment) {
  // The server holds every DR group answer back for 1.5 s.
  Scenario s;
  s.faults = R"([{"operation": "GetInstance", "delayMs": 1500}])";
  startSim(s);
  writeMap({simServer()});
  struct Case {
    std::string queryTimeout;
    int smisQueryTime;
    int result;
  } cases[] = {{"1", 0, 1}, {"", 1, 1}, {"1", 3, 0}};
  for (const Case& c : cases) {
    EnvVars vars;
    vars.queryTimeout = c.queryTimeout;
    ZARNAPI& api = makeApi(vars);
    api.SMISQueryTime = c.smisQueryTime;
    ConsistencySetState local;
    EXPECT_EQ(api.getLocalCSState(local), c.result)
        << c.queryTimeout << "/" << c.smisQueryTime;
  }
}

// --- Object lookup --------------------------------------------------------

// With the device ID map in place, a decision's two reads are the only
// requests: the DR group paths are built without asking the provider.
TEST_F(ZARNAPITest, DeviceIDMapSparesTheSearch) {
  startSim();
  writeMap({simServer()});
  ZARNAPI& api = makeApi();
  ConsistencySetState local, remote;
  ASSERT_EQ(api.getLocalCSState(local), 0);
  ASSERT_EQ(api.getRemoteCSState(remote), 0);
  EXPECT_EQ(requestsOf(sim(), {"via"}),
            (Lines{"GetInstance QNZARN_ConsistencySet.InstanceID=\"50014380025B4A80\\\\DRG\\\\0001\" via=http",
                   "GetInstance QNZARN_ConsistencySet.InstanceID=\"50014380025B4C20\\\\DRG\\\\0001\" via=http"}));
}

TEST_F(ZARNAPITest, WithoutTheMapTheLocalPathIsCachedAndTheRemoteNot) {
  startSim();
  writeMap({simServer()}, /*withDevices=*/false);
  ZARNAPI& api = makeApi();
  api.setUseIDMap(false);
  ConsistencySetState local, remote;
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(api.getLocalCSState(local), 0);
    ASSERT_EQ(api.getRemoteCSState(remote), 0);
  }
  const std::string enumerate = "EnumerateInstances QNZARN_ConsistencySet";
  const std::string getLocal =
      "GetInstance QNZARN_ConsistencySet.InstanceID=\"50014380025B4A80\\\\DRG\\\\0001\"";
  const std::string getRemote =
      "GetInstance QNZARN_ConsistencySet.InstanceID=\"50014380025B4C20\\\\DRG\\\\0001\"";
  EXPECT_EQ(requestsOf(sim()), (Lines{enumerate, getLocal, enumerate, getRemote,
                                     getLocal, enumerate, getRemote}));
  EXPECT_EQ(show(remote).substr(0, 12), "destination|");
}

// The search takes the DR group side whose InstanceID starts with the
// array's name, not the first one with the right name (dg02 lists its dc2
// side first).
TEST_F(ZARNAPITest, SearchIgnoresTheOtherArraysSide) {
  Scenario s;
  startSim(s);
  writeMap({simServer()}, /*withDevices=*/false);
  EnvVars vars;
  vars.drGroup = "dg02";
  ZARNAPI& api = makeApi(vars);
  api.setUseIDMap(false);
  ConsistencySetState local;
  ASSERT_EQ(api.getLocalCSState(local), 0);
  EXPECT_EQ(requestsOf(sim()).back(),
            "GetInstance QNZARN_ConsistencySet.InstanceID=\"50014380025B4A80\\\\DRG\\\\0002\"");
  EXPECT_EQ(local.participationType, "destination");
}

TEST_F(ZARNAPITest, LookupFailures) {
  startSim();
  writeMap({simServer()});
  std::string notMapped;
  {
    ZARNIDMap devices;
    devices.setFileName(mapFile());
    ASSERT_EQ(devices.readFile(), 0);
    DeviceID id;
    ASSERT_NE(devices.getID(DC1_WWN, "\\Data Replication\\dg09", id), 0);
    notMapped = devices.getErrorMessage();
  }
  const std::string failed =
      "Error - Failed to get local DR group state from the SMI-S 127.0.0.1;\n\t\t\t\t";
  struct Case {
    const char* name;
    std::string drGroup;
    bool useMap;
    std::string message;
  } cases[] = {
      {"not in the map", "dg09", true, failed + notMapped},
      {"not on the array", "dg09", false,
       failed + "DR group \\Data Replication\\dg09 not found in the SMI-S "
                "127.0.0.1. A possible cause of this problem is: \n  - "
                "Incorrect DR group name defined in the zarndiscovery tool "
                "input file."},
  };
  for (const Case& c : cases) {
    EnvVars vars;
    vars.drGroup = c.drGroup;
    ZARNAPI& api = makeApi(vars);
    api.setUseIDMap(c.useMap);
    ConsistencySetState local;
    EXPECT_EQ(api.getLocalCSState(local), 1) << c.name;
    EXPECT_EQ(messages(), (Lines{connecting(), c.message})) << c.name;
  }

  // A storage system the provider does not know: failover looks it up.
  EnvVars vars;
  vars.dc1Wwn = "AAAA-BBBB-CCCC-DDDD";
  ZARNAPI& api = makeApi(vars);
  EXPECT_EQ(api.failover(), 1);
  EXPECT_EQ(messages(),
            (Lines{connecting(),
                   "Error - Failed to failover the DR group using the SMI-S "
                   "127.0.0.1;\n\t\t\t\tStorage System AAAABBBBCCCCDDDD not "
                   "found in the SMI-S 127.0.0.1.\n\t\t\t\tA possible cause of "
                   "this problem is: \n\t\t\t\t  - Incorrect storage WWN "
                   "defined in the environment file."}));
}

// --- Device IDs (discovery) -------------------------------------------------

TEST_F(ZARNAPITest, FindDeviceIDThroughTheDefaultServer) {
  startSim();
  int closed = support::unusedPort();
  writeMap({simServer(), server("localhost", closed)}, false);
  ZARNAPI api;
  api.setMapFileName(mapFile());
  ASSERT_EQ(api.initiateSMISData(), 0);

  struct Case {
    std::string storage, drGroup;
    int result;
    std::string instanceID, wwids;
  } cases[] = {
      {DC1_WWN, DG01, 0, DC1_DG01_ID, "600A0001,600A0002"},
      {DC2_WWN, DG01, 0, DC2_DG01_ID, "600B0001"},
      {DC2_WWN, "\\Data Replication\\dg02", 0, "50014380025B4C20\\DRG\\0002",
       "600B0003"},
  };
  for (const Case& c : cases) {
    DeviceID id;
    EXPECT_EQ(api.findDeviceID(c.storage, c.drGroup, id), c.result) << c.drGroup;
    EXPECT_EQ(id.instanceID, c.instanceID) << c.drGroup;
    EXPECT_EQ(id.wwidList, c.wwids) << c.drGroup;
  }
  DeviceID id;
  EXPECT_EQ(api.findDeviceID(DC1_WWN, "\\Data Replication\\dg7", id), 1);
  EXPECT_EQ(messages(),
            (Lines{connecting(),
                   "Exception: DR group \\Data Replication\\dg7 not found in "
                   "the SMI-S 127.0.0.1. A possible cause of this problem is: "
                   "\n  - Incorrect DR group name defined in the zarndiscovery "
                   "tool input file."}));
}

// The default server is the only one tried.
TEST_F(ZARNAPITest, FindDeviceIDFailsWithTheDefaultServer) {
  startSim();
  int closed = support::unusedPort();
  writeMap({server("localhost", closed), simServer()}, false);
  ZARNAPI api;
  api.setMapFileName(mapFile());
  ASSERT_EQ(api.initiateSMISData(), 0);
  DeviceID id;
  EXPECT_EQ(api.findDeviceID(DC1_WWN, DG01, id), 1);
  Lines logged = messages();
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[1], "Error - Failed to connect to SMI-S localhost. \n\t\t\t\t<reason>");
  EXPECT_EQ(logged[2].rfind("Exception: ", 0), 0u) << logged[2];
  EXPECT_EQ(requestsOf(sim()), Lines{});
}

TEST_F(ZARNAPITest, InitiateSMISDataNeedsTheMapFile) {
  ZARNAPI api;
  api.setMapFileName(mapFile());
  EXPECT_EQ(api.initiateSMISData(), 1);
  DeviceID id;
  EXPECT_EQ(api.findDeviceID(DC1_WWN, DG01, id), 1);
  Lines logged = messages();
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.back().rfind("Exception: Failed to get SMI-S information;\n\t\t\t\t", 0),
            0u)
      << logged.back();
}

TEST_F(ZARNAPITest, InitializeReportsEachStep) {
  ZARNAPI api;
  api.setMapFileName(mapFile());
  EXPECT_EQ(api.initialize("/pkg/none.env"), 1);
  EXPECT_EQ(messages().back(), "Error - Error found in environment file /pkg/none.env");

  EnvVars bad;
  bad.dc1Wwn = "AAAABBBBCCCCDDDD";
  sys.files.contents[ENV_FILE] = bad.text();
  ZARNAPI api2;
  api2.setMapFileName(mapFile());
  EXPECT_EQ(api2.initialize(ENV_FILE), 1);
  EXPECT_EQ(messages().back(),
            "Error - One or more YRZARN environment variables have "
            "not\n\t\t\t\tbeen set properly.");

  sys.files.contents[ENV_FILE] = EnvVars().text();
  ZARNAPI api3;
  api3.setMapFileName(mapFile());  // no map file
  EXPECT_EQ(api3.initialize(ENV_FILE), 1);
  Lines logged = messages();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].rfind("Error - ", 0), 0u);
}

// --- State queries ----------------------------------------------------------

TEST_F(ZARNAPITest, AbsentOptionalPropertiesGetStandInTexts) {
  Scenario s;
  s.dc1State =
      R"({"ParticipationType": "source", "LinkState": "failed",
          "LogState": "logging", "FailSafe": "enabled"})";
  startSim(s);
  writeMap({simServer()});
  ZARNAPI& api = makeApi();
  ConsistencySetState local;
  ASSERT_EQ(api.getLocalCSState(local), 0);
  EXPECT_EQ(show(local), "source|failed|logging|enabled|none|none|n/a|none|none");
}

TEST_F(ZARNAPITest, UnexpectedPropertyValuesAreNamedInTableOrder) {
  Scenario s;
  s.dc1State = R"({"ParticipationType": "Source", "LinkState": "good",
                   "LogState": "normal", "FailSafe": "off", "WriteMode": "sync"})";
  s.dc2State = R"({"ParticipationType": "destination", "LinkState": "down"})";
  startSim(s);
  writeMap({simServer()});
  ZARNAPI& api = makeApi();
  ConsistencySetState local, remote;
  EXPECT_EQ(api.getLocalCSState(local), 1);
  EXPECT_EQ(api.getRemoteCSState(remote), 1);
  EXPECT_EQ(messages(),
            (Lines{connecting(),
                   "Error - Failed to get local DR group state from the SMI-S "
                   "127.0.0.1;\n\t\t\t\tReceive unexpected DR group property "
                   "value.\n\t\t\t\tDR Mode: Source\n\t\t\t\tFailsafe Mode: "
                   "off\n\t\t\t\tWrite Mode: sync",
                   "Warning - Failed to get remote DR group state from the "
                   "SMI-S 127.0.0.1;\n\t\t\t\tReceive unexpected DR group "
                   "property value.\n\t\t\t\tLink State: down"}));
}

// A value holding a line feed (sent as "&#10;") cannot forge a log line.
TEST_F(ZARNAPITest, PropertyTextsAreLoggedWithControlCharactersEscaped) {
  Scenario s;
  s.dc1State = R"({"ParticipationType": "source", "LinkState": "good",
                   "LogState": "normal", "FailSafe": "disabled",
                   "WriteMode": "sync\nJan 01 00:00:00 - Node node1 : forged"})";
  startSim(s);
  writeMap({simServer()});
  ZARNAPI& api = makeApi();
  ConsistencySetState local;
  EXPECT_EQ(api.getLocalCSState(local), 1);
  EXPECT_EQ(messages(),
            (Lines{connecting(),
                   "Error - Failed to get local DR group state from the SMI-S "
                   "127.0.0.1;\n\t\t\t\tReceive unexpected DR group property "
                   "value.\n\t\t\t\tWrite Mode: sync\\x0aJan 01 00:00:00 - Node "
                   "node1 : forged"}));
}

TEST_F(ZARNAPITest, MissingMandatoryPropertyFailsTheQuery) {
  Scenario s;
  s.dc1State = R"({"LogState": null})";
  startSim(s);
  writeMap({simServer()});
  ZARNAPI& api = makeApi();
  ConsistencySetState local;
  EXPECT_EQ(api.getLocalCSState(local), 1);
  Lines logged = messages();
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[1].rfind("Error - Failed to get local DR group state from "
                            "the SMI-S 127.0.0.1;\n\t\t\t\t",
                            0),
            0u)
      << logged[1];
}

// A query that times out marks the server; the next query reconnects the
// same server before it asks again.
TEST_F(ZARNAPITest, TimedOutQueriesReconnectTheSameServer) {
  Scenario s;
  s.faults = R"([{"operation": "GetInstance", "delayMs": 1500, "times": 1},
                 {"operation": "GetInstance", "delayMs": 1500, "skip": 2, "times": 1}])";
  startSim(s);
  int closed = support::unusedPort();
  writeMap({server("localhost", closed), simServer()});
  EnvVars vars;
  vars.dc1Smis = "127.0.0.1 localhost";
  vars.queryTimeout = "1";
  ZARNAPI& api = makeApi(vars);
  ConsistencySetState local, remote;
  EXPECT_EQ(api.getLocalCSState(local), 1);
  EXPECT_EQ(api.getLocalCSState(local), 0);
  EXPECT_EQ(api.getRemoteCSState(remote), 1);
  EXPECT_EQ(api.getRemoteCSState(remote), 0);
  EXPECT_EQ(messages(),
            (Lines{connecting(),
                   "Error - Query timeout during the getting local DR Group "
                   "\n\t\t\t\tstate from the SMI-S 127.0.0.1",
                   connecting(),
                   "Warning - Query timeout during getting remote DR Group "
                   "\n\t\t\t\tstate from the SMI-S 127.0.0.1",
                   connecting()}));
  EXPECT_EQ(show(remote).substr(0, 12), "destination|");
}

// --- Failover -----------------------------------------------------------------

// Given this node's array holding the destination side...
TEST_F(ZARNAPITest, FailoverSendsTheKeyAndTheDRGroupPath) {
  Scenario s;
  s.dc1State = DST_STATE;
  s.dc2State = SRC_STATE;
  startSim(s);
  writeMap({simServer()});
  ZARNAPI& api = makeApi();
  EXPECT_EQ(api.getQueryState(), QS_NONE);
  EXPECT_EQ(api.failover(), 0);
  EXPECT_EQ(api.getQueryState(), QS_FAILOVER_DONE);
  EXPECT_EQ(messages(), Lines{connecting()});
  // The simulator refuses a FastFailover whose key, parameter types or DR
  // group path text it cannot take (status=cim:4).
  Lines requests = requestsOf(sim(), {"drgroup", "array", "return", "status"});
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], "EnumerateInstanceNames QNZARN_StorageSystem status=ok");
  EXPECT_EQ(requests[1].rfind("AssociatorNames ", 0), 0u) << requests[1];
  EXPECT_EQ(requests[2].rfind("FastFailover QNZARN_StorageRemoteReplicationService.", 0), 0u)
      << requests[2];
  EXPECT_NE(requests[2].find("SystemName=\"50014380025B4A80\" drgroup=\\Data "
                             "Replication\\dg01 array=50014380025B4A80 "
                             "return=0 status=ok"),
            std::string::npos)
      << requests[2];
  ConsistencySetState local;
  ASSERT_EQ(api.getLocalCSState(local), 0);
  EXPECT_EQ(local.participationType, "source");

  // The paths are kept: a second failover sends only the method (refused
  // now that this side is the source).
  sim().clearRequests();
  EXPECT_EQ(api.failover(), INVALID_DR_MODE);
  EXPECT_EQ(messages(),
            Lines{"Error - The DR group is in invalid DR mode for failover."});
  Lines again = requestsOf(sim());
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].rfind("FastFailover ", 0), 0u);
}

TEST_F(ZARNAPITest, FailoverRefusalCodes) {
  Scenario s;
  s.failoverResults = R"([
      "LOCK_COLLISION", "INVALID_DR_MODE", "CONNECTION_SUSPENDED",
      "INVALID_DR_STATE", "DR_GROUP_IS_MERGING", "STORAGE_SYSTEM_BUSY",
      {"returnValue": 5, "errorCodes": [4660]},
      {"returnValue": 5, "errorCodes": [0]},
      {"returnValue": 5, "errorCodes": [32801], "scalarOutput": true},
      {"returnValue": 5},
      {"returnValue": 5, "errorCodes": []},
      "SUCCESS"])";
  startSim(s);
  writeMap({simServer()});
  ZARNAPI& api = makeApi();
  const char* const badType =
      "Error - SMI-S returned an invalid failover status code data type.";
  struct Case {
    int result;
    Lines logged;
  } cases[] = {
      {LOCK_COLLISION, {"Error - LOCK COLLISION. Retry the failover operation"}},
      {INVALID_DR_MODE, {"Error - The DR group is in invalid DR mode for failover."}},
      {CONNECTION_SUSPENDED,
       {"Error - The replication link is in suspend mode. The DR group can "
        "not be failed over.\n\t\t\t\tResume the replication link for this DR "
        "group and restart the package."}},
      {INVALID_DR_STATE, {}},
      {DR_GROUP_IS_MERGING, {}},
      {STORAGE_SYSTEM_BUSY, {}},
      {4660, {"Error - Unexpected error. The error code from SMI-S service is 0x1234"}},
      // Refused with the code 0: logged as unexpected, and never a success.
      {1, {"Error - Unexpected error. The error code from SMI-S service is 0x0"}},
      {1, {badType}},
      {1, {badType}},  // no output parameter at all
      {1, {badType}},  // an empty code array
      {0, {}},
  };
  messages();
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    EXPECT_EQ(api.failover(), cases[i].result) << "answer " << i;
    Lines logged = messages();
    if (i == 0 && !logged.empty() && logged[0] == connecting())
      logged.erase(logged.begin());
    EXPECT_EQ(logged, cases[i].logged) << "answer " << i;
  }
}

const char* const UNANSWERED =
    "Warning - No answer to the failover came back; the array may have carried "
    "it out.\n\t\t\t\tCheck the state of the DR group with ZARNGetDRState "
    "before the package is started again.";

// FastFailover broken on the wire, after the array carried it out or not:
// one request each time, result 1, and unless the provider itself answered
// (a CIM error) the operator is told the failover may have been done.
TEST_F(ZARNAPITest, FailoverWithoutAnAnswerIsSentOnceAndReported) {
  const struct {
    const char* fault;
    bool warned;
  } cases[] = {
      {R"("action": "drop", "execute": true)", true},
      {R"("action": "drop")", true},
      {R"("action": "http500", "execute": true)", true},
      {R"("action": "garbled", "execute": true)", true},
      {R"("action": "chunkedError", "execute": true)", false},
      {R"("action": "cimError")", false},
  };
  Scenario s;
  s.dc1State = DST_STATE;
  s.dc2State = SRC_STATE;
  s.failoverResults = "[";  // accepted without a swap, so each row can fail over
  s.faults = "[";
  for (size_t i = 0; i < std::size(cases); ++i) {
    s.failoverResults += std::string(i ? "," : "") + R"({"code": 0, "swap": "none"})";
    s.faults += std::string(i ? "," : "") + R"({"operation": "FastFailover", "skip": )" +
                std::to_string(i) + R"(, "times": 1, )" + cases[i].fault + "}";
  }
  s.failoverResults += "]";
  s.faults += "]";
  startSim(s);
  writeMap({simServer()});
  ZARNAPI& api = makeApi();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    sim().clearRequests();
    EXPECT_EQ(api.failover(), 1);
    Lines logged = messages();
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.back() == UNANSWERED, c.warned) << logged.back();
    EXPECT_EQ(sim().requests("FastFailover").size(), 1u);
  }
}

TEST_F(ZARNAPITest, FailoverTimeOuts) {
  Scenario s;
  s.dc1State = DST_STATE;
  s.dc2State = SRC_STATE;
  s.faults = R"([{"operation": "EnumerateInstanceNames", "delayMs": 1500, "times": 1},
                 {"operation": "FastFailover", "delayMs": 1500, "times": 1}])";
  startSim(s);
  writeMap({simServer()});
  EnvVars vars;
  vars.queryTimeout = "1";
  ZARNAPI& api = makeApi(vars);
  // While the replication service is still being looked up nothing has been
  // asked of the array yet; while FastFailover is out, it may have been done.
  EXPECT_EQ(api.failover(), 1);
  EXPECT_EQ(api.getQueryState(), QS_NONE);
  EXPECT_EQ(api.failover(), 1);
  EXPECT_EQ(api.getQueryState(), QS_FAILOVER_START);
  // It did: the late answer was a success, and this side is now the source.
  EXPECT_EQ(api.failover(), INVALID_DR_MODE);
  EXPECT_EQ(messages(),
            (Lines{connecting(),
                   "Error - Query timeout during the Failover of DR Group "
                   "\n\t\t\t\tusing the SMI-S127.0.0.1",
                   connecting(),
                   "Error - Query timeout during the Failover of DR Group "
                   "\n\t\t\t\tusing the SMI-S127.0.0.1. The Failover action "
                   "may succeed.\n\t\t\t\tCheck the actual state of the DR "
                   "Group and restart \n\t\t\t\tthe package.",
                   UNANSWERED,
                   connecting(),
                   "Error - The DR group is in invalid DR mode for failover."}));
}

TEST_F(ZARNAPITest, PreviewLooksUpButSendsNoFailover) {
  startSim();
  writeMap({simServer()});
  ZARNAPI& api = makeApi();
  preview = true;
  EXPECT_EQ(api.failover(), 0);
  EXPECT_EQ(messages(), (Lines{connecting(), "In preview mode"}));
  Lines requests = requestsOf(sim());
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], "EnumerateInstanceNames QNZARN_StorageSystem");
  EXPECT_EQ(requests[1].rfind("AssociatorNames ", 0), 0u);
}

TEST_F(ZARNAPITest, DisableFailsafe) {
  Scenario s;
  s.faults = R"([{"operation": "SetProperty", "delayMs": 1500, "times": 1}])";
  startSim(s);
  writeMap({simServer()});
  EnvVars vars;
  vars.queryTimeout = "1";
  ZARNAPI& api = makeApi(vars);
  preview = true;  // changes nothing here
  EXPECT_EQ(api.disableFailsafe(), 1);
  EXPECT_EQ(api.getQueryState(), QS_DISABLE_FAILSAFE_START);
  EXPECT_EQ(api.disableFailsafe(), 0);
  EXPECT_EQ(api.getQueryState(), QS_DISABLE_FAILSAFE_DONE);
  EXPECT_EQ(messages(),
            (Lines{connecting(),
                   "Error - Query timeout during the disabling Failsafe mode "
                   "of the DR Group.\n\t\t\tThe action may succeed. Please "
                   "check the actual state of the DR Group\n\t\t\t and you may "
                   "want to startup the application again.",
                   connecting()}));
  Lines requests = requestsOf(sim(), {"property", "value", "status"});
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1],
            "SetProperty QNZARN_ConsistencySet.InstanceID=\"50014380025B4A80\\\\DRG\\\\0001\" "
            "property=FailSafe value=disable status=ok");
  ConsistencySetState local;
  ASSERT_EQ(api.getLocalCSState(local), 0);
  EXPECT_EQ(local.failSafe, "disable");
}

}  // namespace
