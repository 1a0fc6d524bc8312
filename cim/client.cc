#include "cim/client.h"

#include <cstring>

#include "cim/exception.h"
#include "cim/response_parser.h"
#include "cim/xml_writer.h"

namespace cim {

const char* const LOCAL_SOCKET_PATH = "/run/kxcluster/cim.sock";

namespace {

std::string& defaultSocketPath() {
  static std::string path = LOCAL_SOCKET_PATH;
  return path;
}

bool isSafeHeaderByte(unsigned char c) {
  if (c < 0x20 || c >= 0x7F) return false;
  return std::strchr(" \"#$%&+,/:;<=>?@[\\]^`{|}", c) == nullptr;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string lowerTrimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// application/xml or text/xml, in UTF-8 if a charset is named.
bool acceptableContentType(const std::string& value) {
  std::string_view v = value;
  size_t semi = v.find(';');
  std::string media = lowerTrimmed(v.substr(0, semi));
  if (media != "application/xml" && media != "text/xml") return false;
  while (semi != std::string_view::npos) {
    v.remove_prefix(semi + 1);
    semi = v.find(';');
    std::string param = lowerTrimmed(v.substr(0, semi));
    if (param.compare(0, 8, "charset=") != 0) continue;
    std::string charset = param.substr(8);
    if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"')
      charset = charset.substr(1, charset.size() - 2);
    if (charset != "utf-8") return false;
  }
  return true;
}

}  // namespace

std::string encodeHeaderValue(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (isSafeHeaderByte(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string decodeHeaderValue(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
        hexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

Client::Client() = default;
Client::~Client() = default;

void Client::setTimeout(std::uint32_t milliseconds) { transport_.setTimeout(milliseconds); }

std::uint32_t Client::getTimeout() const { return transport_.getTimeout(); }

void Client::setMaxResponseSize(std::size_t bytes) { transport_.setMaxResponseSize(bytes); }

void Client::setDefaultLocalSocketPath(const std::string& path) { defaultSocketPath() = path; }

std::string Client::getDefaultLocalSocketPath() { return defaultSocketPath(); }

void Client::connect(const std::string& host, std::uint32_t port, const std::string& user,
                     const std::string& password) {
  Endpoint ep;
  ep.scheme = Endpoint::HTTP;
  ep.host = host;
  ep.port = port;
  ep.user = user;
  ep.password = password;
  connect(ep);
}

void Client::connect(const std::string& host, std::uint32_t port, const SslContext& ssl,
                     const std::string& user, const std::string& password) {
  Endpoint ep;
  ep.scheme = Endpoint::HTTPS;
  ep.host = host;
  ep.port = port;
  ep.user = user;
  ep.password = password;
  ep.ssl = ssl;
  connect(ep);
}

void Client::connectLocal() { connectLocal(defaultSocketPath()); }

void Client::connectLocal(const std::string& socketPath) {
  Endpoint ep;
  ep.scheme = Endpoint::LOCAL;
  ep.socketPath = socketPath;
  connect(ep);
}

void Client::connect(const Endpoint& endpoint) { transport_.open(endpoint); }

void Client::beginConnect(const Endpoint& endpoint) { transport_.beginOpen(endpoint); }

bool Client::advanceConnect() { return transport_.advanceOpen(); }

void Client::finishConnect() { transport_.finishOpen(); }

void Client::abandonConnect() { transport_.abandonOpen(); }

void Client::waitForConnections(const std::vector<Client*>& connecting, long mostMs) {
  std::vector<HttpTransport*> transports;
  for (Client* client : connecting) transports.push_back(&client->transport_);
  HttpTransport::waitForOpens(transports, mostMs);
}

void Client::disconnect() { transport_.close(); }

std::string Client::nextMessageId() { return std::to_string(++messageCount_); }

std::string Client::call(const std::string& method, const std::string& cimObject,
                         const std::string& body, HttpTransport::Repeat repeat) {
  if (!transport_.isOpen()) throw NotConnectedException("The CIM client is not connected");
  std::vector<std::string> headers = {
      "Content-Type: application/xml; charset=utf-8",
      "CIMProtocolVersion: 1.0",
      "CIMOperation: MethodCall",
      "CIMMethod: " + encodeHeaderValue(method),
      "CIMObject: " + encodeHeaderValue(cimObject),
      "Expect:",
  };
  HttpResponse rsp = transport_.post(headers, body, repeat);

  if (rsp.status != 200) {
    const std::string* cimError = rsp.header("CIMError");
    const std::string* detail = rsp.header("PGErrorDetail");
    std::string message = "HTTP error (" + std::to_string(rsp.status) +
                          (rsp.reason.empty() ? "" : " " + rsp.reason) + ")";
    if (cimError) message += ", CIMError: " + *cimError;
    if (detail) message += ", detail: " + decodeHeaderValue(*detail);
    throw HttpException(message, static_cast<int>(rsp.status), rsp.reason,
                        cimError ? *cimError : "", detail ? decodeHeaderValue(*detail) : "");
  }
  // A failure reported after the body was sent (chunked, with trailers)
  // makes the body worthless.
  if (const std::string* status = rsp.header("CIMStatusCode")) {
    std::uint32_t code = 0;
    if (!parseUint32(*status, &code))
      throw ResponseException("Invalid CIMStatusCode \"" + *status + "\" in the response");
    if (code != 0) {
      const std::string* text = rsp.header("CIMStatusCodeDescription");
      throw CIMException(code, text ? decodeHeaderValue(*text) : "");
    }
  }
  const std::string* operation = rsp.header("CIMOperation");
  if (operation == nullptr || !equalsIgnoreCase(*operation, "MethodResponse"))
    throw ResponseException("The response from " + transport_.getEndpoint().describe() +
                            " is not a CIM response (no CIMOperation: MethodResponse)");
  if (const std::string* type = rsp.header("Content-Type")) {
    if (!acceptableContentType(*type))
      throw ResponseException("Unexpected content type \"" + *type + "\" in the response");
  }
  return std::move(rsp.body);
}

std::vector<ObjectPath> Client::enumerateInstanceNames(const NamespaceName& nameSpace,
                                                       const Name& className) {
  std::string params;
  xml::writeIParamClassName(params, "ClassName", className);
  std::string id = nextMessageId();
  std::string body = call("EnumerateInstanceNames", nameSpace.getString(),
                          xml::intrinsicRequest(id, "EnumerateInstanceNames", nameSpace, params));
  return response::parseEnumerateInstanceNames(std::move(body), id);
}

std::vector<Instance> Client::enumerateInstances(const NamespaceName& nameSpace,
                                                 const Name& className, bool deepInheritance,
                                                 bool localOnly, bool includeQualifiers,
                                                 bool includeClassOrigin,
                                                 const PropertyList& propertyList) {
  std::string params;
  xml::writeIParamClassName(params, "ClassName", className);
  xml::writeIParamBoolean(params, "DeepInheritance", deepInheritance);
  xml::writeIParamBoolean(params, "LocalOnly", localOnly);
  xml::writeIParamBoolean(params, "IncludeQualifiers", includeQualifiers);
  xml::writeIParamBoolean(params, "IncludeClassOrigin", includeClassOrigin);
  xml::writeIParamPropertyList(params, propertyList);
  std::string id = nextMessageId();
  std::string body = call("EnumerateInstances", nameSpace.getString(),
                          xml::intrinsicRequest(id, "EnumerateInstances", nameSpace, params));
  return response::parseEnumerateInstances(std::move(body), id);
}

Instance Client::getInstance(const NamespaceName& nameSpace, const ObjectPath& instanceName,
                             bool localOnly, bool includeQualifiers, bool includeClassOrigin,
                             const PropertyList& propertyList) {
  std::string params;
  xml::writeIParamInstanceName(params, "InstanceName", instanceName);
  xml::writeIParamBoolean(params, "LocalOnly", localOnly);
  xml::writeIParamBoolean(params, "IncludeQualifiers", includeQualifiers);
  xml::writeIParamBoolean(params, "IncludeClassOrigin", includeClassOrigin);
  xml::writeIParamPropertyList(params, propertyList);
  std::string id = nextMessageId();
  std::string body = call("GetInstance", nameSpace.getString(),
                          xml::intrinsicRequest(id, "GetInstance", nameSpace, params));
  Instance instance = response::parseGetInstance(std::move(body), id);
  instance.setPath(instanceName);
  return instance;
}

std::vector<ObjectPath> Client::associatorNames(const NamespaceName& nameSpace,
                                                const ObjectPath& objectName,
                                                const Name& assocClass,
                                                const Name& resultClass,
                                                const std::string& role,
                                                const std::string& resultRole) {
  std::string params;
  xml::writeIParamInstanceName(params, "ObjectName", objectName);
  if (!assocClass.isNull()) xml::writeIParamClassName(params, "AssocClass", assocClass);
  if (!resultClass.isNull()) xml::writeIParamClassName(params, "ResultClass", resultClass);
  if (!role.empty()) xml::writeIParamString(params, "Role", role);
  if (!resultRole.empty()) xml::writeIParamString(params, "ResultRole", resultRole);
  std::string id = nextMessageId();
  std::string body = call("AssociatorNames", nameSpace.getString(),
                          xml::intrinsicRequest(id, "AssociatorNames", nameSpace, params));
  return response::parseAssociatorNames(std::move(body), id);
}

Value Client::invokeMethod(const NamespaceName& nameSpace, const ObjectPath& instanceName,
                           const Name& methodName, const std::vector<ParamValue>& inParameters,
                           std::vector<ParamValue>& outParameters) {
  std::string params;
  for (const auto& p : inParameters) xml::writeParamValue(params, p);
  std::string id = nextMessageId();
  const std::string& method = methodName.getString();
  std::string body =
      call(method, nameSpace.getString() + ":" + instanceName.toLocalString(),
           xml::extrinsicRequest(id, method, nameSpace, instanceName, params),
           HttpTransport::Repeat::ONCE);
  return response::parseInvokeMethod(std::move(body), id, method, &outParameters);
}

void Client::setProperty(const NamespaceName& nameSpace, const ObjectPath& instanceName,
                         const Name& propertyName, const Value& newValue) {
  std::string params;
  xml::writeIParamInstanceName(params, "InstanceName", instanceName);
  xml::writeIParamString(params, "PropertyName", propertyName.getString());
  if (!newValue.isNull()) xml::writeIParamValue(params, "NewValue", newValue);
  std::string id = nextMessageId();
  std::string body = call("SetProperty", nameSpace.getString(),
                          xml::intrinsicRequest(id, "SetProperty", nameSpace, params),
                          HttpTransport::Repeat::ONCE);
  response::parseSetProperty(std::move(body), id);
}

}  // namespace cim
