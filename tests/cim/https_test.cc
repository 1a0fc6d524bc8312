// The client over HTTPS against a real TLS server with certificates made at
// test time: self-signed (as SMI-S providers have them), expired, and one
// trusted through a trust store.
#include <httplib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/xml_writer.h"
#include "tests/cim/scripted_server.h"

namespace cim {
namespace {

const NamespaceName kNs("root/ZARN");

// Makes key.pem and cert.pem for 127.0.0.1 in dir; with expired, the
// certificate was valid for one day in 2020.
void makeCertificate(const std::string& dir, bool expired) {
  std::string cmd = std::string(expired ? "faketime '2020-01-01 00:00:00' " : "") +
                    "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                    " -keyout '" + dir + "/key.pem' -out '" + dir + "/cert.pem' -days 1"
                    " -subj /CN=zarnsim -addext subjectAltName=IP:127.0.0.1 >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

class TlsServer {
 public:
  explicit TlsServer(const std::string& dir)
      : server_((dir + "/cert.pem").c_str(), (dir + "/key.pem").c_str()) {
    server_.Post("/cimom", [this](const httplib::Request& req, httplib::Response& res) {
      authorization = req.get_header_value("Authorization");
      size_t at = req.body.find("MESSAGE ID=\"") + 12;
      std::string id = req.body.substr(at, req.body.find('"', at) - at);
      std::string names;
      xml::writeInstanceName(names, ObjectPath("", NamespaceName(), Name("QNZARN_StorageSystem"),
                                               {KeyBinding("Name", "5000ABCDEF012345")}));
      res.set_header("CIMOperation", "MethodResponse");
      res.set_content(xml::intrinsicResponse(id, "EnumerateInstanceNames", names),
                      "application/xml; charset=utf-8");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~TlsServer() {
    server_.stop();
    thread_.join();
  }
  std::uint32_t port() const { return static_cast<std::uint32_t>(port_); }
  std::string authorization;

 private:
  httplib::SSLServer server_;
  int port_ = 0;
  std::thread thread_;
};

SslContext acceptAll(std::vector<CertificateInfo>* seen) {
  return SslContext("", [seen](const CertificateInfo& info) {
    seen->push_back(info);
    return true;
  }, "/dev/random");
}

TEST(HttpsTest, AcceptAllCallbackTakesSelfSignedAndExpiredCertificates) {
  for (bool expired : {false, true}) {
    SCOPED_TRACE(expired ? "expired" : "self-signed");
    test::TempDir dir;
    makeCertificate(dir.path(), expired);
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

TEST(HttpsTest, UntrustedCertificateIsRefusedWithoutCallback) {
  test::TempDir dir;
  makeCertificate(dir.path(), false);
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
  test::TempDir dir;
  makeCertificate(dir.path(), false);
  TlsServer server(dir.path());
  Client client;
  client.setTimeout(2000);
  client.connect("127.0.0.1", server.port(), "admin", "secret");
  EXPECT_THROW(client.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem")), Exception);
}

}  // namespace
}  // namespace cim
