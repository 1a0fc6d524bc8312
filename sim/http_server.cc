#include "sim/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include <httplib.h>

namespace sim {

namespace {

// The socket of the plain connection the current worker thread serves.
thread_local int currentSocket = -1;

bool waitFor(int sock, short events, int ms) {
  pollfd p{sock, events, 0};
  int n;
  do {
    n = ::poll(&p, 1, ms);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

void addressOf(int sock, bool peer, std::string* ip, int* port) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  int rc = peer ? ::getpeername(sock, reinterpret_cast<sockaddr*>(&addr), &len)
                : ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
  ip->clear();
  *port = 0;
  if (rc != 0) return;
  char text[INET6_ADDRSTRLEN] = "";
  if (addr.ss_family == AF_INET) {
    auto* in = reinterpret_cast<sockaddr_in*>(&addr);
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    *port = ntohs(in->sin_port);
  } else if (addr.ss_family == AF_INET6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&addr);
    ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    *port = ntohs(in6->sin6_port);
  } else if (addr.ss_family == AF_UNIX) {
    std::strcpy(text, "local");
  }
  *ip = text;
}

// A plain socket with a small read buffer, so that request lines are not
// read one system call per byte.
class PlainStream : public httplib::Stream {
 public:
  PlainStream(int sock, time_t readSec, time_t writeSec)
      : sock_(sock),
        readMs_(static_cast<int>(readSec * 1000)),
        writeMs_(static_cast<int>(writeSec * 1000)) {}

  bool buffered() const { return pos_ < len_; }

  bool is_readable() const override {
    return buffered() || waitFor(sock_, POLLIN, readMs_);
  }
  bool is_writable() const override { return waitFor(sock_, POLLOUT, writeMs_); }

  ssize_t read(char* ptr, size_t size) override {
    if (!buffered()) {
      if (!waitFor(sock_, POLLIN, readMs_)) return -1;
      ssize_t n;
      do {
        n = ::recv(sock_, buf_, sizeof buf_, 0);
      } while (n < 0 && errno == EINTR);
      if (n <= 0) return n;
      pos_ = 0;
      len_ = static_cast<size_t>(n);
    }
    size_t n = std::min(size, len_ - pos_);
    std::memcpy(ptr, buf_ + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    size_t done = 0;
    while (done < size) {
      if (!waitFor(sock_, POLLOUT, writeMs_)) return -1;
      ssize_t n = ::send(sock_, ptr + done, size - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return -1;
      done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    addressOf(sock_, true, &ip, &port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    addressOf(sock_, false, &ip, &port);
  }
  socket_t socket() const override { return sock_; }

 private:
  int sock_;
  int readMs_;
  int writeMs_;
  char buf_[4096];
  size_t pos_ = 0;
  size_t len_ = 0;
};

// An HTTP server that runs its own connection loop, so that a handler can
// reach the socket it answers on (to drop the connection), and that can
// listen on a Unix-domain socket as well as on TCP.
class PlainServer : public httplib::Server {
 public:
  bool listenUnix(const std::string& path, std::string* error) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) {
      *error = "socket path too long: " + path;
      return false;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      *error = std::string("socket: ") + std::strerror(errno);
      return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str());  // a socket left by an earlier run
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 64) != 0) {
      *error = "cannot listen on " + path + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    svr_sock_ = fd;
    return true;
  }

 private:
  bool process_and_close_socket(socket_t sock) override {
    currentSocket = sock;
    PlainStream stream(sock, read_timeout_sec_, write_timeout_sec_);
    bool ret = false;
    for (size_t left = keep_alive_max_count_; left > 0; --left) {
      if (!stream.buffered() && !nextRequest(sock)) break;
      bool closed = false;
      ret = process_request(stream, left == 1, closed, nullptr);
      if (!ret || closed) break;
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    currentSocket = -1;
    return ret;
  }

  // Waits for the next request on a kept-alive connection; false on time-out,
  // when the peer closed, or when the server stops.
  bool nextRequest(int sock) {
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::seconds(keep_alive_timeout_sec_);
    while (svr_sock_ != INVALID_SOCKET) {
      pollfd p{sock, POLLIN, 0};
      int n = ::poll(&p, 1, 50);
      if (n > 0) return true;
      if (n < 0 && errno != EINTR) return false;
      if (std::chrono::steady_clock::now() > deadline) return false;
    }
    return false;
  }
};

const char* const CHUNK_TRAILER = "CIMStatusCode, CIMStatusCodeDescription, Content-Language";

std::string chunk(const std::string& data) {
  char size[32];
  std::snprintf(size, sizeof size, "%zx\r\n", data.size());
  return size + data + "\r\n";
}

// The body in two chunks, the end chunk and the trailer.
std::string chunkedBody(const HttpReply& reply) {
  std::string out;
  size_t half = reply.body.size() / 2;
  if (half > 0) out += chunk(reply.body.substr(0, half));
  if (reply.body.size() > half) out += chunk(reply.body.substr(half));
  out += "0\r\n";
  out += "CIMStatusCode: " + std::to_string(reply.trailerCode) + "\r\n";
  if (!reply.trailerDescription.empty())
    out += "CIMStatusCodeDescription: " + reply.trailerDescription + "\r\n";
  out += "\r\n";
  return out;
}

}  // namespace

SimServer::SimServer(CimService* service, const ServerOptions& options)
    : service_(service), options_(options) {}

SimServer::~SimServer() { stop(); }

bool SimServer::pause(unsigned long ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, std::chrono::milliseconds(ms),
                         [this] { return stopping_; });
}

void SimServer::route(httplib::Server* server, const std::string& via) {
  auto handler = [this, via](const httplib::Request& req,
                             httplib::Response& res) {
    HttpRequestIn in;
    in.method = req.method;
    in.body = req.body;
    in.via = via;
    for (const auto& h : req.headers) in.headers.push_back({h.first, h.second});
    HttpReply reply = service_->handle(in);
    if (reply.delayMs > 0 && !pause(reply.delayMs)) {
      res.status = 503;  // shutting down
      return;
    }
    if (reply.delivery == HttpReply::Delivery::DROP) {
      int fd = currentSocket;
      if (req.ssl) fd = SSL_get_fd(req.ssl);
      if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
      res.status = 500;  // never reaches the client
      return;
    }
    res.status = reply.status;
    std::string contentType;
    for (const auto& h : reply.headers) {
      if (cim::equalsIgnoreCase(h.first, "Content-Type"))
        contentType = h.second;
      else
        res.set_header(h.first.c_str(), h.second);
    }
    if (reply.delivery == HttpReply::Delivery::CHUNKED) {
      res.set_header("Transfer-Encoding", "chunked");
      res.set_header("Trailer", CHUNK_TRAILER);
      std::string raw = chunkedBody(reply);
      res.set_content_provider(contentType,
                               [raw](size_t, httplib::DataSink& sink) {
                                 sink.write(raw.data(), raw.size());
                                 sink.done();
                                 return true;
                               });
      return;
    }
    if (!reply.body.empty())
      res.set_content(reply.body, contentType.c_str());
    else if (!contentType.empty())
      res.set_header("Content-Type", contentType);
  };
  server->Post(".*", handler);
  server->Get(".*", handler);
  server->Put(".*", handler);
  server->Patch(".*", handler);
  server->Delete(".*", handler);
  server->Options(".*", handler);
}

bool SimServer::startOne(httplib::Server* server, std::thread* thread,
                         std::string* error) {
  *thread = std::thread([server] { server->listen_after_bind(); });
  for (int i = 0; i < 5000 && !server->is_running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!server->is_running()) {
    *error = "the server did not start";
    return false;
  }
  return true;
}

bool SimServer::start(std::string* error) {
  if (options_.https) {
    auto ssl = std::make_unique<httplib::SSLServer>(options_.certFile.c_str(),
                                                    options_.keyFile.c_str());
    if (!ssl->is_valid()) {
      *error = "cannot use certificate " + options_.certFile + " and key " +
               options_.keyFile;
      return false;
    }
    tcp_ = std::move(ssl);
  } else {
    tcp_ = std::make_unique<PlainServer>();
  }
  // httplib's default sets SO_REUSEPORT, which lets a second simulator bind
  // the same port and take half of the connections; a port in use must be
  // an error instead. A reply goes out in two writes (head, then body):
  // with Nagle's algorithm the body would wait for the client's delayed
  // acknowledgement of the head, some 40 ms a request. Accepted sockets
  // inherit TCP_NODELAY.
  tcp_->set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  });
  route(tcp_.get(), options_.https ? "https" : "http");
  if (options_.port == 0) {
    port_ = tcp_->bind_to_any_port(options_.bind);
    if (port_ < 0) port_ = 0;
  } else if (tcp_->bind_to_port(options_.bind, options_.port)) {
    port_ = options_.port;
  }
  if (port_ == 0) {
    *error = "cannot listen on " + options_.bind + " port " +
             std::to_string(options_.port);
    return false;
  }
  if (!options_.localSocket.empty()) {
    auto local = std::make_unique<PlainServer>();
    if (!local->listenUnix(options_.localSocket, error)) return false;
    route(local.get(), "local");
    local_ = std::move(local);
    if (!startOne(local_.get(), &localThread_, error)) return false;
  }
  return startOne(tcp_.get(), &tcpThread_, error);
}

void SimServer::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (tcp_) tcp_->stop();
  if (local_) local_->stop();
  if (tcpThread_.joinable()) tcpThread_.join();
  if (localThread_.joinable()) localThread_.join();
  if (local_) {
    ::unlink(options_.localSocket.c_str());
    local_.reset();
  }
}

}  // namespace sim
