// What the CIM transport leaves to the rest of the process: the environment
// after libcurl has started, and the descriptors a command run through the
// real shell seam inherits while a connection is open. Each test wants to
// be the first in its process to make a transport (CTest runs each test in
// a process of its own).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "cim/certificate.h"
#include "cim/client.h"
#include "cim/xml_writer.h"
#include "drif/platform.h"
#include "tests/support/scripted_server.h"
#include "tests/support/files.h"
#include "tests/support/tls_server.h"

namespace cim {
namespace {

const NamespaceName kNs("root/ZARN");

TEST(TransportEnvironmentTest, DebugVariablesAreRemovedBeforeTheFirstTransfer) {
  support::TempDir dir;
  const std::string keyLog = dir.path() + "/keys";
  ::setenv("SSLKEYLOGFILE", keyLog.c_str(), 1);
  ::setenv("CURL_DEBUG", "1", 1);
  ASSERT_TRUE(support::makeCertificate(dir.path(), false));
  support::TlsServer server(dir.path());

  Client client;
  EXPECT_EQ(std::getenv("SSLKEYLOGFILE"), nullptr);
  EXPECT_EQ(std::getenv("CURL_DEBUG"), nullptr);
  client.setTimeout(5000);
  client.connect("127.0.0.1", server.port(),
                 SslContext("", [](const CertificateInfo&) { return true; }), "admin", "secret");
  EXPECT_EQ(client.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem")).size(), 1u);
  EXPECT_FALSE(std::ifstream(keyLog).good()) << "TLS secrets were written to " << keyLog;
}

// smistrust fetches a server's certificate before any transport exists.
TEST(TransportEnvironmentTest, CertificateFetchRemovesTheDebugVariablesToo) {
  support::TempDir dir;
  const std::string keyLog = dir.path() + "/keys";
  ::setenv("SSLKEYLOGFILE", keyLog.c_str(), 1);
  ASSERT_TRUE(support::makeCertificate(dir.path(), false));
  support::TlsServer server(dir.path());

  EXPECT_FALSE(fetchServerCertificate("127.0.0.1", server.port(), 5000).pem.empty());
  EXPECT_EQ(std::getenv("SSLKEYLOGFILE"), nullptr);
  EXPECT_FALSE(std::ifstream(keyLog).good()) << "TLS secrets were written to " << keyLog;
}

// vgchange, vxdg and kxexec run while the SMI-S connection is open.
TEST(TransportEnvironmentTest, CommandsInheritNoDescriptorAboveTwo) {
  support::ScriptedServer server([](int fd, const support::Request& req) {
    size_t at = req.body.find("MESSAGE ID=\"") + 12;
    std::string id = req.body.substr(at, req.body.find('"', at) - at);
    return support::sendAll(
        fd, support::cimResponse(xml::intrinsicResponse(id, "EnumerateInstanceNames", "")));
  });
  Client client;
  client.setTimeout(5000);
  client.connect("127.0.0.1", static_cast<std::uint32_t>(server.port()), "admin", "secret");
  EXPECT_TRUE(client.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem")).empty());

  sys::RealShell shell;
  // The shell lists its own descriptors ("; exit" keeps it from handing its
  // process to ls).
  sys::CommandResult r = shell.run("ls /proc/$$/fd; exit 3", 10, 100);
  ASSERT_TRUE(r.started);
  ASSERT_TRUE(WIFEXITED(r.status));
  EXPECT_EQ(WEXITSTATUS(r.status), 3);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"0\n", "1\n", "2\n"}));
  EXPECT_TRUE(client.isConnected());
}

}  // namespace
}  // namespace cim
