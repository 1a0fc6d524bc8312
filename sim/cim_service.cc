#include "sim/cim_service.h"

#include <cctype>
#include <initializer_list>

#include "cim/exception.h"

namespace sim {

std::string HttpRequestIn::header(const std::string& name, bool* present) const {
  for (const auto& h : headers) {
    if (cim::equalsIgnoreCase(h.first, name)) {
      if (present) *present = true;
      return h.second;
    }
  }
  if (present) *present = false;
  return "";
}

std::string HttpReply::header(const std::string& name) const {
  for (const auto& h : headers)
    if (cim::equalsIgnoreCase(h.first, name)) return h.second;
  return "";
}

bool percentDecode(const std::string& in, std::string* out) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      *out += in[i];
      continue;
    }
    if (i + 2 >= in.size() || !std::isxdigit(static_cast<unsigned char>(in[i + 1])) ||
        !std::isxdigit(static_cast<unsigned char>(in[i + 2])))
      return false;
    *out += static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16));
    i += 2;
  }
  return true;
}

std::string percentEncode(const std::string& in) {
  static const std::string unsafe = " \"#$%&+,/:;<=>?@[\\]^`{|}";
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : in) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x7F || unsafe.find(ch) != std::string::npos) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

namespace {

const char* const XML_TYPE = "application/xml; charset=utf-8";

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool base64Decode(const std::string& in, std::string* out) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out->clear();
  unsigned long bits = 0;
  int count = 0;
  size_t i = 0;
  for (; i < in.size() && in[i] != '='; ++i) {
    size_t v = alphabet.find(in[i]);
    if (v == std::string::npos) return false;
    bits = (bits << 6) | v;
    count += 6;
    if (count >= 8) {
      count -= 8;
      *out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  for (; i < in.size(); ++i)
    if (in[i] != '=') return false;
  return true;
}

// application/xml or text/xml, with no charset or utf-8 (quoted or not).
bool goodContentType(const std::string& value) {
  size_t semi = value.find(';');
  std::string type = lower(trim(value.substr(0, semi)));
  if (type != "application/xml" && type != "text/xml") return false;
  while (semi != std::string::npos) {
    size_t next = value.find(';', semi + 1);
    std::string param = trim(value.substr(semi + 1, next - semi - 1));
    semi = next;
    size_t eq = param.find('=');
    if (eq == std::string::npos || lower(trim(param.substr(0, eq))) != "charset")
      continue;
    std::string charset = lower(trim(param.substr(eq + 1)));
    if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"')
      charset = charset.substr(1, charset.size() - 2);
    if (charset != "utf-8") return false;
  }
  return true;
}

void fail(ResponseWriter* out, LogLine* line, const CimError& e) {
  out->setError(e.code, e.description);
  line->status = "cim:" + std::to_string(e.code);
}

// The checks of one operation's parameters: known names only, and the
// kinds of content each takes. The first fault is kept.
class Params {
 public:
  Params(const CimRequest& req, std::initializer_list<const char*> allowed)
      : req_(req) {
    for (const RequestParam& p : req.params) {
      bool known = false;
      for (const char* a : allowed) known = known || cim::equalsIgnoreCase(p.name, a);
      if (!known) note("unknown parameter " + p.name);
    }
  }

  const CimError& error() const { return error_; }
  bool ok() const { return error_.ok(); }

  cim::Name className(const char* name, bool required) {
    const RequestParam* p = present(name, required);
    if (!p) return cim::Name();
    if (p->kind != RequestParam::Kind::CLASS_NAME) wrong(name);
    return p->className;
  }

  cim::ObjectPath instanceName(const char* name) {
    const RequestParam* p = present(name, true);
    if (!p) return cim::ObjectPath();
    if (p->kind != RequestParam::Kind::INSTANCE) wrong(name);
    return p->path;
  }

  std::string text(const char* name, bool required) {
    const RequestParam* p = present(name, required);
    if (!p) return "";
    if (p->kind != RequestParam::Kind::VALUE || p->value.isArray()) {
      wrong(name);
      return "";
    }
    return p->value.getText();
  }

  bool flag(const char* name, bool fallback) {
    const RequestParam* p = present(name, false);
    if (!p) return fallback;
    std::string v = p->kind == RequestParam::Kind::VALUE && !p->value.isArray()
                        ? p->value.getText()
                        : "";
    if (cim::equalsIgnoreCase(v, "TRUE")) return true;
    if (cim::equalsIgnoreCase(v, "FALSE")) return false;
    wrong(name);
    return fallback;
  }

  // Null (absent) means all properties.
  cim::PropertyList propertyList() {
    const RequestParam* p = present("PropertyList", false);
    if (!p) return cim::PropertyList();
    if (p->kind != RequestParam::Kind::VALUE || !p->value.isArray()) {
      wrong("PropertyList");
      return cim::PropertyList();
    }
    std::vector<cim::Name> names;
    for (const std::string& item : p->value.getItems()) {
      if (!cim::isLegalName(item)) {
        wrong("PropertyList");
        return cim::PropertyList();
      }
      names.push_back(cim::Name(item));
    }
    return cim::PropertyList(names);
  }

  // A null value when absent or empty.
  cim::Value value(const char* name) {
    const RequestParam* p = present(name, false);
    if (!p) return cim::Value::null(cim::Type::STRING);
    if (p->kind != RequestParam::Kind::VALUE) wrong(name);
    return p->value;
  }

 private:
  const RequestParam* present(const char* name, bool required) {
    const RequestParam* p = req_.param(name);
    if (p && p->kind != RequestParam::Kind::NONE) return p;
    if (required) note(std::string("missing parameter ") + name);
    return nullptr;
  }
  void wrong(const char* name) {
    note(std::string("unexpected content in parameter ") + name);
  }
  void note(const std::string& text) {
    if (error_.ok()) error_ = CimError::make(cim::CIM_ERR_INVALID_PARAMETER, text);
  }

  const CimRequest& req_;
  CimError error_;
};

}  // namespace

CimService::CimService(Scenario scenario, const std::string& user,
                       const std::string& password, RequestLog* log)
    : scenario_(std::move(scenario)),
      user_(user),
      password_(password),
      log_(log) {}

HttpReply CimService::handle(const HttpRequestIn& in) {
  LogLine line;
  std::string method;
  if (percentDecode(in.header("CIMMethod"), &method) && !method.empty())
    line.operation = method;
  std::lock_guard<std::mutex> lock(mutex_);
  HttpReply reply = process(in, &line);
  line.details.insert(line.details.begin(), {"via", in.via});
  if (log_) log_->write(line);
  return reply;
}

HttpReply CimService::httpError(int status, const std::string& cimError,
                                const std::string& detail, LogLine* line) {
  HttpReply r;
  r.status = status;
  if (!cimError.empty()) r.headers.push_back({"CIMError", cimError});
  if (!detail.empty()) r.headers.push_back({"PGErrorDetail", percentEncode(detail)});
  line->status = "http:" + std::to_string(status);
  if (!cimError.empty()) line->add("cimerror", cimError);
  return r;
}

bool CimService::authorized(const HttpRequestIn& in) const {
  if (user_.empty() || in.via == "local") return true;
  std::string auth = trim(in.header("Authorization"));
  if (auth.size() < 6 || !cim::equalsIgnoreCase(auth.substr(0, 6), "Basic ")) return false;
  std::string pair;
  if (!base64Decode(trim(auth.substr(6)), &pair)) return false;
  return pair == user_ + ":" + password_;
}

HttpReply CimService::process(const HttpRequestIn& in, LogLine* line) {
  if (in.method != "POST") return httpError(501, "", "", line);
  if (!authorized(in)) {
    HttpReply r = httpError(401, "", "", line);
    r.headers.push_back(
        {"WWW-Authenticate", "Basic realm=\"" + scenario_.model.host + "\""});
    return r;
  }
  bool present = false;
  in.header("CIMBatch", &present);
  if (present)
    return httpError(501, "multiple-requests-unsupported", "", line);
  std::string operation = in.header("CIMOperation", &present);
  if (!present) return httpError(400, "", "no CIMOperation header", line);
  if (!cim::equalsIgnoreCase(trim(operation), "MethodCall"))
    return httpError(400, "unsupported-operation", "", line);
  if (!goodContentType(in.header("Content-Type")))
    return httpError(400, "", "bad Content-Type", line);

  std::string method, object;
  if (!percentDecode(in.header("CIMMethod"), &method) || method.empty())
    return httpError(400, "header-mismatch", "bad or missing CIMMethod", line);
  if (!percentDecode(in.header("CIMObject"), &object) || object.empty())
    return httpError(400, "header-mismatch", "bad or missing CIMObject", line);

  CimRequest req;
  std::string detail;
  switch (parseRequest(in.body, &req, &detail)) {
    case ParseStatus::OK:
      break;
    case ParseStatus::NOT_WELL_FORMED:
      return httpError(400, "request-not-well-formed", detail, line);
    case ParseStatus::NOT_VALID:
      return httpError(400, "request-not-valid", detail, line);
    case ParseStatus::UNSUPPORTED_CIM_VERSION:
      return httpError(501, "unsupported-cim-version", detail, line);
    case ParseStatus::UNSUPPORTED_DTD_VERSION:
      return httpError(501, "unsupported-dtd-version", detail, line);
    case ParseStatus::UNSUPPORTED_PROTOCOL_VERSION:
      return httpError(501, "unsupported-protocol-version", detail, line);
    case ParseStatus::MULTIPLE_REQUESTS:
      return httpError(501, "multiple-requests-unsupported", detail, line);
  }
  line->operation = req.name;
  std::string version = in.header("CIMProtocolVersion", &present);
  if (present && trim(version) != req.protocolVersion)
    return httpError(400, "header-mismatch",
                     "CIMProtocolVersion differs from PROTOCOLVERSION", line);
  if (!cim::equalsIgnoreCase(method, req.name))
    return httpError(400, "header-mismatch",
                     "CIMMethod value \"" + method +
                         "\" does not match the request \"" + req.name + "\"",
                     line);
  if (req.intrinsic) {
    if (!cim::equalsIgnoreCase(object, req.nameSpace.str()))
      return httpError(400, "header-mismatch",
                       "CIMObject value \"" + object +
                           "\" does not match CIM request object \"" +
                           req.nameSpace.str() + "\".",
                       line);
  } else {
    bool same = false;
    try {
      cim::ObjectPath headerPath = cim::ObjectPath::parse(object);
      same = headerPath.getNameSpace() == req.nameSpace &&
             samePath(headerPath, req.target);
    } catch (const cim::Exception&) {
      same = false;
    }
    if (!same)
      return httpError(400, "header-mismatch",
                       "CIMObject value \"" + object +
                           "\" does not match CIM request object \"" +
                           req.target.toString() + "\".",
                       line);
  }

  RequestFacts facts = factsOf(req, line);
  Fault* fault = pickFault(&scenario_.faults, facts);
  HttpReply reply;
  reply.headers = {{"Content-Type", XML_TYPE}, {"CIMOperation", "MethodResponse"}};
  ResponseWriter writer(req.messageId, req.name, req.intrinsic);
  if (!fault) {
    execute(req, &writer, line);
    reply.body = writer.body();
    return reply;
  }

  line->add("fault", faultActionName(fault->action));
  reply.delayMs = fault->delayMs;
  bool runs = fault->execute || fault->action == FaultAction::DELAY ||
              fault->action == FaultAction::CHUNKED;
  if (runs) execute(req, &writer, line);
  switch (fault->action) {
    case FaultAction::DELAY:
      reply.body = writer.body();
      break;
    case FaultAction::DROP:
      reply.delivery = HttpReply::Delivery::DROP;
      line->status = "dropped";
      break;
    case FaultAction::HTTP_500:
      reply.status = 500;
      reply.headers.clear();
      line->status = "http:500";
      break;
    case FaultAction::CIM_ERROR: {
      ResponseWriter error(req.messageId, req.name, req.intrinsic);
      error.setError(fault->code, fault->description);
      reply.body = error.body();
      line->status = "cim:" + std::to_string(fault->code);
      break;
    }
    case FaultAction::CHUNKED_ERROR:
      reply.delivery = HttpReply::Delivery::CHUNKED;
      reply.body = ResponseWriter(req.messageId, req.name, req.intrinsic)
                       .brokenOffBody();
      reply.trailerCode = fault->code;
      reply.trailerDescription = fault->description;
      line->status = "trailer:" + std::to_string(fault->code);
      break;
    case FaultAction::CHUNKED:
      reply.delivery = HttpReply::Delivery::CHUNKED;
      reply.body = writer.body();
      break;
    case FaultAction::GARBLED: {
      // What a corrupted answer looks like: the first half of the real one
      // (or of its opening when not carried out), then bytes no XML allows.
      std::string whole = runs ? writer.body()
                               : ResponseWriter(req.messageId, req.name, req.intrinsic)
                                     .brokenOffBody();
      reply.body = whole.substr(0, whole.size() / 2) + "\x01\xff<<garbled";
      line->status = "garbled";
      break;
    }
  }
  return reply;
}

RequestFacts CimService::factsOf(const CimRequest& req, LogLine* line) const {
  RequestFacts facts;
  facts.operation = req.name;
  const Model& model = scenario_.model;
  const DrGroup* group = nullptr;
  if (req.intrinsic) {
    for (const RequestParam& p : req.params) {
      if (p.kind == RequestParam::Kind::CLASS_NAME &&
          cim::equalsIgnoreCase(p.name, "ClassName")) {
        facts.className = p.className.str();
        line->target = p.className.str();
      } else if (p.kind == RequestParam::Kind::INSTANCE &&
                 (cim::equalsIgnoreCase(p.name, "InstanceName") ||
                  cim::equalsIgnoreCase(p.name, "ObjectName"))) {
        facts.className = p.path.getClassName().str();
        line->target = p.path.toLocalString();
        group = model.drGroupOf(p.path);
      }
    }
  } else {
    facts.className = req.target.getClassName().str();
    line->target = req.target.toLocalString();
    const RequestParam* sets = req.param("ConsistencySet");
    if (sets && sets->value.isArray() && !sets->value.getItems().empty()) {
      try {
        group = model.drGroupOf(cim::ObjectPath::parse(sets->value.getItems().front()));
      } catch (const cim::Exception&) {
        group = nullptr;  // the operation reports it
      }
    }
  }
  if (group) {
    facts.drGroupName = group->name;
    facts.drGroupElement = group->elementName;
  }
  return facts;
}

void CimService::execute(const CimRequest& req, ResponseWriter* out,
                         LogLine* line) {
  if (req.nameSpace != cim::NamespaceName(scenario_.model.nameSpace)) {
    fail(out, line, CimError::make(cim::CIM_ERR_INVALID_NAMESPACE,
                                   "namespace " + req.nameSpace.str() + " not found"));
    return;
  }
  if (req.intrinsic)
    intrinsic(req, out, line);
  else
    extrinsic(req, out, line);
}

void CimService::intrinsic(const CimRequest& req, ResponseWriter* out,
                           LogLine* line) {
  Model& model = scenario_.model;
  const Schema& schema = Schema::instance();
  const std::string& op = req.name;
  auto is = [&](const char* name) { return cim::equalsIgnoreCase(op, name); };

  if (is("EnumerateInstanceNames") || is("EnumerateInstances")) {
    bool names = is("EnumerateInstanceNames");
    Params params = names ? Params(req, {"ClassName"})
                          : Params(req, {"ClassName", "DeepInheritance",
                                         "LocalOnly", "IncludeQualifiers",
                                         "IncludeClassOrigin", "PropertyList"});
    cim::Name className = params.className("ClassName", true);
    cim::PropertyList list = params.propertyList();
    // Instances are served whole whatever these say.
    params.flag("DeepInheritance", true);
    params.flag("LocalOnly", true);
    params.flag("IncludeQualifiers", false);
    params.flag("IncludeClassOrigin", false);
    if (!params.ok()) return fail(out, line, params.error());
    if (!schema.knows(className.str()))
      return fail(out, line, CimError::make(cim::CIM_ERR_INVALID_CLASS,
                                            "class " + className.str() +
                                                " does not exist"));
    out->openReturnValue();
    for (const cim::Instance& inst : model.instances(className)) {
      if (names)
        out->addInstanceName(inst.getPath());
      else
        out->addNamedInstance(inst, list);
    }
    return;
  }

  if (is("GetInstance")) {
    Params params(req, {"InstanceName", "LocalOnly", "IncludeQualifiers",
                        "IncludeClassOrigin", "PropertyList"});
    cim::ObjectPath path = params.instanceName("InstanceName");
    cim::PropertyList list = params.propertyList();
    params.flag("LocalOnly", true);
    params.flag("IncludeQualifiers", false);
    params.flag("IncludeClassOrigin", false);
    if (!params.ok()) return fail(out, line, params.error());
    cim::Instance inst;
    CimError e = model.getInstance(path, &inst);
    if (!e.ok()) return fail(out, line, e);
    out->addInstance(inst, list);
    return;
  }

  if (is("GetProperty")) {
    Params params(req, {"InstanceName", "PropertyName"});
    cim::ObjectPath path = params.instanceName("InstanceName");
    std::string name = params.text("PropertyName", true);
    if (!params.ok()) return fail(out, line, params.error());
    line->add("property", name);
    cim::Instance inst;
    CimError e = model.getInstance(path, &inst);
    if (!e.ok()) return fail(out, line, e);
    for (const cim::Property& p : inst.getProperties()) {
      if (cim::equalsIgnoreCase(p.getName().str(), name)) {
        out->addValue(p.getValue());
        return;
      }
    }
    return fail(out, line, CimError::make(cim::CIM_ERR_NO_SUCH_PROPERTY,
                                          "no property " + name));
  }

  if (is("AssociatorNames") || is("Associators")) {
    bool names = is("AssociatorNames");
    Params params =
        names ? Params(req, {"ObjectName", "AssocClass", "ResultClass", "Role",
                             "ResultRole"})
              : Params(req, {"ObjectName", "AssocClass", "ResultClass", "Role",
                             "ResultRole", "IncludeQualifiers",
                             "IncludeClassOrigin", "PropertyList"});
    cim::ObjectPath path = params.instanceName("ObjectName");
    cim::Name assoc = params.className("AssocClass", false);
    cim::Name result = params.className("ResultClass", false);
    std::string role = params.text("Role", false);
    std::string resultRole = params.text("ResultRole", false);
    cim::PropertyList list = params.propertyList();
    params.flag("IncludeQualifiers", false);
    params.flag("IncludeClassOrigin", false);
    if (!params.ok()) return fail(out, line, params.error());
    line->add("assocClass", assoc.str());
    line->add("resultClass", result.str());
    if (path.getKeyBindings().empty())
      return fail(out, line, CimError::make(cim::CIM_ERR_NOT_SUPPORTED,
                                            "associators of a class"));
    std::vector<cim::ObjectPath> found;
    CimError e = model.associatorNames(path, assoc, result, role, resultRole, &found);
    if (!e.ok()) return fail(out, line, e);
    out->openReturnValue();
    for (const cim::ObjectPath& p : found) {
      if (names) {
        out->addObjectPath(p);
        continue;
      }
      for (cim::Instance inst : model.instancesAt(p)) {
        inst.setPath(p);
        out->addObjectWithPath(inst, list);
      }
    }
    return;
  }

  if (is("SetProperty")) {
    Params params(req, {"InstanceName", "PropertyName", "NewValue"});
    cim::ObjectPath path = params.instanceName("InstanceName");
    std::string name = params.text("PropertyName", true);
    cim::Value value = params.value("NewValue");
    if (!params.ok()) return fail(out, line, params.error());
    line->add("property", name);
    line->add("value", value.toString());
    CimError e = model.setProperty(path, name, value);
    if (!e.ok()) return fail(out, line, e);
    return;  // an empty IMETHODRESPONSE
  }

  if (is("GetClass")) {
    Params params(req, {"ClassName", "LocalOnly", "IncludeQualifiers",
                        "IncludeClassOrigin", "PropertyList"});
    cim::Name className = params.className("ClassName", true);
    cim::PropertyList list = params.propertyList();
    params.flag("LocalOnly", true);
    bool qualifiers = params.flag("IncludeQualifiers", true);
    bool origin = params.flag("IncludeClassOrigin", false);
    if (!params.ok()) return fail(out, line, params.error());
    if (!schema.knows(className.str()))
      return fail(out, line, CimError::make(cim::CIM_ERR_NOT_FOUND,
                                            "class " + className.str() +
                                                " does not exist"));
    ClassDef def;
    if (const ClassDef* known = schema.find(className.str())) {
      def = *known;
    } else {
      // An ancestor known only by name: its name and nothing else.
      def.name = schema.canonical(className.str());
    }
    out->addClass(def, qualifiers, origin, list);
    return;
  }

  fail(out, line, CimError::make(cim::CIM_ERR_NOT_SUPPORTED,
                                 "operation " + op + " is not supported"));
}

void CimService::extrinsic(const CimRequest& req, ResponseWriter* out,
                           LogLine* line) {
  const Schema& schema = Schema::instance();
  const std::string& className = req.target.getClassName().str();
  if (!schema.knows(className))
    return fail(out, line, CimError::make(cim::CIM_ERR_INVALID_CLASS,
                                          "class " + className + " does not exist"));
  const ClassDef* def = schema.find(className);
  const MethodDef* method = def ? def->method(req.name) : nullptr;
  if (!method)
    return fail(out, line, CimError::make(cim::CIM_ERR_METHOD_NOT_FOUND,
                                          "no method " + req.name + " in " +
                                              className));
  if (req.target.getKeyBindings().empty())
    return fail(out, line, CimError::make(cim::CIM_ERR_INVALID_PARAMETER,
                                          req.name + " needs an instance"));
  // Every parameter must be an input of the method, of its declared type
  // when the caller typed it, and an array exactly when declared one.
  for (const RequestParam& p : req.params) {
    const ParameterDef* declared = nullptr;
    for (const ParameterDef& d : method->parameters)
      if (d.in && cim::equalsIgnoreCase(d.name, p.name)) declared = &d;
    if (!declared)
      return fail(out, line, CimError::make(cim::CIM_ERR_INVALID_PARAMETER,
                                            "unknown parameter " + p.name));
    if (p.kind == RequestParam::Kind::NONE) continue;
    const cim::Value& v = p.value;
    if (p.kind != RequestParam::Kind::VALUE ||
        (v.isTyped() && declared->type != cim::typeName(v.getType())) ||
        v.isArray() != declared->isArray)
      return fail(out, line, CimError::make(cim::CIM_ERR_TYPE_MISMATCH,
                                            "parameter " + p.name + " must be " +
                                                declared->type +
                                                (declared->isArray ? "[]" : "")));
  }
  const RequestParam* key = req.param("QNKey");
  const RequestParam* sets = req.param("ConsistencySet");
  if (!key || key->kind == RequestParam::Kind::NONE || !sets ||
      sets->kind == RequestParam::Kind::NONE)
    return fail(out, line, CimError::make(cim::CIM_ERR_INVALID_PARAMETER,
                                          "QNKey and ConsistencySet are required"));
  FailoverOutcome outcome;
  CimError e = scenario_.model.fastFailover(req.target, key->value.getText(),
                                            sets->value.getItems(), &outcome);
  if (!outcome.drGroup.empty()) line->add("drgroup", outcome.drGroup);
  if (!outcome.array.empty()) line->add("array", outcome.array);
  if (!e.ok()) return fail(out, line, e);
  std::string codes;
  for (std::uint32_t c : outcome.errorCodes)
    codes += (codes.empty() ? "" : ",") + std::to_string(c);
  line->add("return", std::to_string(outcome.returnValue));
  line->add("codes", codes);
  out->setReturnValue(cim::Value(outcome.returnValue));
  if (!outcome.errorCodes.empty()) {
    out->addOutParameter(cim::ParamValue(
        "ErrorCodes", outcome.scalarOutput ? cim::Value(outcome.errorCodes.front())
                                           : cim::Value(outcome.errorCodes)));
  }
}

}  // namespace sim
