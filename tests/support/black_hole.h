// A TCP listener on 127.0.0.1 where connection attempts go unanswered, as
// if the server's host were down: its accept queue is full (a backlog of 0,
// filled with connections that are never accepted), so the kernel drops
// every further SYN and a client's connect waits until its own time-out.
#ifndef TESTS_SUPPORT_BLACK_HOLE_H
#define TESTS_SUPPORT_BLACK_HOLE_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace support {

class BlackHole {
 public:
  BlackHole() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = loopback(0);
    socklen_t len = sizeof addr;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      return;
    int port = ntohs(addr.sin_port);
    // Fill the queue until a connection attempt goes unanswered.
    for (int i = 0; i < 16; ++i) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      sockaddr_in to = loopback(port);
      ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
      fillers_.push_back(fd);
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 200) == 0) {
        port_ = port;
        return;
      }
    }
  }
  ~BlackHole() {
    for (int fd : fillers_) ::close(fd);
    ::close(listener_);
  }
  BlackHole(const BlackHole&) = delete;
  BlackHole& operator=(const BlackHole&) = delete;

  // 0 when the queue could not be filled.
  int port() const { return port_; }

 private:
  static sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
  }

  int listener_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

}  // namespace support

#endif  // TESTS_SUPPORT_BLACK_HOLE_H
