// Raw CIM-XML over HTTP for tests, over TCP or a local socket (to see the
// bytes a client library would hide), and shell commands with their output.
#ifndef TESTS_SUPPORT_WIRE_H
#define TESTS_SUPPORT_WIRE_H

#include <string>

namespace support {

struct CommandOutput {
  int status = -1;     // exit status (0..255), -1 when it did not end normally
  std::string output;  // standard output and standard error together
};

// Runs a command through /bin/sh.
CommandOutput run(const std::string& command);

// Quotes a word for /bin/sh.
std::string shellQuote(const std::string& word);

// Sends raw bytes to 127.0.0.1:port (or, with port 0, to the Unix socket
// at socketPath) and returns everything received until the server closes or
// timeoutMs passes without data.
std::string exchange(int port, const std::string& socketPath,
                     const std::string& request, int timeoutMs = 5000);

// A CIM-XML request over HTTP with the usual headers and Connection: close;
// extraHeaders are whole lines ending in "\r\n".
std::string httpRequest(const std::string& method, const std::string& object,
                        const std::string& body,
                        const std::string& extraHeaders = "");

// The body of an intrinsic request in root/ZARN with the given IPARAMVALUEs.
std::string intrinsicBody(const std::string& method, const std::string& params);

}  // namespace support

#endif  // TESTS_SUPPORT_WIRE_H
