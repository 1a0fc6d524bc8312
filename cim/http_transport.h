// One HTTP connection to a CIM server, on libcurl: plain TCP, TLS, or a
// Unix-domain socket on this host. The transport keeps one libcurl handle
// and its own connection cache, so the TCP (and TLS) connection is reused
// from request to request and reopened by libcurl when the server closed
// it. The connection open() makes to check the server (TCP connect and,
// over HTTPS, the TLS handshake with its certificate check) is the one the
// first request goes over: open() runs a transfer that libcurl, once
// connected, refuses before writing a byte of it (an HTTP/1.0 upload of
// unknown length), which leaves the connection in the cache. That transfer
// carries no credentials.
//
// Setting up a connection (TCP connect and, over HTTPS, the TLS handshake)
// is bounded by the time-out or MAX_CONNECT_TIMEOUT_MS, whichever is less,
// so a server that drops connection attempts costs seconds, not the whole
// request time-out; each request then has the full time-out. open() can
// also be taken in steps (beginOpen, advanceOpen, finishOpen), so that one
// thread opens several transports at once and waits on all of them.
//
// Every socket the transport opens is close-on-exec (libcurl's own socket
// pair is not; the shell seam closes it in commands). Before libcurl
// initialises, libcurl's debugging variables (DEBUG_ENVIRONMENT) are
// removed from the process environment: SSLKEYLOGFILE would otherwise have
// the TLS session secrets written to the file it names.
//
// Failures surface as the client's exceptions: ConnectionTimeoutException
// when the connection or the complete response takes longer than its bound
// (the connection is then dropped), CannotConnectException when the server
// cannot be reached, TransportException for everything else below HTTP,
// including a response larger than the limit (the transfer is cut off as
// soon as the limit is passed; nothing beyond it is kept in memory). The
// body's limit is set per transport; the status, header and trailer lines
// of one response together have their own, MAX_HEADER_SIZE.
#ifndef CIM_HTTP_TRANSPORT_H
#define CIM_HTTP_TRANSPORT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cim/ssl_context.h"

typedef void CURL;
typedef void CURLM;

namespace cim {

const std::uint32_t MAX_CONNECT_TIMEOUT_MS = 10000;
// The most bytes of status, header and trailer lines one response may
// have, interim responses included; a CIM server sends a few hundred.
const std::size_t MAX_HEADER_SIZE = 256u << 10;

// The variables removed from the environment before libcurl starts, a null
// pointer last: SSLKEYLOGFILE, and those a debugging build of libcurl reads.
extern const char* const DEBUG_ENVIRONMENT[];

// Removes DEBUG_ENVIRONMENT from the environment, then initialises libcurl;
// once per process. Every user of libcurl calls it before its first handle.
void initLibcurl();

struct Endpoint {
  enum Scheme { HTTP, HTTPS, LOCAL };
  Scheme scheme = HTTP;
  std::string host;
  std::uint32_t port = 0;
  std::string socketPath;  // LOCAL only
  std::string user;        // Basic authentication unless empty
  std::string password;
  SslContext ssl;          // HTTPS only

  // "host:port" or "local socket PATH", for messages.
  std::string describe() const;
};

struct TransportState;  // the open under way and the TLS certificate check

struct HttpResponse {
  long status = 0;
  std::string reason;
  // Headers of the final response, then any trailers, in arrival order.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // Value of the last header of that name (case ignored), or nullptr.
  const std::string* header(std::string_view name) const;
};

class HttpTransport {
 public:
  HttpTransport();
  ~HttpTransport();
  HttpTransport(const HttpTransport&) = delete;
  HttpTransport& operator=(const HttpTransport&) = delete;

  // Opens a connection to the endpoint (TCP, TLS handshake, or the socket)
  // to find out at once whether the server can be reached; throws as
  // described above. Requests then go to this endpoint.
  void open(const Endpoint& endpoint);
  // open() in steps: beginOpen starts the connection and returns at once
  // (it throws only when libcurl cannot be set up); advanceOpen moves it on
  // without waiting and is true once it has ended; finishOpen then returns
  // when the server was reached and throws what open() throws otherwise.
  // abandonOpen drops an open still under way with a
  // ConnectionTimeoutException that names the time it has taken.
  void beginOpen(const Endpoint& endpoint);
  bool advanceOpen();
  void finishOpen();
  [[noreturn]] void abandonOpen();
  // Waits until one of the transports being opened can move on, or at
  // most mostMs.
  static void waitForOpens(const std::vector<HttpTransport*>& opening, long mostMs);
  void close();
  bool isOpen() const { return open_; }
  const Endpoint& getEndpoint() const { return endpoint_; }

  void setTimeout(std::uint32_t milliseconds) { timeoutMs_ = milliseconds; }
  std::uint32_t getTimeout() const { return timeoutMs_; }
  // The bound on setting up a connection: min(time-out, 10 s).
  std::uint32_t getConnectTimeout() const;
  void setMaxResponseSize(std::size_t bytes) { maxResponseSize_ = bytes; }

  // Whether a request may reach the server twice. libcurl sends a request
  // again, on a new connection, when a reused connection closes before any
  // byte of the answer: harmless for a read, wrong for a change to an array
  // (a method call, a property change), which the server may have carried
  // out before it closed. ONCE hands libcurl a body it can read only once
  // and cannot rewind, so no path inside libcurl can send it a second time;
  // such a request then fails with a TransportException instead.
  enum class Repeat { ALLOWED, ONCE };

  // POSTs the body to /cimom with the given header lines ("Name: value") and
  // returns whatever HTTP response came back, whatever its status
  // (NotConnectedException before open()).
  HttpResponse post(const std::vector<std::string>& headers, std::string_view body,
                    Repeat repeat = Repeat::ALLOWED);

 private:
  void applyEndpoint(CURL* handle);
  // Runs the handle's transfer on the transport's own multi handle, whose
  // cache keeps the connection between transfers.
  int perform();

  CURLM* multi_ = nullptr;
  CURL* curl_ = nullptr;
  std::unique_ptr<TransportState> state_;
  Endpoint endpoint_;
  bool open_ = false;
  std::uint32_t timeoutMs_ = 20000;
  std::size_t maxResponseSize_ = 32u << 20;  // DEFAULT_MAX_RESPONSE_SIZE
};

}  // namespace cim

#endif  // CIM_HTTP_TRANSPORT_H
