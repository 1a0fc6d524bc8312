// A tiny HTTP server for the CIM client's tests: it accepts one connection at a
// time on 127.0.0.1 (or a Unix-domain socket), reads each request and lets
// the test's handler answer with raw bytes, so that the test can send
// exactly the faulty response it wants (cut off, reset, chunked with
// trailers, never answered, ...).
#ifndef TESTS_SUPPORT_SCRIPTED_SERVER_H
#define TESTS_SUPPORT_SCRIPTED_SERVER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace support {

struct Request {
  std::string head;                            // request line and headers
  std::map<std::string, std::string> headers;  // names lower-cased
  std::string body;
  int connection = 0;  // 1 for the first accepted connection
  std::string header(const std::string& lowerName) const {
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
  }
  bool has(const std::string& lowerName) const { return headers.count(lowerName) > 0; }
};

inline bool sendAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// "HTTP/1.1 <status> <reason>" with the given header lines, Content-Length
// and the body.
inline std::string httpResponse(int status, const std::string& reason,
                                const std::vector<std::string>& headers,
                                const std::string& body) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
  for (const auto& h : headers) out += h + "\r\n";
  out += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  return out + body;
}

// A CIM response: 200, XML content type, CIMOperation: MethodResponse.
inline std::string cimResponse(const std::string& body) {
  return httpResponse(200, "OK",
                      {"Content-Type: application/xml; charset=utf-8",
                       "CIMOperation: MethodResponse"},
                      body);
}

// Closes with a TCP reset instead of an orderly shutdown.
inline void resetConnection(int fd) {
  linger l{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

class ScriptedServer {
 public:
  // The handler answers one request on fd; it returns false to close the
  // connection afterwards.
  using Handler = std::function<bool(int fd, const Request& request)>;

  explicit ScriptedServer(Handler handler, const std::string& unixPath = std::string())
      : handler_(std::move(handler)), unixPath_(unixPath) {
    if (unixPath.empty()) {
      listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
      int one = 1;
      ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
      socklen_t len = sizeof addr;
      ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
      port_ = ntohs(addr.sin_port);
    } else {
      listen_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::strncpy(addr.sun_path, unixPath.c_str(), sizeof addr.sun_path - 1);
      ::unlink(unixPath.c_str());
      ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    ::listen(listen_, 8);
    thread_ = std::thread([this] { run(); });
  }

  ~ScriptedServer() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stopping_ = true;
    }
    cv_.notify_all();
    thread_.join();
    ::close(listen_);
    if (!unixPath_.empty()) ::unlink(unixPath_.c_str());
  }

  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  // The next `count` connections are closed as soon as they are accepted,
  // before anything is read from them.
  void closeOnAccept(int count) { closeOnAccept_ = count; }
  int closedOnAccept() const { return closedOnAccept_; }
  std::vector<Request> requests() const {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
  }
  int connections() const { return connections_; }

  // For handlers that must never answer: blocks until the server stops.
  void hang() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return stopping_; });
  }
  bool stopping() const {
    std::lock_guard<std::mutex> lock(mu_);
    return stopping_;
  }

 private:
  // Waits up to 50 ms for fd to become readable; false when stopping.
  bool waitReadable(int fd) {
    while (!stopping()) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0) return true;
    }
    return false;
  }

  void run() {
    while (waitReadable(listen_)) {
      int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) continue;
      int number = ++connections_;
      if (closeOnAccept_ > 0) {
        --closeOnAccept_;
        ::close(fd);
        ++closedOnAccept_;
        continue;
      }
      serve(fd, number);
      ::close(fd);
    }
  }

  void serve(int fd, int number) {
    std::string buffer;
    while (true) {
      size_t end;
      while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!readMore(fd, &buffer)) return;
      }
      Request req;
      req.connection = number;
      req.head = buffer.substr(0, end);
      parseHeaders(&req);
      size_t length = std::stoul(req.has("content-length") ? req.header("content-length") : "0");
      buffer.erase(0, end + 4);
      while (buffer.size() < length)
        if (!readMore(fd, &buffer)) return;
      req.body = buffer.substr(0, length);
      buffer.erase(0, length);
      {
        std::lock_guard<std::mutex> lock(mu_);
        requests_.push_back(req);
      }
      if (!handler_(fd, req)) return;
    }
  }

  bool readMore(int fd, std::string* buffer) {
    if (!waitReadable(fd)) return false;
    char chunk[65536];
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer->append(chunk, static_cast<size_t>(n));
    return true;
  }

  static void parseHeaders(Request* req) {
    size_t pos = req->head.find("\r\n");
    while (pos != std::string::npos) {
      size_t next = req->head.find("\r\n", pos + 2);
      std::string line = req->head.substr(pos + 2, next == std::string::npos ? std::string::npos
                                                                             : next - pos - 2);
      size_t colon = line.find(':');
      if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t v = line.find_first_not_of(' ', colon + 1);
        req->headers[name] = v == std::string::npos ? "" : line.substr(v);
      }
      pos = next;
    }
  }

  Handler handler_;
  std::string unixPath_;
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  bool stopping_ = false;
  std::vector<Request> requests_;
  std::atomic<int> connections_{0};
  std::atomic<int> closeOnAccept_{0};
  std::atomic<int> closedOnAccept_{0};
};

}  // namespace support

#endif  // TESTS_SUPPORT_SCRIPTED_SERVER_H
