// A TLS CIM server for tests (cpp-httplib), with a certificate for
// 127.0.0.1 made at test time by the openssl command. It answers every
// request with one QNZARN_StorageSystem instance name and remembers the
// Authorization header it was sent.
#ifndef TESTS_CIM_TLS_SERVER_H
#define TESTS_CIM_TLS_SERVER_H

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "cim/object_path.h"
#include "cim/xml_writer.h"

namespace test {

// Makes key.pem and cert.pem (CN zarnsim, for IP 127.0.0.1) in dir; with
// expired, the certificate was valid for one day in 2020. False if the
// openssl command failed.
inline bool makeCertificate(const std::string& dir, bool expired) {
  std::string cmd = std::string(expired ? "faketime '2020-01-01 00:00:00' " : "") +
                    "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                    " -keyout '" + dir + "/key.pem' -out '" + dir + "/cert.pem' -days 1"
                    " -subj /CN=zarnsim -addext subjectAltName=IP:127.0.0.1 >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
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
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~TlsServer() {
    server_.stop();
    thread_.join();
  }
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  std::uint32_t port() const { return static_cast<std::uint32_t>(port_); }
  std::string authorization;

 private:
  httplib::SSLServer server_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace test

#endif  // TESTS_CIM_TLS_SERVER_H
