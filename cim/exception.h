// The exceptions of the CIM client. Every failure of a CIM operation reaches
// the caller as a cim::Exception; callers that care about the kind catch a
// derived class first (a time-out before anything else, since the caller
// then marks its connection for renewal). The SMI-S access layer derives its
// own exception family from cim::Exception, so one handler catches both.
//
// The client's own exceptions (every class below the base) quote what a
// server sent: reason phrases, headers, descriptions, names and values. So
// that such text can be logged and printed as it stands, their messages and
// fields hold no control character: each is written as escapeControl does.
#ifndef CIM_EXCEPTION_H
#define CIM_EXCEPTION_H

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace cim {

// The text with each control character (below 0x20 except tab, and 0x7f)
// written as "\x" and two lower-case hex digits, so that a line feed from a
// server cannot start a log line of its own, nor an escape sequence reach a
// terminal; all other bytes are kept.
std::string escapeControl(std::string_view text);

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  ~Exception() override = default;
  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;

  const std::string& getMessage() const { return message_; }
  const std::string& message() const { return message_; }  // same text
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// No complete response arrived within the client's time-out, or no
// connection could be set up within min(time-out, 10 s). The connection has
// been dropped; a late reply is never read.
class ConnectionTimeoutException : public Exception {
 public:
  explicit ConnectionTimeoutException(std::string_view message)
      : Exception(escapeControl(message)) {}
};

// The connection failed below HTTP: reset or closed mid-response, nothing
// received, a send or receive error, or a response larger than the client
// accepts.
class TransportException : public Exception {
 public:
  explicit TransportException(std::string_view message)
      : Exception(escapeControl(message)) {}
};

// The server could not be reached at all: unknown host, connection refused,
// no listener on the local socket, or a failed TLS handshake.
class CannotConnectException : public TransportException {
 public:
  using TransportException::TransportException;
};

// The server's TLS certificate does not carry the public key of the
// certificate pinned for it (SslContext::setPinnedCertificate): nothing was
// sent to it.
class UntrustedServerException : public CannotConnectException {
 public:
  using CannotConnectException::CannotConnectException;
};

// The server answered with an HTTP status other than 200 (401 for refused
// credentials, 400 with a CIMError header for a rejected request, ...).
class HttpException : public Exception {
 public:
  HttpException(std::string_view message, int code, std::string_view reason,
                std::string_view cimError, std::string_view cimErrorDetail)
      : Exception(escapeControl(message)),
        code_(code),
        reason_(escapeControl(reason)),
        cimError_(escapeControl(cimError)),
        cimErrorDetail_(escapeControl(cimErrorDetail)) {}

  int getCode() const { return code_; }
  const std::string& getReason() const { return reason_; }
  const std::string& getCIMError() const { return cimError_; }  // header
  const std::string& getCIMErrorDetail() const { return cimErrorDetail_; }

 private:
  int code_;
  std::string reason_;
  std::string cimError_;
  std::string cimErrorDetail_;
};

// The server answered 200 but not with a usable CIM-XML response: missing
// CIMOperation header, wrong content type, a MESSAGE ID or operation name
// other than the one sent.
class ResponseException : public Exception {
 public:
  explicit ResponseException(std::string_view message)
      : Exception(escapeControl(message)) {}
};

// A CIM-XML document that is not well-formed XML or not valid CIM-XML.
class XmlException : public Exception {
 public:
  explicit XmlException(std::string_view message)
      : Exception(escapeControl(message)) {}
};

// CIM status codes (ERROR/@CODE and the CIMStatusCode trailer).
enum StatusCode : std::uint32_t {
  CIM_ERR_SUCCESS = 0,
  CIM_ERR_FAILED = 1,
  CIM_ERR_ACCESS_DENIED = 2,
  CIM_ERR_INVALID_NAMESPACE = 3,
  CIM_ERR_INVALID_PARAMETER = 4,
  CIM_ERR_INVALID_CLASS = 5,
  CIM_ERR_NOT_FOUND = 6,
  CIM_ERR_NOT_SUPPORTED = 7,
  CIM_ERR_CLASS_HAS_CHILDREN = 8,
  CIM_ERR_CLASS_HAS_INSTANCES = 9,
  CIM_ERR_INVALID_SUPERCLASS = 10,
  CIM_ERR_ALREADY_EXISTS = 11,
  CIM_ERR_NO_SUCH_PROPERTY = 12,
  CIM_ERR_TYPE_MISMATCH = 13,
  CIM_ERR_QUERY_LANGUAGE_NOT_SUPPORTED = 14,
  CIM_ERR_INVALID_QUERY = 15,
  CIM_ERR_METHOD_NOT_AVAILABLE = 16,
  CIM_ERR_METHOD_NOT_FOUND = 17,
};

// "CIM_ERR_NOT_FOUND" for 6; "CIM_ERR_<code>" for codes without a name.
std::string statusCodeName(std::uint32_t code);

// The server reported a CIM error: an ERROR element in the response, or a
// non-zero CIMStatusCode trailer after a chunked response. The message is
// the description, prefixed with the code's name unless it already starts
// with it.
class CIMException : public Exception {
 public:
  CIMException(std::uint32_t code, std::string_view description);

  std::uint32_t getCode() const { return code_; }
  const std::string& getDescription() const { return description_; }

 private:
  std::uint32_t code_;
  std::string description_;
};

// A class, property, key or namespace name that is not a legal CIM name.
class InvalidNameException : public Exception {
 public:
  explicit InvalidNameException(std::string_view message)
      : Exception(escapeControl(message)) {}
};

// Object path text that cannot be read.
class InvalidObjectPathException : public Exception {
 public:
  explicit InvalidObjectPathException(std::string_view message)
      : Exception(escapeControl(message)) {}
};

// A value read as a type it does not have (a uint32 read as a string, a
// scalar read as an array).
class TypeMismatchException : public Exception {
 public:
  explicit TypeMismatchException(std::string_view message)
      : Exception(escapeControl(message)) {}
};

// An instance asked for a property it does not have.
class NoSuchPropertyException : public Exception {
 public:
  explicit NoSuchPropertyException(std::string_view message)
      : Exception(escapeControl(message)) {}
};

// An operation on a client that is not connected.
class NotConnectedException : public Exception {
 public:
  explicit NotConnectedException(std::string_view message)
      : Exception(escapeControl(message)) {}
};

}  // namespace cim

#endif  // CIM_EXCEPTION_H
