// The CIM client: CIM operations over HTTP (CIM-XML) to one CIM server.
// Connect it once (HTTP with user and password, HTTPS with an SslContext,
// or the local connection), then send operations; each is one synchronous
// request bounded by the time-out. The client owns its connection and is
// used by one thread.
//
// The local connection reaches the CIM server of this host through the
// Unix-domain socket LOCAL_SOCKET_PATH ("/run/kxcluster/cim.sock"), HTTP over
// the socket, without credentials: the socket's file permissions decide who
// may talk to the server. Tests point it elsewhere with
// setDefaultLocalSocketPath or connectLocal(path).
//
// Every failure is a cim::Exception (cim/exception.h); a request that takes
// longer than the time-out is always a ConnectionTimeoutException.
#ifndef CIM_CLIENT_H
#define CIM_CLIENT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cim/http_transport.h"
#include "cim/instance.h"
#include "cim/name.h"
#include "cim/object_path.h"
#include "cim/ssl_context.h"
#include "cim/value.h"

namespace cim {

extern const char* const LOCAL_SOCKET_PATH;  // "/run/kxcluster/cim.sock"
const std::uint32_t DEFAULT_TIMEOUT_MS = 20000;
// Responses larger than this are refused with a TransportException (the
// largest expected, an enumeration of 10,000 DR groups, is about 11 MiB).
// With the reader's limits on nodes and attributes (cim/xml_reader.h) it
// keeps the memory any answer takes below 256 MiB.
const std::size_t DEFAULT_MAX_RESPONSE_SIZE = 32u << 20;

class Client {
 public:
  Client();
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Bounds the connection and each complete response, in milliseconds; 0
  // makes every request time out (it never means "wait for ever").
  void setTimeout(std::uint32_t milliseconds);
  std::uint32_t getTimeout() const;
  void setMaxResponseSize(std::size_t bytes);

  // Each connect opens the connection at once (so an unreachable server
  // fails here with CannotConnectException or ConnectionTimeoutException)
  // and replaces any earlier connection. Credentials are checked by the
  // server on the first operation (HttpException 401).
  void connect(const std::string& host, std::uint32_t port, const std::string& user,
               const std::string& password);
  void connect(const std::string& host, std::uint32_t port, const SslContext& ssl,
               const std::string& user, const std::string& password);
  void connectLocal();
  void connectLocal(const std::string& socketPath);
  // Any of the above, as an endpoint.
  void connect(const Endpoint& endpoint);
  // connect() in steps, so that one thread can connect several clients at
  // once: beginConnect starts the connection and returns at once;
  // advanceConnect moves it on without waiting and is true once it has
  // ended; finishConnect then returns when the server could be reached and
  // throws what connect() throws otherwise. abandonConnect drops a
  // connection still under way with a ConnectionTimeoutException naming the
  // time it has taken. waitForConnections waits until one of the clients
  // being connected can move on, or at most mostMs.
  void beginConnect(const Endpoint& endpoint);
  bool advanceConnect();
  void finishConnect();
  [[noreturn]] void abandonConnect();
  static void waitForConnections(const std::vector<Client*>& connecting, long mostMs);
  void disconnect();
  bool isConnected() const { return transport_.isOpen(); }
  // Where the client is connected (scheme, host, port, socket).
  const Endpoint& getEndpoint() const { return transport_.getEndpoint(); }

  // The socket connectLocal() uses; LOCAL_SOCKET_PATH unless changed.
  static void setDefaultLocalSocketPath(const std::string& path);
  static std::string getDefaultLocalSocketPath();

  // Paths without host or namespace, in the server's order.
  std::vector<ObjectPath> enumerateInstanceNames(const NamespaceName& nameSpace,
                                                 const Name& className);
  // Instances with their paths (no host or namespace), in the server's order.
  std::vector<Instance> enumerateInstances(const NamespaceName& nameSpace,
                                           const Name& className,
                                           bool deepInheritance = true,
                                           bool localOnly = true,
                                           bool includeQualifiers = false,
                                           bool includeClassOrigin = false,
                                           const PropertyList& propertyList = PropertyList());
  // The instance, with instanceName as its path.
  Instance getInstance(const NamespaceName& nameSpace, const ObjectPath& instanceName,
                       bool localOnly = true, bool includeQualifiers = false,
                       bool includeClassOrigin = false,
                       const PropertyList& propertyList = PropertyList());
  // Paths of the associated objects, with host and namespace. Null names
  // and empty roles mean no filter.
  std::vector<ObjectPath> associatorNames(const NamespaceName& nameSpace,
                                          const ObjectPath& objectName,
                                          const Name& assocClass = Name(),
                                          const Name& resultClass = Name(),
                                          const std::string& role = std::string(),
                                          const std::string& resultRole = std::string());
  // Calls an extrinsic method; returns its return value and fills
  // outParameters.
  Value invokeMethod(const NamespaceName& nameSpace, const ObjectPath& instanceName,
                     const Name& methodName, const std::vector<ParamValue>& inParameters,
                     std::vector<ParamValue>& outParameters);
  // A null newValue sets the property to NULL.
  void setProperty(const NamespaceName& nameSpace, const ObjectPath& instanceName,
                   const Name& propertyName, const Value& newValue = Value());

 private:
  // Sends one request and returns the body of a successful response, after
  // the HTTP-level checks (status, trailers, CIMOperation, Content-Type).
  // Reads may be sent again by the transport; changes (methods, property
  // changes) go out at most once.
  std::string call(const std::string& method, const std::string& cimObject,
                   const std::string& body,
                   HttpTransport::Repeat repeat = HttpTransport::Repeat::ALLOWED);
  std::string nextMessageId();

  HttpTransport transport_;
  std::uint64_t messageCount_ = 1000;
};

// CIMMethod/CIMObject header encoding: bytes outside the safe set as %HH.
std::string encodeHeaderValue(const std::string& text);
// Reverses %HH escapes; bad escapes are kept as they stand.
std::string decodeHeaderValue(const std::string& text);

}  // namespace cim

#endif  // CIM_CLIENT_H
