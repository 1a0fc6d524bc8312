// The CIM client and SMISServer against the real simulator, over HTTP,
// HTTPS and the local socket: every operation the SMI-S access layer sends,
// on the provider model as zarnsim serves it, and the simulator's injected
// faults as the client reports them.
#include <gtest/gtest.h>

#include <chrono>

#include "cim/client.h"
#include "cim/exception.h"
#include "tests/support/fake_platform.h"
#include "tests/support/files.h"
#include "tests/support/tls_server.h"
#include "tests/support/zarnsim.h"
#include "zarn/smis/smis_server.h"

namespace cim {
namespace {

const NamespaceName kNs("root/ZARN");
const char kLocalWwn[] = "50014380025B4A80";
const char kRemoteWwn[] = "50014380025B4C20";

// Two arrays and two DR groups; requests on DR group "slow" are held back
// once, and the simulator fails some requests on purpose.
const char kScenario[] = R"({
  "namespace": "root/ZARN",
  "host": "smis1.example.com",
  "arrays": [
    {"id": "dc1", "wwn": "50014380025B4A80", "name": "ZARN-DC1",
     "volumes": [{"id": "vd01", "wwn": "6001438002A3C1E00000A00001240000", "name": "db_data", "hosts": ["node1"]},
                 {"id": "vd02", "wwn": "6001438002A3C1E00000A00001250000", "name": "db_logs", "hosts": ["node1"]}]},
    {"id": "dc2", "wwn": "50014380025B4C20", "name": "ZARN-DC2",
     "volumes": [{"id": "vd01", "wwn": "6001438002A3C2F00000B00003410000", "name": "db_data_r", "hosts": ["node3"]}]}
  ],
  "drGroups": [
    {"name": "dg01", "sides": [
      {"array": "dc1", "volumes": ["vd01", "vd02"],
       "state": {"ParticipationType": "source", "WriteMode": "synchronous", "TotalTransmit": "0"}},
      {"array": "dc2", "volumes": ["vd01"], "state": {"ParticipationType": "destination"}}]},
    {"name": "slow", "sides": [{"array": "dc1"}]}
  ],
  "faults": [
    {"operation": "GetInstance", "drGroup": "slow", "times": 1, "action": "delay", "delayMs": 2500},
    {"operation": "EnumerateInstances", "className": "QNZARN_StorageVolume", "action": "chunkedError",
     "code": 1, "description": "CIM_ERR_FAILED: provider terminated"},
    {"operation": "EnumerateInstanceNames", "className": "QNZARN_ViewProtocolController", "action": "http500"},
    {"operation": "EnumerateInstanceNames", "className": "QNZARN_StorageVolume", "action": "drop"}
  ]
})";

// zarnsim on the scenario as admin/secret, with more arguments.
std::unique_ptr<support::ZarnSim> startZarnsim(const std::vector<std::string>& extra) {
  support::SimOptions options;
  options.user = "admin";
  options.password = "secret";
  options.args = extra;
  auto sim = std::make_unique<support::ZarnSim>(ZARNSIM_BIN, kScenario, options);
  EXPECT_TRUE(sim->ok()) << sim->error();
  return sim;
}

// The DR group side of the local array, found as the lookup without the
// device ID map finds it.
ObjectPath findDrGroup(Client& client, const std::string& wwn, const std::string& element) {
  std::vector<Instance> sets =
      client.enumerateInstances(kNs, Name("QNZARN_ConsistencySet"), true, false, false, false,
                                PropertyList({Name("InstanceID"), Name("ElementName")}));
  for (const auto& s : sets) {
    EXPECT_EQ(s.getPropertyCount(), 2u);
    if (s.getProperty(Name("InstanceID")).getValue().getString().compare(0, 16, wwn) == 0 &&
        s.getProperty(Name("ElementName")).getValue().getString() == element)
      return s.getPath();
  }
  ADD_FAILURE() << "no DR group " << element << " on " << wwn;
  return ObjectPath();
}

TEST(ZarnsimTest, EveryOperationOverHttp) {
  auto sim = startZarnsim({});
  ASSERT_TRUE(sim->ok());
  Client client;
  client.setTimeout(10000);
  client.connect("127.0.0.1", sim->port(), "admin", "secret");

  std::vector<ObjectPath> systems = client.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem"));
  ASSERT_EQ(systems.size(), 2u);
  ObjectPath local;
  for (const auto& s : systems)
    if (s.findKey("Name") && *s.findKey("Name") == kLocalWwn) local = s;
  ASSERT_FALSE(local.getKeyBindings().empty());

  std::vector<ObjectPath> services =
      client.associatorNames(kNs, local, Name("CIM_HostedService"),
                             Name("QNZARN_StorageRemoteReplicationService"));
  ASSERT_EQ(services.size(), 1u);
  EXPECT_EQ(services[0].getNameSpace(), kNs);

  ObjectPath dg = findDrGroup(client, kLocalWwn, "\\Data Replication\\dg01");
  Instance state = client.getInstance(kNs, dg, true, false, false);
  EXPECT_EQ(state.getProperty(Name("ParticipationType")).getValue().getString(), "source");
  EXPECT_EQ(state.getProperty(Name("LinkState")).getValue().getString(), "good");
  EXPECT_EQ(state.getProperty(Name("WriteMode")).getValue().getString(), "synchronous");

  std::vector<ObjectPath> volumes = client.associatorNames(
      kNs, dg, Name("QNZARN_OrderedMemberOfCollection"), Name("QNZARN_StorageVolume"));
  ASSERT_EQ(volumes.size(), 2u);
  std::vector<std::string> wwids;
  for (const auto& v : volumes)
    wwids.push_back(client.getInstance(kNs, v, true, false, false)
                        .getProperty(Name("Name")).getValue().getString());
  EXPECT_EQ(wwids, (std::vector<std::string>{"6001438002A3C1E00000A00001240000",
                                             "6001438002A3C1E00000A00001250000"}));

  // The DR group's path travels as text in a string array; the provider
  // must find it again from that text. A source side cannot be failed over
  // (INVALID_DR_MODE in the first output array); the destination side can.
  auto failover = [&](const ObjectPath& service, const ObjectPath& group,
                      std::vector<ParamValue>* out) {
    std::vector<ParamValue> in = {ParamValue("QNKey", Value("MXRud")),
                                  ParamValue("ConsistencySet",
                                             Value(std::vector<std::string>{group.toString()}))};
    return client.invokeMethod(kNs, service, Name("FastFailover"), in, *out).getUint32();
  };
  std::vector<ParamValue> out;
  EXPECT_NE(failover(services[0], dg, &out), 0u);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0].getValue().getUint32Array().at(0), 32769u);

  ObjectPath remoteSystem = systems[0] == local ? systems[1] : systems[0];
  std::vector<ObjectPath> remoteServices =
      client.associatorNames(kNs, remoteSystem, Name("CIM_HostedService"),
                             Name("QNZARN_StorageRemoteReplicationService"));
  ASSERT_EQ(remoteServices.size(), 1u);
  ObjectPath remoteDg = findDrGroup(client, kRemoteWwn, "\\Data Replication\\dg01");
  EXPECT_EQ(failover(remoteServices[0], remoteDg, &out), 0u);
  EXPECT_EQ(client.getInstance(kNs, remoteDg, true, false, false)
                .getProperty(Name("ParticipationType")).getValue().getString(),
            "source");

  client.setProperty(kNs, dg, Name("FailSafe"), Value("disable"));
  EXPECT_EQ(client.getInstance(kNs, dg, true, false, false)
                .getProperty(Name("FailSafe")).getValue().getString(),
            "disable");

  Client intruder;
  intruder.connect("127.0.0.1", sim->port(), "admin", "wrong");
  try {
    intruder.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem"));
    FAIL() << "no exception";
  } catch (const HttpException& e) {
    EXPECT_EQ(e.getCode(), 401);
  }
}

TEST(ZarnsimTest, InjectedFaultsReachTheCallerAsTheirOwnExceptions) {
  auto sim = startZarnsim({});
  ASSERT_TRUE(sim->ok());
  Client client;
  client.setTimeout(10000);
  client.connect("127.0.0.1", sim->port(), "admin", "secret");
  try {
    client.enumerateInstances(kNs, Name("QNZARN_StorageVolume"));
    ADD_FAILURE() << "no exception";
  } catch (const CIMException& e) {
    EXPECT_EQ(e.getCode(), 1u);
    EXPECT_EQ(e.getMessage(), "CIM_ERR_FAILED: provider terminated");
  }
  try {
    client.enumerateInstanceNames(kNs, Name("QNZARN_ViewProtocolController"));
    ADD_FAILURE() << "no exception";
  } catch (const HttpException& e) {
    EXPECT_EQ(e.getCode(), 500);
  }
  EXPECT_THROW(client.enumerateInstanceNames(kNs, Name("QNZARN_StorageVolume")),
               TransportException);
  // The connection recovers after each of them.
  EXPECT_EQ(client.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem")).size(), 2u);
}

class ZarnsimServerTest : public ::testing::Test {
 protected:
  fake::ScopedPlatform sys;
  fake::ScopedLogger logger;
};

// A request that takes longer than the time-out is a time-out on time; the
// server marked TIMEOUT reconnects and the next request goes through.
TEST_F(ZarnsimServerTest, TimeoutThenReconnection) {
  auto sim = startZarnsim({});
  ASSERT_TRUE(sim->ok());
  SMISServer server;
  server.setHostname("127.0.0.1");
  server.setUseSSL(false);
  server.setTimeout(1);
  server.connectToServer("admin", "secret", sim->port());
  ObjectPath slow = findDrGroup(server.getCIMClient(), kLocalWwn, "\\Data Replication\\slow");

  auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(server.getCIMClient().getInstance(kNs, slow, true, false, false),
               ConnectionTimeoutException);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(990));
  EXPECT_LT(elapsed, std::chrono::milliseconds(2000));

  server.setState(TIMEOUT);
  Instance again = server.getCIMClient().getInstance(kNs, slow, true, false, false);
  EXPECT_EQ(server.getState(), CONNECTED);
  EXPECT_EQ(again.getProperty(Name("ParticipationType")).getValue().getString(), "source");
}

TEST_F(ZarnsimServerTest, HttpsWithSelfSignedCertificate) {
  support::TempDir certs;
  ASSERT_TRUE(support::makeCertificate(certs.path(), false));
  std::vector<std::string> args({"--https", "--cert", certs.path() + "/cert.pem", "--key",
                           certs.path() + "/key.pem"});
  auto sim = startZarnsim(args);
  ASSERT_TRUE(sim->ok());
  SMISServer server;
  server.setHostname("127.0.0.1");
  server.setTimeout(10);
  server.connectToServer("admin", "secret", sim->port());
  std::vector<ObjectPath> systems =
      server.getCIMClient().enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem"));
  EXPECT_EQ(systems.size(), 2u);
  ObjectPath remote = findDrGroup(server.getCIMClient(), kRemoteWwn, "\\Data Replication\\dg01");
  EXPECT_EQ(server.getCIMClient().getInstance(kNs, remote, true, false, false)
                .getProperty(Name("ParticipationType")).getValue().getString(),
            "destination");
}

// The local connection needs no credentials even where remote clients must
// give them.
TEST_F(ZarnsimServerTest, LocalSocketWithoutCredentials) {
  support::TempDir dir;
  std::string socketPath = dir.path() + "/cim.sock";
  std::vector<std::string> args({"--local-socket", socketPath});
  auto sim = startZarnsim(args);
  ASSERT_TRUE(sim->ok());
  std::string previous = Client::getDefaultLocalSocketPath();
  Client::setDefaultLocalSocketPath(socketPath);
  SMISServer server;  // empty host name: the local connection
  server.connectToServer("", "", 0);
  Client::setDefaultLocalSocketPath(previous);
  EXPECT_EQ(server.getState(), CONNECTED);
  EXPECT_EQ(server.getCIMClient().enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem")).size(),
            2u);
}

}  // namespace
}  // namespace cim
