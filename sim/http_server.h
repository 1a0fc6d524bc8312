// The HTTP front of the simulator: listens on TCP (HTTP or HTTPS) and, when
// asked, on a Unix-domain socket for local connections, hands each request
// to the CimService and delivers its reply: at once or late, in one piece
// or chunked with a trailer, or not at all (the connection is closed).
#ifndef SIM_HTTP_SERVER_H
#define SIM_HTTP_SERVER_H

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/cim_service.h"

namespace httplib {
class Server;
}

namespace sim {

struct ServerOptions {
  std::string bind = "127.0.0.1";
  int port = 5988;  // 0: any free port
  bool https = false;
  std::string certFile;  // PEM, for HTTPS
  std::string keyFile;   // PEM, for HTTPS
  std::string localSocket;  // Unix-domain socket path; empty: none
};

class SimServer {
 public:
  // service must outlive the server.
  SimServer(CimService* service, const ServerOptions& options);
  ~SimServer();  // stops
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Binds every listener and starts serving; connections are accepted once
  // it returns true. On failure says why in *error.
  bool start(std::string* error);
  int port() const { return port_; }
  // Stops listening, cuts pending delays short and waits for the workers.
  void stop();

 private:
  void route(httplib::Server* server, const std::string& via);
  // Waits up to ms; false when the server is stopping.
  bool pause(unsigned long ms);
  bool startOne(httplib::Server* server, std::thread* thread,
                std::string* error);

  CimService* service_;
  ServerOptions options_;
  int port_ = 0;
  std::unique_ptr<httplib::Server> tcp_;
  std::unique_ptr<httplib::Server> local_;
  std::thread tcpThread_;
  std::thread localThread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
};

}  // namespace sim

#endif  // SIM_HTTP_SERVER_H
