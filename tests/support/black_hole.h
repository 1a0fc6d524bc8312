// A TCP listener on 127.0.0.1 where connection attempts go unanswered, as
// if the server's host were down: its accept queue is full (a backlog of 0,
// filled with connections that are never accepted), so the kernel drops
// every further SYN and a client's connect waits until its own time-out.
// Made with a delay, it is a slow server instead: once the delay has passed
// it accepts every connection, so the next SYN a client sends again is
// answered.
#ifndef TESTS_SUPPORT_BLACK_HOLE_H
#define TESTS_SUPPORT_BLACK_HOLE_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace support {

class BlackHole {
 public:
  explicit BlackHole(std::chrono::milliseconds answerAfter = std::chrono::milliseconds::zero()) {
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
        break;
      }
    }
    if (port_ != 0 && answerAfter.count() > 0)
      answerer_ = std::thread([this, answerAfter] {
        std::unique_lock<std::mutex> lock(mu_);
        if (cv_.wait_for(lock, answerAfter, [this] { return stopping_; })) return;
        // The fillers go (those still connecting stop sending SYNs), and
        // every connection is accepted from now on.
        for (int fd : fillers_) ::close(fd);
        fillers_.clear();
        while (!stopping_) {
          lock.unlock();
          pollfd queued{listener_, POLLIN, 0};
          if (::poll(&queued, 1, 20) > 0) {
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd >= 0) accepted_.push_back(fd);
          }
          lock.lock();
        }
      });
  }
  ~BlackHole() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stopping_ = true;
    }
    cv_.notify_all();
    if (answerer_.joinable()) answerer_.join();
    for (int fd : accepted_) ::close(fd);
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
  std::vector<int> accepted_;
  std::thread answerer_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool stopping_ = false;
};

}  // namespace support

#endif  // TESTS_SUPPORT_BLACK_HOLE_H
