#include "zarn/smis/smis_server.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "cim/exception.h"
#include "cim/xml_writer.h"
#include "tests/support/fake_platform.h"
#include "tests/support/files.h"
#include "tests/support/scripted_server.h"
#include "tests/support/tls_server.h"
#include "zarn/smis/smis_exceptions.h"
#include "zarn/store/smis_manager.h"

namespace {

using support::Request;
using support::ScriptedServer;

std::string messageIdOf(const std::string& body) {
  size_t at = body.find("MESSAGE ID=\"") + 12;
  return body.substr(at, body.find('"', at) - at);
}

// Answers every request with one storage system.
bool answerStorageSystem(int fd, const Request& req) {
  std::string names;
  cim::xml::writeInstanceName(names, cim::ObjectPath("", cim::NamespaceName(),
                                                     cim::Name("QNZARN_StorageSystem"),
                                                     {cim::KeyBinding("Name", "5000ABCDEF012345")}));
  return support::sendAll(fd, support::cimResponse(cim::xml::intrinsicResponse(
                               messageIdOf(req.body), "EnumerateInstanceNames", names)));
}

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t enumerate(SMISServer& server) {
  return server.getCIMClient()
      .enumerateInstanceNames(server.getCimNamespace(), cim::Name("QNZARN_StorageSystem"))
      .size();
}

class SMISServerTest : public ::testing::Test {
 protected:
  // Lines written to standard output, debug ones included.
  std::vector<std::string> lines() const { return sys.messages(); }
  std::vector<std::string> normalLines() const { return sys.normalMessages(); }

  fake::ScopedPlatform sys;
  fake::ScopedEnv debug{"DATAREP_DEBUG", std::string("1")};
  fake::ScopedLogger logger;
};

TEST_F(SMISServerTest, DefaultsAfterConstruction) {
  SMISServer server;
  EXPECT_EQ(server.getState(), UNKNOWN_STATE);
  EXPECT_TRUE(server.getUseSSL());
  EXPECT_EQ(server.getHostname(), "");
  EXPECT_EQ(server.getCimNamespace().getString(), "root/ZARN");
  EXPECT_EQ(server.getTimeout(), 20);
  EXPECT_EQ(server.getCIMClient().getTimeout(), 20000u);
  EXPECT_EQ(lines().at(0), "DEBUG Inside the SMISServer constructor");
  EXPECT_THROW(server.setCimNamespace(std::string("root/ZA RN")), cim::InvalidNameException);
}

TEST_F(SMISServerTest, TimeoutIsKeptInSecondsAndGivenToTheClientInMilliseconds) {
  SMISServer server;
  server.setTimeout(300);
  EXPECT_EQ(server.getTimeout(), 300);
  EXPECT_EQ(server.getCIMClient().getTimeout(), 300000u);
  server.setTimeout(-5);  // never an endless wait
  EXPECT_EQ(server.getCIMClient().getTimeout(), 0u);
}

// An empty host name is the local connection: no credential check, whatever
// the SSL choice; only connectToServer announces it.
TEST_F(SMISServerTest, EmptyHostConnectsLocallyWithoutCredentials) {
  support::TempDir dir;
  std::string socketPath = dir.path() + "/cim.sock";
  ScriptedServer cimServer(answerStorageSystem, socketPath);
  std::string previous = cim::Client::getDefaultLocalSocketPath();
  cim::Client::setDefaultLocalSocketPath(socketPath);
  for (bool announce : {true, false}) {
    for (bool ssl : {true, false}) {
      SCOPED_TRACE(std::string(announce ? "connectToServer" : "connectToSMISServer") +
                   (ssl ? " ssl" : " plain"));
      sys.console.writes.clear();
      SMISServer server;
      server.setUseSSL(ssl);
      if (announce)
        server.connectToServer("", "", 0);
      else
        server.connectToSMISServer("", "", 0);
      EXPECT_EQ(server.getState(), CONNECTED);
      EXPECT_EQ(enumerate(server), 1u);
      std::vector<std::string> expected;
      if (announce) expected.push_back("Connecting to SMI-S at local host");
      EXPECT_EQ(normalLines(), expected);
    }
  }
  cim::Client::setDefaultLocalSocketPath(previous);
  for (const auto& req : cimServer.requests()) EXPECT_FALSE(req.has("authorization"));
}

TEST_F(SMISServerTest, RemoteConnectNeedsUserAndPassword) {
  struct Case {
    const char* user;
    const char* password;
    const char* message;
  } cases[] = {
      {"", "secret", "Missing username for connecting to SMI-S server"},
      {"", "", "Missing username for connecting to SMI-S server"},
      {"admin", "", "Missing password for connecting to SMI-S server"},
  };
  ScriptedServer cimServer(answerStorageSystem);
  for (const auto& c : cases) {
    SMISServer server;
    server.setHostname("127.0.0.1");
    server.setUseSSL(false);
    try {
      server.connectToServer(c.user, c.password, static_cast<std::uint32_t>(cimServer.port()));
      ADD_FAILURE() << "no exception";
    } catch (const UnexpectedArgumentException& e) {
      EXPECT_EQ(e.getMessage(), c.message);
    }
    EXPECT_EQ(server.getState(), UNKNOWN_STATE);
    EXPECT_FALSE(server.getCIMClient().isConnected());
  }
  EXPECT_EQ(cimServer.connections(), 0);
}

// A server list of an older version may hold any text as a host name:
// one that would change the server's URL is refused before any
// connection is made.
TEST_F(SMISServerTest, HostNameThatIsNotOneIsRefused) {
  ScriptedServer cimServer(answerStorageSystem);
  for (const char* host : {"127.0.0.1/x", "127.0.0.1?x", "127.0.0.1#x",
                           "admin@127.0.0.1", "127.0.0.1:1", "[127.0.0.1]"}) {
    for (bool ssl : {false, true}) {
      SMISServer server;
      server.setHostname(host);
      server.setUseSSL(ssl);
      try {
        server.connectToServer("admin", "secret",
                               static_cast<std::uint32_t>(cimServer.port()));
        ADD_FAILURE() << host << ": no exception";
      } catch (const UnexpectedArgumentException& e) {
        EXPECT_EQ(smisHostNameProblem(host), e.getMessage()) << host;
        EXPECT_NE("", e.getMessage()) << host;
      }
      EXPECT_EQ(UNKNOWN_STATE, server.getState()) << host;
    }
  }
  EXPECT_EQ(0, cimServer.connections());
}

TEST_F(SMISServerTest, HttpConnectLogsTheHostAndThePortUsed) {
  ScriptedServer cimServer(answerStorageSystem);
  std::uint32_t port = static_cast<std::uint32_t>(cimServer.port());
  SMISServer server;
  server.setHostname("127.0.0.1");
  server.setUseSSL(false);
  server.connectToServer("admin", "secret", port);
  EXPECT_EQ(server.getState(), CONNECTED);
  EXPECT_EQ(normalLines(),
            std::vector<std::string>{"Connecting to SMI-S server 127.0.0.1:" + std::to_string(port)});
  EXPECT_EQ(enumerate(server), 1u);
  EXPECT_EQ(cimServer.requests().at(0).header("authorization"), "Basic YWRtaW46c2VjcmV0");
}

// Port 0 is the protocol's default port; the line shows the port used,
// whether or not anything answers there.
TEST_F(SMISServerTest, PortZeroMeansTheDefaultPort) {
  for (bool ssl : {false, true}) {
    sys.console.writes.clear();
    SMISServer server;
    server.setHostname("127.0.0.1");
    server.setUseSSL(ssl);
    server.setTimeout(2);
    try {
      server.connectToServer("admin", "secret", 0);
    } catch (const cim::Exception&) {
      EXPECT_EQ(server.getState(), UNKNOWN_STATE);
    }
    EXPECT_EQ(normalLines().at(0),
              ssl ? "Connecting to SMI-S server 127.0.0.1:5989 using HTTPS connection."
                    "\n\t\t\tRandom Number Generator: /dev/random"
                  : "Connecting to SMI-S server 127.0.0.1:5988");
    EXPECT_EQ(server.getCIMClient().getEndpoint().port, ssl ? 5989u : 5988u);
  }
}

TEST_F(SMISServerTest, HttpsAcceptsSelfSignedAndExpiredCertificates) {
  for (bool expired : {false, true}) {
    support::TempDir dir;
    ASSERT_TRUE(support::makeCertificate(dir.path(), expired));
    support::TlsServer tls(dir.path());
    SMISServer server;
    server.setHostname("127.0.0.1");
    server.connectToSMISServer("admin", "secret", tls.port());
    EXPECT_EQ(server.getState(), CONNECTED);
    EXPECT_EQ(enumerate(server), 1u);
    EXPECT_EQ(tls.authorization, "Basic YWRtaW46c2VjcmV0");
  }
  EXPECT_TRUE(normalLines().empty());  // connectToSMISServer logs nothing
}

// With a trust file for the host, only the trusted key connects; a trust
// file without a certificate refuses the server. Refused, the server never
// sees the credentials.
TEST_F(SMISServerTest, HttpsPinsTheTrustedCertificateOfTheHost) {
  support::TempDir served, other, trust;
  ASSERT_TRUE(support::makeCertificate(served.path(), false));
  ASSERT_TRUE(support::makeCertificate(other.path(), false));
  const std::string trustFile = trust.path() + "/127.0.0.1.pem";
  struct Case {
    const char* name;
    std::string trusted;  // trust file contents; none when empty
    std::string refusal;  // start of the message; connects when empty
  } cases[] = {
      {"no trust file", "", ""},
      {"the served certificate", slurp(served.path() + "/cert.pem"), ""},
      {"another key", slurp(other.path() + "/cert.pem"), ": the certificate presented (SHA-256"},
      {"no certificate", "garbage",
       ": The trusted certificate " + trustFile + " holds no certificate"},
  };
  for (const Case& c : cases) {
    ::unlink(trustFile.c_str());
    if (!c.trusted.empty()) std::ofstream(trustFile) << c.trusted;
    support::TlsServer tls(served.path());
    SMISServer server;
    server.setTrustFolder(trust.path());
    server.setHostname("127.0.0.1");
    const std::string where = "Cannot connect to 127.0.0.1:" + std::to_string(tls.port());
    try {
      server.connectToSMISServer("admin", "secret", tls.port());
      EXPECT_EQ(1u, enumerate(server)) << c.name;
      EXPECT_EQ("", c.refusal) << c.name;
    } catch (const cim::UntrustedServerException& e) {
      EXPECT_EQ(0u, e.getMessage().find(where + c.refusal)) << c.name << ": " << e.getMessage();
      EXPECT_NE("", c.refusal) << c.name;
      EXPECT_EQ("", tls.authorization) << c.name;
    }
  }
}

// What smiscred and ZARNValidation tell the administrator about a server:
// credentials in clear over HTTP, any certificate accepted over HTTPS
// without a trust file, nothing for a pinned server.
TEST(ConnectionWarningTest, ClearTextAndUnpinnedServersOnly) {
  support::TempDir trust;
  std::ofstream(trust.path() + "/smis-pinned.pem") << "-----BEGIN CERTIFICATE-----\n";
  const struct {
    const char* host;
    const char* ssl;
    std::string warning;
  } cases[] = {
      {"smis-a", "N",
       "Warning - The SMI-S server smis-a is reached over HTTP: its user name and password\n"
       "\t\t\t\tare sent in clear text on every start. To use HTTPS instead, run\n"
       "\t\t\t\tsmiscred -h smis-a -s Y (with -p if its HTTPS port is not 5989),\n"
       "\t\t\t\tthen smistrust -h smis-a."},
      {"smis-pinned", "n", "Warning - The SMI-S server smis-pinned is reached over HTTP"},
      {"smis-b", "Y",
       "Warning - The SMI-S server smis-b is not trusted yet: any certificate it presents\n"
       "\t\t\t\tis accepted until it is trusted with smistrust -h smis-b."},
      {"smis-pinned", "y", ""},
  };
  for (const auto& c : cases) {
    SMISData entry;
    entry.hostname = c.host;
    entry.useSSL = c.ssl;
    std::string warning = connectionWarning(entry, trust.path());
    EXPECT_EQ(warning.substr(0, c.warning.size()), c.warning) << c.host << " " << c.ssl;
    EXPECT_EQ(warning.empty(), c.warning.empty()) << c.host << " " << c.ssl;
  }
}

// Client errors pass through unchanged and leave the state alone.
TEST_F(SMISServerTest, UnreachableServerThrowsTheClientsException) {
  ScriptedServer* gone = new ScriptedServer(answerStorageSystem);
  std::uint32_t port = static_cast<std::uint32_t>(gone->port());
  delete gone;
  SMISServer server;
  server.setHostname("127.0.0.1");
  server.setUseSSL(false);
  EXPECT_THROW(server.connectToServer("admin", "secret", port), cim::CannotConnectException);
  EXPECT_EQ(server.getState(), UNKNOWN_STATE);
}

TEST_F(SMISServerTest, TimeoutStateReconnectsWithAFreshClient) {
  ScriptedServer cimServer(answerStorageSystem);
  std::uint32_t port = static_cast<std::uint32_t>(cimServer.port());
  SMISServer server;
  server.setHostname("127.0.0.1");
  server.setUseSSL(false);
  server.setTimeout(7);
  server.connectToSMISServer("admin", "secret", port);

  cim::Client* first = &server.getCIMClient();
  EXPECT_EQ(&server.getCIMClient(), first);  // same client while connected
  EXPECT_EQ(enumerate(server), 1u);

  sys.console.writes.clear();
  server.setState(TIMEOUT);
  cim::Client* second = &server.getCIMClient();
  EXPECT_NE(second, first);
  EXPECT_TRUE(second->isConnected());
  EXPECT_EQ(second->getTimeout(), 7000u);
  EXPECT_EQ(server.getState(), CONNECTED);
  EXPECT_EQ(&server.getCIMClient(), second);
  EXPECT_EQ(normalLines(), std::vector<std::string>{"Connecting to SMI-S server 127.0.0.1:" +
                                                    std::to_string(port)});
  EXPECT_EQ(enumerate(server), 1u);
  std::vector<Request> reqs = cimServer.requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_NE(reqs[0].connection, reqs[1].connection);
  EXPECT_EQ(reqs[1].header("authorization"), "Basic YWRtaW46c2VjcmV0");
}

// A reconnection that fails leaves TIMEOUT, so the next call tries again.
TEST_F(SMISServerTest, FailedReconnectionKeepsTimeoutState) {
  std::uint32_t port;
  SMISServer server;
  server.setHostname("127.0.0.1");
  server.setUseSSL(false);
  {
    ScriptedServer cimServer(answerStorageSystem);
    port = static_cast<std::uint32_t>(cimServer.port());
    server.connectToServer("admin", "secret", port);
  }
  server.setState(TIMEOUT);
  EXPECT_THROW(server.getCIMClient(), cim::CannotConnectException);
  EXPECT_EQ(server.getState(), TIMEOUT);
  EXPECT_THROW(server.getCIMClient(), cim::CannotConnectException);

  ScriptedServer back([](int fd, const Request& req) { return answerStorageSystem(fd, req); });
  // The old port is gone for good; point at the new server and reconnect.
  server.setState(CONNECTED);
  server.connectToServer("admin", "secret", static_cast<std::uint32_t>(back.port()));
  server.setState(TIMEOUT);
  EXPECT_EQ(enumerate(server), 1u);
  EXPECT_EQ(server.getState(), CONNECTED);
}

template <typename E>
void checkFamilyMember() {
  E original("Cannot find a local usable SMI-S.");
  E copy = original;
  try {
    throw copy;
  } catch (const cim::Exception& e) {
    EXPECT_EQ(e.getMessage(), "Cannot find a local usable SMI-S.");
    EXPECT_NE(dynamic_cast<const E*>(&e), nullptr);
  }
}

TEST(SMISExceptionsTest, EveryClassKeepsItsMessageAndIsACimException) {
  checkFamilyMember<InstanceException>();
  checkFamilyMember<ObjectPathException>();
  checkFamilyMember<SMISServerException>();
  checkFamilyMember<NoSMISServerException>();
  checkFamilyMember<SMISServerInfoException>();
  checkFamilyMember<UnexpectedArgumentException>();
}

}  // namespace
