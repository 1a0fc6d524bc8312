// zarnsim as a process, spoken to by an independent client (wbemcli) over
// HTTP and HTTPS, and by raw HTTP exchanges where the bytes on the wire
// matter: authentication, the local socket, faults, start and stop.
#include <sys/wait.h>

#include <chrono>
#include <regex>

#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "tests/support/wire.h"
#include "tests/support/zarnsim.h"

namespace support {
namespace {

// wbemcli cannot put a double quote into a method parameter, so the DR
// group's object path travels as QNZARN_ConsistencySet.InstanceID=<digits>;
// the world wide names and instance IDs here are digits only for that.
const char* const SCENARIO = R"({
  "arrays": [
    {"id": "dc1", "wwn": "5001438002534880",
     "volumes": [{"id": "vd01", "wwn": "6001438002A3C1E0", "name": "db_data", "hosts": ["node1"]}]},
    {"id": "dc2", "wwn": "5001438002534990",
     "volumes": [{"id": "vd01", "wwn": "6001438002A3C2F0", "name": "db_data_r", "hosts": ["node3"]}]}
  ],
  "drGroups": [{"name": "dg01", "sides": [
      {"array": "dc1", "instanceId": "50014380025348800001", "volumes": ["vd01"]},
      {"array": "dc2", "instanceId": "50014380025349900001", "volumes": ["vd01"]}],
    "failoverResults": ["LOCK_COLLISION"]}],
  "faults": [
    {"operation": "EnumerateInstances", "className": "QNZARN_StorageVolume",
     "action": "chunkedError", "code": 1, "description": "CIM_ERR_FAILED: provider terminated"},
    {"operation": "EnumerateInstanceNames", "className": "QNZARN_ViewProtocolController",
     "action": "drop"},
    {"operation": "EnumerateInstanceNames", "className": "CIM_StorageVolume",
     "action": "http500"},
    {"operation": "EnumerateInstanceNames", "className": "CIM_System", "delayMs": 1500}
  ]
})";

const std::string SYSTEM1 =
    "QNZARN_StorageSystem.CreationClassName=\"QNZARN_StorageSystem\",Name=\"5001438002534880\"";
const std::string SERVICE2 =
    "QNZARN_StorageRemoteReplicationService.CreationClassName="
    "\"QNZARN_StorageRemoteReplicationService\",Name=\"5001438002534990\\RS\","
    "SystemCreationClassName=\"QNZARN_StorageSystem\",SystemName=\"5001438002534990\"";
const std::string SET1 = "QNZARN_ConsistencySet.InstanceID=\"50014380025348800001\"";
const std::string SET2 = "QNZARN_ConsistencySet.InstanceID=\"50014380025349900001\"";

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

class ZarnsimTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    dir_.write("scenario.json", SCENARIO);
    std::vector<std::string> args = {"--scenario", dir_.file("scenario.json"),
                                     "--port", "0", "--user", "admin",
                                     "--password", "pa ss:w0rd",
                                     "--request-log", dir_.file("requests.log"),
                                     "--local-socket", dir_.file("cim.sock")};
    if (https()) {
      CommandOutput cert = run(
          "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -keyout " +
          shellQuote(dir_.file("key.pem")) + " -out " + shellQuote(dir_.file("cert.pem")));
      ASSERT_EQ(0, cert.status) << cert.output;
      args.insert(args.end(), {"--https", "--cert", dir_.file("cert.pem"), "--key",
                               dir_.file("key.pem")});
    }
    ASSERT_TRUE(sim_.start(args)) << sim_.errors();
  }

  bool https() const { return GetParam(); }

  std::string url(const std::string& path, const std::string& credentials = "admin:pa ss:w0rd") {
    return std::string(https() ? "https" : "http") + "://" + credentials + "@127.0.0.1:" +
           std::to_string(sim_.port()) + "/root/ZARN:" + path;
  }

  // wbemcli with its operation, options and arguments; the URL comes last
  // but one when args are given.
  CommandOutput wbemcli(const std::string& op, const std::string& path,
                        const std::string& args = "", const std::string& options = "",
                        const std::string& credentials = "admin:pa ss:w0rd") {
    std::string cmd = "wbemcli " + op + (https() ? " -noverify " : " ") + options + " " +
                      shellQuote(url(path, credentials));
    if (!args.empty()) cmd += " " + shellQuote(args);
    return run(cmd);
  }

  std::string log() const { return dir_.read("requests.log"); }

  TempDir dir_;
  ZarnSim sim_{ZARNSIM_BIN};
};

TEST_P(ZarnsimTest, WbemcliEnumeratesAndReads) {
  CommandOutput r = wbemcli("ein", "QNZARN_StorageSystem");
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("/root/ZARN:" + SYSTEM1)) << r.output;
  EXPECT_EQ(2u, count(r.output, "QNZARN_StorageSystem.CreationClassName"));

  r = wbemcli("ei", "QNZARN_ConsistencySet", "InstanceID,ParticipationType", "-nl");
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("-ParticipationType=\"source\"")) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("-ParticipationType=\"destination\""));
  EXPECT_EQ(std::string::npos, r.output.find("LinkState")) << "property list";

  r = wbemcli("gi", SET2);
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_NE(std::string::npos,
            r.output.find("ElementName=\"\\\\Data Replication\\\\dg01\",ParticipationType="
                          "\"destination\",LinkState=\"good\",LogState=\"normal\","
                          "FailSafe=\"disabled\""))
      << r.output;

  r = wbemcli("ain", SYSTEM1, "", "-ac CIM_HostedService -arc "
                                  "QNZARN_StorageRemoteReplicationService");
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("zarnsim/root/ZARN:QNZARN_StorageRemote"
                                             "ReplicationService"))
      << r.output;
  // The other direction, and through the superclass of the membership.
  r = wbemcli("ain", "QNZARN_StorageVolume.CreationClassName=\"QNZARN_StorageVolume\","
                     "DeviceID=\"vd01\",SystemCreationClassName=\"QNZARN_StorageSystem\","
                     "SystemName=\"5001438002534880\"",
              "", "-ac CIM_MemberOfCollection -arc QNZARN_ConsistencySet");
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_NE(std::string::npos, r.output.find(SET1)) << r.output;

  std::string lines = log();
  std::string via = https() ? "via=https" : "via=http";
  EXPECT_EQ(5u, count(lines, via)) << lines;
  EXPECT_EQ(1u, count(lines, "GetInstance\t" + std::string("QNZARN_ConsistencySet.InstanceID=")));
}

TEST_P(ZarnsimTest, WbemcliSetsFailSafeAndFailsOver) {
  CommandOutput r = wbemcli("sp", SET2, "FailSafe=\"disable\"");
  ASSERT_EQ(0, r.status) << r.output;
  r = wbemcli("gi", SET2, "FailSafe");
  EXPECT_NE(std::string::npos, r.output.find("FailSafe=\"disable\"")) << r.output;

  std::string call =
      "FastFailover.QNKey=\"MXRud\",ConsistencySet=\"QNZARN_ConsistencySet.InstanceID="
      "50014380025349900001\"";
  r = wbemcli("cm", SERVICE2, call);
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("FastFailover: 4, ErrorCodes (uint32): 32801"))
      << r.output;
  r = wbemcli("cm", SERVICE2, call);
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("FastFailover: 0")) << r.output;
  r = wbemcli("gi", SET2, "ParticipationType");
  EXPECT_NE(std::string::npos, r.output.find("ParticipationType=\"source\"")) << r.output;
  r = wbemcli("gi", SET1, "ParticipationType");
  EXPECT_NE(std::string::npos, r.output.find("ParticipationType=\"destination\"")) << r.output;

  r = wbemcli("cm", SERVICE2, "FastFailover.QNKey=\"nope\",ConsistencySet=\"x\"");
  EXPECT_NE(0, r.status);
  EXPECT_NE(std::string::npos, r.output.find("CIM_ERR_INVALID_PARAMETER: QNKey is not valid"))
      << r.output;

  // sp and cm ask for the class first; each call is one line.
  std::string lines = log();
  EXPECT_EQ(4u, count("\n" + lines, "\nGetClass\t")) << lines;
  EXPECT_EQ(3u, count(lines, "FastFailover\t"));
  EXPECT_EQ(2u, count(lines, "drgroup=\\Data Replication\\dg01\tarray=5001438002534990\treturn="));
  EXPECT_EQ(1u, count(lines, "SetProperty\t"));
}

TEST_P(ZarnsimTest, WrongPasswordIsRefused) {
  CommandOutput r = wbemcli("ein", "QNZARN_StorageSystem", "", "", "admin:wrong");
  EXPECT_NE(0, r.status);
  EXPECT_NE(std::string::npos, r.output.find("Http Exception")) << r.output;
  EXPECT_NE(std::string::npos, log().find("status=http:401"));
}

TEST_P(ZarnsimTest, TrailerFailureReachesTheClient) {
  CommandOutput r = wbemcli("ei", "QNZARN_StorageVolume", "", "-cte");
  EXPECT_NE(0, r.status);
  EXPECT_NE(std::string::npos, r.output.find("CIM_ERR_FAILED")) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Schemes, ZarnsimTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Https" : "Http";
                         });

// Raw exchanges with the plain HTTP listener.
class ZarnsimWireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.write("scenario.json", SCENARIO);
    ASSERT_TRUE(sim_.start({"--scenario", dir_.file("scenario.json"), "--port", "0",
                            "--user", "admin", "--password", "secret",
                            "--request-log", dir_.file("requests.log"),
                            "--local-socket", dir_.file("cim.sock")}))
        << sim_.errors();
  }

  std::string enumerate(const std::string& className, const std::string& headers,
                        int timeoutMs = 5000, bool local = false) {
    std::string body = intrinsicBody(
        "EnumerateInstanceNames",
        "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"" + className +
            "\"/></IPARAMVALUE>");
    std::string request = httpRequest("EnumerateInstanceNames", "root%2FZARN", body, headers);
    return local ? exchange(0, dir_.file("cim.sock"), request, timeoutMs)
                 : exchange(sim_.port(), "", request, timeoutMs);
  }

  const std::string auth_ = "Authorization: Basic YWRtaW46c2VjcmV0\r\n";
  TempDir dir_;
  ZarnSim sim_{ZARNSIM_BIN};
};

TEST_F(ZarnsimWireTest, ReadyLineNamesThePort) {
  EXPECT_TRUE(std::regex_match(sim_.readyLine(), std::regex("zarnsim ready on port [0-9]+")))
      << sim_.readyLine();
}

TEST_F(ZarnsimWireTest, ChallengesRequestsWithoutCredentials) {
  std::string reply = enumerate("QNZARN_StorageSystem", "");
  EXPECT_EQ(0u, reply.find("HTTP/1.1 401 Unauthorized\r\n")) << reply;
  EXPECT_NE(std::string::npos, reply.find("WWW-Authenticate: Basic realm=\"zarnsim\"\r\n"));
  reply = enumerate("QNZARN_StorageSystem", auth_);
  EXPECT_EQ(0u, reply.find("HTTP/1.1 200 OK\r\n")) << reply;
  EXPECT_NE(std::string::npos, reply.find("CIMOperation: MethodResponse\r\n"));
  EXPECT_NE(std::string::npos, reply.find("Content-Length: "));
}

TEST_F(ZarnsimWireTest, LocalSocketNeedsNoCredentials) {
  std::string reply = enumerate("QNZARN_StorageSystem", "", 5000, true);
  EXPECT_EQ(0u, reply.find("HTTP/1.1 200 OK\r\n")) << reply;
  EXPECT_NE(std::string::npos, reply.find("5001438002534990"));
  EXPECT_NE(std::string::npos,
            dir_.read("requests.log").find("EnumerateInstanceNames\tQNZARN_StorageSystem\t"
                                           "via=local\tstatus=ok"));
  EXPECT_EQ(0, sim_.stop());
  EXPECT_NE(0, run("test -e " + shellQuote(dir_.file("cim.sock"))).status)
      << "the socket is removed at exit";
}

TEST_F(ZarnsimWireTest, ChunkedReplyEndsWithFailingTrailer) {
  std::string body = intrinsicBody(
      "EnumerateInstances",
      "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"QNZARN_StorageVolume\"/></IPARAMVALUE>");
  std::string reply =
      exchange(sim_.port(), "", httpRequest("EnumerateInstances", "root%2FZARN", body, auth_));
  EXPECT_NE(std::string::npos, reply.find("Transfer-Encoding: chunked\r\n")) << reply;
  EXPECT_NE(std::string::npos,
            reply.find("Trailer: CIMStatusCode, CIMStatusCodeDescription, Content-Language\r\n"));
  EXPECT_EQ(std::string::npos, reply.find("Content-Length"));
  EXPECT_NE(std::string::npos,
            reply.find("\r\n0\r\nCIMStatusCode: 1\r\nCIMStatusCodeDescription: "
                       "CIM_ERR_FAILED: provider terminated\r\n\r\n"))
      << reply;
}

TEST_F(ZarnsimWireTest, DroppedConnectionGetsNothing) {
  EXPECT_EQ("", enumerate("QNZARN_ViewProtocolController", auth_));
  EXPECT_EQ("", enumerate("QNZARN_ViewProtocolController", "", 5000, true));
  EXPECT_EQ(0u, enumerate("QNZARN_StorageSystem", auth_).find("HTTP/1.1 200"))
      << "the server lives on";
  EXPECT_EQ(0u, enumerate("CIM_StorageVolume", auth_).find("HTTP/1.1 500"));
}

TEST_F(ZarnsimWireTest, DelayedReplyComesLate) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ("", enumerate("CIM_System", auth_, 500)) << "nothing within half a second";
  std::string reply = enumerate("CIM_System", auth_, 5000);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(0u, reply.find("HTTP/1.1 200")) << reply;
  EXPECT_GE(elapsed, std::chrono::milliseconds(1900));
}

TEST_F(ZarnsimWireTest, StopsPromptlyWhileAReplyIsHeldBack) {
  dir_.write("slow.json", R"({"faults": [{"delayMs": 60000}]})");
  ZarnSim slow(ZARNSIM_BIN);
  ASSERT_TRUE(slow.start({"--scenario", dir_.file("slow.json"), "--port", "0"}));
  std::string request = httpRequest(
      "EnumerateInstanceNames", "root%2FZARN",
      intrinsicBody("EnumerateInstanceNames",
                    "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"CIM_System\"/>"
                    "</IPARAMVALUE>"));
  exchange(slow.port(), "", request, 300);
  auto start = std::chrono::steady_clock::now();
  int status = slow.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(ZarnsimStartTest, ParallelInstancesGetTheirOwnPorts) {
  TempDir dir;
  dir.write("s.json", "{}");
  ZarnSim a(ZARNSIM_BIN), b(ZARNSIM_BIN);
  ASSERT_TRUE(a.start({"--scenario", dir.file("s.json"), "--port", "0"}));
  ASSERT_TRUE(b.start({"--scenario", dir.file("s.json"), "--port", "0"}));
  EXPECT_NE(a.port(), b.port());
  // A port in use is a start failure.
  ZarnSim c(ZARNSIM_BIN);
  EXPECT_FALSE(c.start({"--scenario", dir.file("s.json"), "--port", std::to_string(a.port())}));
  EXPECT_TRUE(WIFEXITED(c.exitStatus()) && WEXITSTATUS(c.exitStatus()) == 1);
  EXPECT_NE(std::string::npos, c.errors().find("zarnsim: cannot listen on 127.0.0.1 port"));
}

TEST(ZarnsimStartTest, BadArgumentsAndScenariosExitWithTwo) {
  TempDir dir;
  dir.write("bad.json", R"({"arrays": [{"id": "a"}]})");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--port", "0"}, "zarnsim: --scenario is required"},
      {{"--scenario", dir.file("bad.json"), "--port", "0"},
       "zarnsim: " + dir.file("bad.json") + ": arrays[0].wwn: missing"},
      {{"--scenario", dir.file("none.json")}, "zarnsim: cannot read " + dir.file("none.json")},
      {{"--scenario", dir.file("bad.json"), "--https"}, "zarnsim: --https needs --cert and --key"},
      {{"--scenario", dir.file("bad.json"), "--user", "u"},
       "zarnsim: --user and --password go together"},
      {{"--scenario", dir.file("bad.json"), "--port", "70000"}, "zarnsim: bad port 70000"},
      {{"--scenario", dir.file("bad.json"), "--verbose", "yes"},
       "zarnsim: unknown option --verbose"},
  };
  for (const Case& c : cases) {
    ZarnSim p(ZARNSIM_BIN);
    EXPECT_FALSE(p.start(c.args));
    EXPECT_TRUE(WIFEXITED(p.exitStatus()) && WEXITSTATUS(p.exitStatus()) == 2)
        << c.message;
    EXPECT_EQ(0u, p.errors().find(c.message)) << p.errors();
  }
}

}  // namespace
}  // namespace support
