// The server side of CIM-XML: reading an operation request (IMETHODCALL or
// METHODCALL in a SIMPLEREQ) and writing the matching response bodies. The
// elements themselves are read and written with the CIM library's XML
// functions; what is here is the request envelope, the response assembly
// and the class declarations that only a server writes.
#ifndef SIM_CIM_XML_H
#define SIM_CIM_XML_H

#include <cstdint>
#include <string>
#include <vector>

#include "cim/instance.h"
#include "cim/name.h"
#include "cim/object_path.h"
#include "cim/value.h"
#include "sim/schema.h"

namespace sim {

// One IPARAMVALUE or PARAMVALUE of a request.
struct RequestParam {
  enum class Kind {
    NONE,        // no content: a NULL value
    VALUE,       // VALUE, VALUE.ARRAY or (method parameters) VALUE.REFERENCE
    CLASS_NAME,  // CLASSNAME
    INSTANCE,    // INSTANCENAME, or VALUE.REFERENCE of an intrinsic call
    OTHER,       // anything else (kept only by name)
  };
  std::string name;
  Kind kind = Kind::NONE;
  // Intrinsic values are untyped; method parameters are typed when they
  // carried PARAMTYPE.
  cim::Value value;
  cim::Name className;
  cim::ObjectPath path;
};

struct CimRequest {
  std::string cimVersion;
  std::string dtdVersion;
  std::string messageId;
  std::string protocolVersion;
  bool intrinsic = true;
  std::string name;  // operation or method name
  cim::NamespaceName nameSpace;
  cim::ObjectPath target;  // method calls: the instance or class called
  std::vector<RequestParam> params;

  const RequestParam* param(const std::string& name) const;  // without case
};

enum class ParseStatus {
  OK,
  NOT_WELL_FORMED,               // 400 request-not-well-formed
  NOT_VALID,                     // 400 request-not-valid
  UNSUPPORTED_CIM_VERSION,       // 501
  UNSUPPORTED_DTD_VERSION,       // 501
  UNSUPPORTED_PROTOCOL_VERSION,  // 501
  MULTIPLE_REQUESTS,             // 501 multiple-requests-unsupported
};

// Reads a request body. On failure *detail says what was wrong.
ParseStatus parseRequest(const std::string& body, CimRequest* request,
                         std::string* detail);

// Whether text is well-formed UTF-8.
bool isUtf8(const std::string& text);

// Assembles one response message. Results go into one IRETURNVALUE in call
// order; an ERROR, once set, replaces them.
class ResponseWriter {
 public:
  ResponseWriter(const std::string& messageId, const std::string& name,
                 bool intrinsic);

  // An intrinsic answer has an IRETURNVALUE, even an empty one, once this
  // or an add call was made; SetProperty's answer has none.
  void openReturnValue();
  void addInstanceName(const cim::ObjectPath& path);
  void addNamedInstance(const cim::Instance& inst, const cim::PropertyList& list);
  void addInstance(const cim::Instance& inst, const cim::PropertyList& list);
  void addObjectPath(const cim::ObjectPath& path);  // with host and namespace
  void addObjectWithPath(const cim::Instance& inst, const cim::PropertyList& list);
  void addValue(const cim::Value& value);
  void addClass(const ClassDef& def, bool includeQualifiers,
                bool includeClassOrigin, const cim::PropertyList& list);

  void setReturnValue(const cim::Value& value);
  void addOutParameter(const cim::ParamValue& param);

  void setError(std::uint32_t code, const std::string& description);

  std::string body() const;
  // The body cut off just after the opening of the result, as a server
  // that fails while streaming leaves it.
  std::string brokenOffBody() const;

 private:
  std::string messageId_;
  std::string name_;
  bool intrinsic_;
  bool hasReturnValue_ = false;
  std::string content_;
  cim::Value returnValue_ = cim::Value::null(cim::Type::UINT32);
  std::vector<cim::ParamValue> outParams_;
  bool failed_ = false;
  std::uint32_t errorCode_ = 0;
  std::string errorText_;
};

}  // namespace sim

#endif  // SIM_CIM_XML_H
