// A TLS CIM server for tests (cpp-httplib), with a certificate for
// 127.0.0.1 made at test time in the test process (OpenSSL). It answers
// every request with one QNZARN_StorageSystem instance name, remembers the
// Authorization header it was sent, and counts the requests and the TLS
// handshakes (one per connection) it has seen.
#ifndef TESTS_SUPPORT_TLS_SERVER_H
#define TESTS_SUPPORT_TLS_SERVER_H

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "cim/object_path.h"
#include "cim/xml_writer.h"

namespace support {

// Makes key.pem and cert.pem (CN zarnsim, for IP 127.0.0.1, a P-256 key)
// in dir; with expired, the certificate was valid for one day in 2020.
// False if OpenSSL failed.
inline bool makeCertificate(const std::string& dir, bool expired) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  bool ok = key != nullptr && cert != nullptr;
  if (ok) {
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    if (expired) {
      ASN1_TIME_set_string(X509_getm_notBefore(cert), "20200101000000Z");
      ASN1_TIME_set_string(X509_getm_notAfter(cert), "20200102000000Z");
    } else {
      X509_gmtime_adj(X509_getm_notBefore(cert), 0);
      X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 60 * 60);
    }
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("zarnsim"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_set_pubkey(cert, key);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* san =
        X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "IP:127.0.0.1");
    ok = san != nullptr && X509_add_ext(cert, san, -1) == 1 &&
         X509_sign(cert, key, EVP_sha256()) > 0;
    X509_EXTENSION_free(san);
  }
  if (ok) {
    FILE* k = std::fopen((dir + "/key.pem").c_str(), "w");
    FILE* c = std::fopen((dir + "/cert.pem").c_str(), "w");
    ok = k != nullptr && c != nullptr &&
         PEM_write_PrivateKey(k, key, nullptr, nullptr, 0, nullptr, nullptr) == 1 &&
         PEM_write_X509(c, cert) == 1;
    if (k != nullptr) std::fclose(k);
    if (c != nullptr) std::fclose(c);
  }
  X509_free(cert);
  EVP_PKEY_free(key);
  return ok;
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
      cim::xml::writeInstanceName(
          names, cim::ObjectPath("", cim::NamespaceName(), cim::Name("QNZARN_StorageSystem"),
                                 {cim::KeyBinding("Name", "5000ABCDEF012345")}));
      res.set_header("CIMOperation", "MethodResponse");
      res.set_content(cim::xml::intrinsicResponse(id, "EnumerateInstanceNames", names),
                      "application/xml; charset=utf-8");
    });
    server_.set_logger([this](const httplib::Request&, const httplib::Response&) { ++requests; });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~TlsServer() {
    server_.stop();
    thread_.join();
  }
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  std::uint32_t port() const { return static_cast<std::uint32_t>(port_); }
  long handshakes() { return SSL_CTX_sess_accept(server_.ssl_context()); }
  std::string authorization;
  std::atomic<int> requests{0};

 private:
  httplib::SSLServer server_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace support

#endif  // TESTS_SUPPORT_TLS_SERVER_H
