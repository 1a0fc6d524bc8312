#include "tests/support/wire.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace support {

CommandOutput run(const std::string& command) {
  CommandOutput result;
  std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return result;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) result.output.append(buf, n);
  int status = ::pclose(p);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string shellQuote(const std::string& word) {
  std::string q = "'";
  for (char c : word) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string exchange(int port, const std::string& socketPath,
                     const std::string& request, int timeoutMs) {
  int fd;
  if (port > 0) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(fd);
      return "";
    }
  } else {
    fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(fd);
      return "";
    }
  }
  size_t sent = 0;
  while (sent < request.size()) {
    ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string reply;
  while (true) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) break;
    char buf[4096];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    reply.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return reply;
}

std::string httpRequest(const std::string& method, const std::string& object,
                        const std::string& body, const std::string& extraHeaders) {
  return "POST /cimom HTTP/1.1\r\n"
         "Host: 127.0.0.1\r\n"
         "Content-Type: application/xml; charset=utf-8\r\n"
         "Content-Length: " + std::to_string(body.size()) + "\r\n"
         "CIMOperation: MethodCall\r\n"
         "CIMMethod: " + method + "\r\n"
         "CIMObject: " + object + "\r\n"
         "Connection: close\r\n" +
         extraHeaders + "\r\n" + body;
}

std::string intrinsicBody(const std::string& method, const std::string& params) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<CIM CIMVERSION=\"2.0\" DTDVERSION=\"2.0\">"
         "<MESSAGE ID=\"77\" PROTOCOLVERSION=\"1.0\"><SIMPLEREQ>"
         "<IMETHODCALL NAME=\"" + method + "\">"
         "<LOCALNAMESPACEPATH><NAMESPACE NAME=\"root\"/><NAMESPACE NAME=\"ZARN\"/>"
         "</LOCALNAMESPACEPATH>" + params +
         "</IMETHODCALL></SIMPLEREQ></MESSAGE></CIM>";
}

}  // namespace support
