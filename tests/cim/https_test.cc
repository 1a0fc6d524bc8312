// The client over HTTPS against a real TLS server with certificates made at
// test time: self-signed (as SMI-S providers have them), expired, and one
// trusted through a trust store.
#include <gtest/gtest.h>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/xml_writer.h"
#include "tests/support/files.h"
#include "tests/support/scripted_server.h"
#include "tests/support/tls_server.h"

namespace cim {
namespace {

const NamespaceName kNs("root/ZARN");

using support::TlsServer;

SslContext acceptAll(std::vector<CertificateInfo>* seen) {
  return SslContext("", [seen](const CertificateInfo& info) {
    seen->push_back(info);
    return true;
  }, "/dev/random");
}

TEST(HttpsTest, AcceptAllCallbackTakesSelfSignedAndExpiredCertificates) {
  for (bool expired : {false, true}) {
    SCOPED_TRACE(expired ? "expired" : "self-signed");
    support::TempDir dir;
    ASSERT_TRUE(support::makeCertificate(dir.path(), expired));
    TlsServer server(dir.path());
    std::vector<CertificateInfo> seen;
    Client client;
    client.setTimeout(5000);
    client.connect("127.0.0.1", server.port(), acceptAll(&seen), "admin", "secret");
    EXPECT_EQ(client.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem")).size(), 1u);
    EXPECT_EQ(server.authorization, "Basic YWRtaW46c2VjcmV0");
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].depth, 0);
    EXPECT_FALSE(seen[0].preverified);
    EXPECT_EQ(seen[0].subject, "/CN=zarnsim");
  }
}

// The connection connect() opens and checks (TCP, TLS handshake,
// certificate) carries the requests: one handshake for a whole decision,
// and the check itself sends no request.
TEST(HttpsTest, CheckedConnectionCarriesTheRequests) {
  support::TempDir dir;
  ASSERT_TRUE(support::makeCertificate(dir.path(), false));
  TlsServer server(dir.path());
  std::vector<CertificateInfo> seen;
  Client client;
  client.setTimeout(5000);
  client.connect("127.0.0.1", server.port(), acceptAll(&seen), "admin", "secret");
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(client.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem")).size(), 1u);
  EXPECT_EQ(server.requests, 2);
  EXPECT_EQ(server.handshakes(), 1);
}

TEST(HttpsTest, UntrustedCertificateIsRefusedWithoutCallback) {
  support::TempDir dir;
  ASSERT_TRUE(support::makeCertificate(dir.path(), false));
  TlsServer server(dir.path());
  Client client;
  client.setTimeout(5000);
  EXPECT_THROW(client.connect("127.0.0.1", server.port(), SslContext(), "admin", "secret"),
               CannotConnectException);
  EXPECT_THROW(client.connect("127.0.0.1", server.port(),
                              SslContext("", [](const CertificateInfo&) { return false; }),
                              "admin", "secret"),
               CannotConnectException);
  // Trusting the certificate through the trust store works without a callback.
  client.connect("127.0.0.1", server.port(), SslContext(dir.path() + "/cert.pem", nullptr),
                 "admin", "secret");
  EXPECT_EQ(client.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem")).size(), 1u);
}

// Plain HTTP spoken to a TLS port fails cleanly rather than hanging.
TEST(HttpsTest, PlainHttpToTlsPortFails) {
  support::TempDir dir;
  ASSERT_TRUE(support::makeCertificate(dir.path(), false));
  TlsServer server(dir.path());
  Client client;
  client.setTimeout(2000);
  client.connect("127.0.0.1", server.port(), "admin", "secret");
  EXPECT_THROW(client.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem")), Exception);
}

}  // namespace
}  // namespace cim
