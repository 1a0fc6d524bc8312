#include "cim/http_transport.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "cim/certificate.h"
#include "cim/exception.h"
#include "cim/name.h"

namespace cim {

const char* const DEBUG_ENVIRONMENT[] = {
    "SSLKEYLOGFILE",  "CURL_DEBUG",       "CURL_DEBUG_SIZE",  "CURL_TRACE",
    "CURL_MEMDEBUG",  "CURL_MEMLIMIT",    "CURL_ENTROPY",     "CURL_FORCETIME",
    "CURL_GETHOSTNAME", "CURL_DNS_SERVER", "CURL_ALTSVC_HTTP", "CURL_HSTS_HTTP",
    "CURL_SMALLREQSEND", "CURL_SMALLSENDS", nullptr,
};

// The pinned-key check of a transport's TLS handshakes, kept for the
// failure message (libcurl's own names no certificate). Each new TLS
// connection clears it.
struct TlsCheck {
  const SslContext* context = nullptr;
  PinCheck refused;
  bool wasRefused = false;
};

struct TransportState {
  bool opening = false;  // open() under way
  CURLcode result = CURLE_OK;  // how it ended
  char error[CURL_ERROR_SIZE] = "";
  std::chrono::steady_clock::time_point started;
  TlsCheck tls;
};

// libcurl opens the key log file while it initialises, so the variables go
// first.
void initLibcurl() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const char* const* name = DEBUG_ENVIRONMENT; *name != nullptr; ++name)
      unsetenv(*name);
    curl_global_init(CURL_GLOBAL_DEFAULT);
  });
}

namespace {

curl_socket_t openSocket(void*, curlsocktype, curl_sockaddr* address) {
  int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  return fd < 0 ? CURL_SOCKET_BAD : fd;
}

// The body of open()'s transfer, which libcurl refuses before reading it.
// Should a libcurl ever read it, the transfer stops there.
size_t sendNothing(char*, size_t, size_t, void*) { return CURL_READFUNC_ABORT; }

// Index of the transport's TlsCheck kept in each OpenSSL context libcurl
// creates, so that the verify callback finds the caller's decision. Several
// transports may shake hands at once on one thread.
int sslContextIndex() {
  static int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

// False when the pinned certificate's key is not the server's.
bool pinnedKeyMatches(TlsCheck* check, X509_STORE_CTX* store) {
  const SslContext& context = *check->context;
  if (context.getPinnedCertificate().empty() || X509_STORE_CTX_get_error_depth(store) != 0)
    return true;
  X509* cert = X509_STORE_CTX_get_current_cert(store);
  Certificate presented;
  unsigned char* der = nullptr;
  int length = cert != nullptr ? i2d_X509(cert, &der) : 0;
  if (length > 0) {
    readCertificateDer(std::string(reinterpret_cast<char*>(der), static_cast<size_t>(length)),
                       &presented);
    OPENSSL_free(der);
  }
  PinCheck pin = checkPinnedKey(context.getPinnedCertificate(), presented);
  if (pin.accepted) return true;
  check->refused = pin;
  check->wasRefused = true;
  X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
  return false;
}

int verifyCertificate(int preverified, X509_STORE_CTX* store) {
  SSL* ssl = static_cast<SSL*>(
      X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  if (ssl == nullptr) return preverified;
  auto* check = static_cast<TlsCheck*>(
      SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), sslContextIndex()));
  if (check != nullptr && !pinnedKeyMatches(check, store)) return 0;
  const SslContext* context = check != nullptr ? check->context : nullptr;
  if (context == nullptr || !context->getVerifyCallback()) return preverified;

  CertificateInfo info;
  char buffer[512];
  if (X509* cert = X509_STORE_CTX_get_current_cert(store)) {
    X509_NAME_oneline(X509_get_subject_name(cert), buffer, sizeof buffer);
    info.subject = buffer;
    X509_NAME_oneline(X509_get_issuer_name(cert), buffer, sizeof buffer);
    info.issuer = buffer;
  }
  info.depth = X509_STORE_CTX_get_error_depth(store);
  info.preverified = preverified == 1;
  info.errorCode = X509_STORE_CTX_get_error(store);
  info.errorText = X509_verify_cert_error_string(info.errorCode);
  bool accepted = false;
  try {
    accepted = context->getVerifyCallback()(info);
  } catch (...) {
    accepted = false;
  }
  if (accepted) X509_STORE_CTX_set_error(store, X509_V_OK);
  return accepted ? 1 : 0;
}

CURLcode prepareSslContext(CURL*, void* sslctx, void* userptr) {
  auto* ctx = static_cast<SSL_CTX*>(sslctx);
  auto* check = static_cast<TlsCheck*>(userptr);
  const SslContext* context = check->context;
  check->wasRefused = false;
  if (!context->getTrustStore().empty() &&
      SSL_CTX_load_verify_locations(ctx, context->getTrustStore().c_str(), nullptr) != 1)
    return CURLE_SSL_CACERT_BADFILE;
  SSL_CTX_set_ex_data(ctx, sslContextIndex(), check);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, verifyCertificate);
  return CURLE_OK;
}

struct Transfer {
  HttpResponse* response;
  std::size_t limit;
  bool tooLarge = false;
  std::size_t headerBytes = 0;  // status, header and trailer lines so far
  bool headersTooLarge = false;
};

size_t onBody(char* data, size_t size, size_t count, void* userdata) {
  auto* t = static_cast<Transfer*>(userdata);
  size_t n = size * count;
  if (t->response->body.size() + n > t->limit) {
    t->tooLarge = true;
    return 0;  // aborts the transfer
  }
  t->response->body.append(data, n);
  return n;
}

// A request body libcurl may read once, from the start to the end, and
// never rewind (see HttpTransport::Repeat).
struct OneShotBody {
  std::string_view rest;
};

size_t readOnce(char* buffer, size_t size, size_t count, void* userdata) {
  auto* b = static_cast<OneShotBody*>(userdata);
  size_t n = std::min(size * count, b->rest.size());
  std::copy_n(b->rest.data(), n, buffer);
  b->rest.remove_prefix(n);
  return n;
}

int refuseRewind(void*, curl_off_t, int) { return CURL_SEEKFUNC_CANTSEEK; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' ||
                        s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// Called for each header line, for the status line of every response (an
// interim 100 included) and, after the body of a chunked response, for the
// trailers.
size_t onHeader(char* data, size_t size, size_t count, void* userdata) {
  auto* t = static_cast<Transfer*>(userdata);
  size_t n = size * count;
  t->headerBytes += n;
  if (t->headerBytes > MAX_HEADER_SIZE) {
    t->headersTooLarge = true;
    return 0;  // aborts the transfer
  }
  std::string_view line = trim(std::string_view(data, n));
  if (line.substr(0, 5) == "HTTP/") {
    t->response->headers.clear();
    t->response->reason.clear();
    size_t sp = line.find(' ');
    if (sp != std::string_view::npos) {
      size_t sp2 = line.find(' ', sp + 1);
      if (sp2 != std::string_view::npos) t->response->reason = std::string(trim(line.substr(sp2 + 1)));
    }
    return n;
  }
  size_t colon = line.find(':');
  if (colon != std::string_view::npos && colon > 0)
    t->response->headers.emplace_back(std::string(trim(line.substr(0, colon))),
                                      std::string(trim(line.substr(colon + 1))));
  return n;
}

// boundMs is the time-out that applied: the connection's or the request's.
[[noreturn]] void fail(CURLcode code, const char* errorBuffer, const Endpoint& ep,
                       const TlsCheck& tls, std::uint32_t boundMs, bool tooLarge,
                       std::size_t limit) {
  std::string where = ep.describe();
  // A refused connection is described without libcurl's elapsed time
  // ("... after 3 ms: ..."), so the same failure always reads the same.
  std::string detail = (*errorBuffer && code != CURLE_COULDNT_CONNECT)
                           ? errorBuffer
                           : curl_easy_strerror(code);
  if (tls.wasRefused &&
      (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR))
    throw UntrustedServerException("Cannot connect to " + where + ": " +
                                   tls.refused.refusal(ep.host));
  if (tooLarge)
    throw TransportException("Response from " + where + " is larger than " +
                             std::to_string(limit) + " bytes");
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      throw ConnectionTimeoutException("No response from " + where + " within " +
                                       std::to_string(boundMs) + " ms");
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_URL_MALFORMAT:
      throw CannotConnectException("Cannot connect to " + where + ": " + detail);
    default:
      throw TransportException("Connection to " + where + " failed: " + detail);
  }
}

}  // namespace

std::string Endpoint::describe() const {
  if (scheme == LOCAL) return "local socket " + socketPath;
  return host + ":" + std::to_string(port);
}

const std::string* HttpResponse::header(std::string_view name) const {
  for (auto it = headers.rbegin(); it != headers.rend(); ++it)
    if (equalsIgnoreCase(it->first, name)) return &it->second;
  return nullptr;
}

HttpTransport::HttpTransport() : state_(new TransportState) { initLibcurl(); }

HttpTransport::~HttpTransport() { close(); }

void HttpTransport::close() {
  if (state_->opening) curl_multi_remove_handle(multi_, curl_);
  // The multi handle goes first: it closes the connections of its cache.
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
  if (curl_ != nullptr) curl_easy_cleanup(curl_);
  multi_ = nullptr;
  curl_ = nullptr;
  state_->opening = false;
  open_ = false;
}

std::uint32_t HttpTransport::getConnectTimeout() const {
  return std::min(timeoutMs_, MAX_CONNECT_TIMEOUT_MS);
}

void HttpTransport::applyEndpoint(CURL* handle) {
  const Endpoint& ep = endpoint_;
  std::string url;
  if (ep.scheme == Endpoint::LOCAL) {
    url = "http://localhost/cimom";
    curl_easy_setopt(handle, CURLOPT_UNIX_SOCKET_PATH, ep.socketPath.c_str());
  } else {
    bool ipv6 = ep.host.find(':') != std::string::npos && ep.host.front() != '[';
    url = std::string(ep.scheme == Endpoint::HTTPS ? "https://" : "http://") +
          (ipv6 ? "[" + ep.host + "]" : ep.host) + ":" + std::to_string(ep.port) + "/cimom";
  }
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, openSocket);
  // libcurl reads 0 as "no limit"; here it means "no time at all".
  auto limit = [](std::uint32_t ms) { return ms == 0 ? 1L : static_cast<long>(ms); };
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, limit(getConnectTimeout()));
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, limit(timeoutMs_));
  if (ep.scheme == Endpoint::HTTPS) {
    const SslContext& ssl = ep.ssl;
    state_->tls.context = &ssl;
    if (ssl.getVerifyCallback()) {
      // The callback decides alone; libcurl's own checks are off.
      curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
      curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
      curl_easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, prepareSslContext);
      curl_easy_setopt(handle, CURLOPT_SSL_CTX_DATA, &state_->tls);
    } else {
      curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
      curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
      if (!ssl.usesSystemTrustStore())
        curl_easy_setopt(handle, CURLOPT_CAINFO,
                         ssl.getTrustStore().empty() ? "/dev/null" : ssl.getTrustStore().c_str());
      // The pinned key is checked by the verify callback.
      if (!ssl.getPinnedCertificate().empty()) {
        curl_easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, prepareSslContext);
        curl_easy_setopt(handle, CURLOPT_SSL_CTX_DATA, &state_->tls);
      }
    }
  }
}

int HttpTransport::perform() {
  curl_multi_add_handle(multi_, curl_);
  CURLcode rc = CURLE_OK;
  for (bool done = false; !done;) {
    int running = 0;
    CURLMcode mc = curl_multi_perform(multi_, &running);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == curl_) {
        rc = msg->data.result;
        done = true;
      }
    }
    if (!done && (mc != CURLM_OK || running == 0)) {
      rc = CURLE_SEND_ERROR;  // libcurl lost the transfer: reported as a failed connection
      break;
    }
    if (!done) curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
  }
  curl_multi_remove_handle(multi_, curl_);
  return rc;
}

void HttpTransport::open(const Endpoint& endpoint) {
  beginOpen(endpoint);
  while (!advanceOpen()) waitForOpens({this}, 1000);
  finishOpen();
}

void HttpTransport::beginOpen(const Endpoint& endpoint) {
  close();
  endpoint_ = endpoint;
  multi_ = curl_multi_init();
  curl_ = curl_easy_init();
  if (multi_ == nullptr || curl_ == nullptr) {
    close();
    throw TransportException("Cannot create a libcurl handle");
  }
  // The check's transfer: an HTTP/1.0 upload of unknown length, which
  // libcurl refuses once connected (and, over HTTPS, once the handshake and
  // its certificate check are done), before it writes the request. No
  // credentials are set on it.
  applyEndpoint(curl_);
  curl_easy_setopt(curl_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(curl_, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
  curl_easy_setopt(curl_, CURLOPT_READFUNCTION, sendNothing);
  state_->error[0] = '\0';
  curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, state_->error);
  state_->started = std::chrono::steady_clock::now();
  curl_multi_add_handle(multi_, curl_);
  state_->opening = true;
  advanceOpen();
}

bool HttpTransport::advanceOpen() {
  if (!state_->opening) return true;
  int running = 0;
  CURLMcode mc = curl_multi_perform(multi_, &running);
  bool done = false;
  int queued = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == curl_) {
      state_->result = msg->data.result;
      done = true;
    }
  }
  if (!done && (mc != CURLM_OK || running == 0)) {
    state_->result = CURLE_COULDNT_CONNECT;
    done = true;
  }
  if (!done) return false;
  curl_multi_remove_handle(multi_, curl_);
  curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, nullptr);
  state_->opening = false;
  return true;
}

void HttpTransport::finishOpen() {
  CURLcode rc = state_->result;
  // Refused before a byte was written, or, by a libcurl that went on as
  // far as the body, stopped there: either way the server was reached.
  if (rc == CURLE_UPLOAD_FAILED || rc == CURLE_ABORTED_BY_CALLBACK) {
    open_ = true;
    return;
  }
  std::string error = state_->error;
  TlsCheck tls = state_->tls;
  close();
  fail(rc, error.c_str(), endpoint_, tls, getConnectTimeout(), false, 0);
}

void HttpTransport::abandonOpen() {
  auto taken = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - state_->started);
  close();
  throw ConnectionTimeoutException("No response from " + endpoint_.describe() + " within " +
                                   std::to_string(taken.count()) + " ms");
}

void HttpTransport::waitForOpens(const std::vector<HttpTransport*>& opening, long mostMs) {
  std::vector<pollfd> fds;
  long wait = mostMs;
  for (HttpTransport* t : opening) {
    if (!t->state_->opening) {
      wait = 0;
      continue;
    }
    fd_set readable, writable, failing;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failing);
    int maxFd = -1;
    curl_multi_fdset(t->multi_, &readable, &writable, &failing, &maxFd);
    for (int fd = 0; fd <= maxFd; ++fd) {
      short events = static_cast<short>((FD_ISSET(fd, &readable) ? POLLIN : 0) |
                                        (FD_ISSET(fd, &writable) ? POLLOUT : 0) |
                                        (FD_ISSET(fd, &failing) ? POLLPRI : 0));
      if (events != 0) fds.push_back(pollfd{fd, events, 0});
    }
    long timer = -1;
    curl_multi_timeout(t->multi_, &timer);
    // Nothing to wait on (a host name being resolved): look again soon.
    if (maxFd < 0 && (timer < 0 || timer > 100)) timer = 100;
    if (timer >= 0 && timer < wait) wait = timer;
  }
  ::poll(fds.data(), fds.size(), static_cast<int>(std::max(wait, 0L)));
}

HttpResponse HttpTransport::post(const std::vector<std::string>& headers,
                                 std::string_view body, Repeat repeat) {
  if (!open_) throw NotConnectedException("The CIM client is not connected");
  HttpResponse response;
  Transfer transfer{&response, maxResponseSize_};
  char errorBuffer[CURL_ERROR_SIZE] = "";

  // Options are set afresh for each request (the time-out may have changed);
  // the transport's cache keeps the connection across requests.
  applyEndpoint(curl_);
  const Endpoint& ep = endpoint_;
  if (ep.scheme != Endpoint::LOCAL && !ep.user.empty()) {
    curl_easy_setopt(curl_, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(curl_, CURLOPT_USERNAME, ep.user.c_str());
    curl_easy_setopt(curl_, CURLOPT_PASSWORD, ep.password.c_str());
  }
  curl_slist* list = nullptr;
  for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
  curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(curl_, CURLOPT_UPLOAD, 0L);
  curl_easy_setopt(curl_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
  curl_easy_setopt(curl_, CURLOPT_POST, 1L);
  OneShotBody once{body};
  if (repeat == Repeat::ONCE) {
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(curl_, CURLOPT_READFUNCTION, readOnce);
    curl_easy_setopt(curl_, CURLOPT_READDATA, &once);
    curl_easy_setopt(curl_, CURLOPT_SEEKFUNCTION, refuseRewind);
  } else {
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl_, CURLOPT_READFUNCTION, nullptr);
    curl_easy_setopt(curl_, CURLOPT_SEEKFUNCTION, nullptr);
  }
  curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(curl_, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxResponseSize_));

  auto rc = static_cast<CURLcode>(perform());
  curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, nullptr);
  curl_slist_free_all(list);
  if (rc == CURLE_FILESIZE_EXCEEDED) transfer.tooLarge = true;
  if (transfer.headersTooLarge)
    throw TransportException("Response headers from " + endpoint_.describe() +
                             " are larger than " + std::to_string(MAX_HEADER_SIZE) + " bytes");
  if (rc != CURLE_OK) {
    // libcurl wanted to send a change again after the connection closed
    // without an answer: the server may have carried it out.
    if (rc == CURLE_SEND_FAIL_REWIND || (repeat == Repeat::ONCE && rc == CURLE_READ_ERROR))
      throw TransportException("Connection to " + endpoint_.describe() +
                               " closed without an answer; the request is not sent again");
    // A time-out well before the request's own bound can only be the bound
    // on setting up a new connection (after the server closed the last one).
    std::uint32_t bound = timeoutMs_;
    curl_off_t elapsedUs = 0;
    if (rc == CURLE_OPERATION_TIMEDOUT &&
        curl_easy_getinfo(curl_, CURLINFO_TOTAL_TIME_T, &elapsedUs) == CURLE_OK &&
        elapsedUs / 1000 < (static_cast<curl_off_t>(timeoutMs_) + getConnectTimeout()) / 2)
      bound = getConnectTimeout();
    fail(rc, errorBuffer, endpoint_, state_->tls, bound, transfer.tooLarge, maxResponseSize_);
  }
  curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &response.status);
  return response;
}

}  // namespace cim
