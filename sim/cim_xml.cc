#include "sim/cim_xml.h"

#include <cctype>
#include <cstring>

#include <pugixml.hpp>

#include "cim/exception.h"
#include "cim/xml_reader.h"
#include "cim/xml_writer.h"

namespace sim {

const RequestParam* CimRequest::param(const std::string& n) const {
  for (const RequestParam& p : params)
    if (cim::equalsIgnoreCase(p.name, n)) return &p;
  return nullptr;
}

bool isUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t extra;
    unsigned long cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;  // cut short
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const unsigned long minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += extra + 1;
  }
  return true;
}

namespace {

using pugi::xml_node;

// Raised inside the reader for a request that is not valid CIM-XML.
struct NotValid {
  std::string what;
};

xml_node need(xml_node parent, const char* name) {
  xml_node n = parent.child(name);
  if (!n) throw NotValid{std::string(parent.name()) + " without " + name};
  return n;
}

std::string needAttr(xml_node n, const char* name) {
  pugi::xml_attribute a = n.attribute(name);
  if (!a) throw NotValid{std::string(n.name()) + " without " + name};
  return a.value();
}

// Versions are "<major>.<digits>".
bool versionIs(const std::string& v, char major) {
  if (v.size() < 3 || v[0] != major || v[1] != '.') return false;
  for (size_t i = 2; i < v.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(v[i]))) return false;
  return true;
}

xml_node firstElement(xml_node n) {
  for (xml_node c = n.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) return c;
  return xml_node();
}

RequestParam readIParam(xml_node n) {
  RequestParam p;
  p.name = cim::xml::readNameAttribute(n).str();
  xml_node c = firstElement(n);
  if (!c) return p;
  std::string name = c.name();
  if (name == "VALUE" || name == "VALUE.ARRAY") {
    p.kind = RequestParam::Kind::VALUE;
    p.value = cim::xml::readValue(n, cim::Type::STRING, false);
  } else if (name == "CLASSNAME") {
    p.kind = RequestParam::Kind::CLASS_NAME;
    p.className = cim::xml::readClassName(c);
  } else if (name == "INSTANCENAME") {
    p.kind = RequestParam::Kind::INSTANCE;
    p.path = cim::xml::readInstanceName(c);
  } else if (name == "VALUE.REFERENCE") {
    p.kind = RequestParam::Kind::INSTANCE;
    p.path = cim::xml::readValueReference(c);
  } else {
    p.kind = RequestParam::Kind::OTHER;
  }
  return p;
}

RequestParam readParam(xml_node n) {
  RequestParam p;
  cim::ParamValue value = cim::xml::readParamValue(n);
  p.name = value.getParameterName();
  p.value = value.getValue();
  xml_node c = firstElement(n);
  if (!c) return p;
  std::string name = c.name();
  p.kind = name == "VALUE" || name == "VALUE.ARRAY" || name == "VALUE.REFERENCE" ||
                   name == "VALUE.REFARRAY"
               ? RequestParam::Kind::VALUE
               : RequestParam::Kind::OTHER;
  return p;
}

ParseStatus readRequest(xml_node root, CimRequest* req, std::string* detail) {
  if (std::strcmp(root.name(), "CIM") != 0) throw NotValid{"the root is not CIM"};
  req->cimVersion = needAttr(root, "CIMVERSION");
  req->dtdVersion = needAttr(root, "DTDVERSION");
  xml_node message = need(root, "MESSAGE");
  req->messageId = needAttr(message, "ID");
  req->protocolVersion = needAttr(message, "PROTOCOLVERSION");
  if (!versionIs(req->cimVersion, '2')) {
    *detail = "CIMVERSION " + req->cimVersion + " is not supported";
    return ParseStatus::UNSUPPORTED_CIM_VERSION;
  }
  if (!versionIs(req->dtdVersion, '2')) {
    *detail = "DTDVERSION " + req->dtdVersion + " is not supported";
    return ParseStatus::UNSUPPORTED_DTD_VERSION;
  }
  if (!versionIs(req->protocolVersion, '1')) {
    *detail = "PROTOCOLVERSION " + req->protocolVersion + " is not supported";
    return ParseStatus::UNSUPPORTED_PROTOCOL_VERSION;
  }
  if (message.child("MULTIREQ")) {
    *detail = "MULTIREQ is not supported";
    return ParseStatus::MULTIPLE_REQUESTS;
  }
  xml_node simple = need(message, "SIMPLEREQ");
  if (xml_node call = simple.child("IMETHODCALL")) {
    req->intrinsic = true;
    req->name = cim::xml::readNameAttribute(call).str();
    req->nameSpace = cim::xml::readLocalNamespacePath(need(call, "LOCALNAMESPACEPATH"));
    for (xml_node p : call.children("IPARAMVALUE")) req->params.push_back(readIParam(p));
    return ParseStatus::OK;
  }
  if (xml_node call = simple.child("METHODCALL")) {
    req->intrinsic = false;
    req->name = cim::xml::readNameAttribute(call).str();
    if (xml_node ip = call.child("LOCALINSTANCEPATH")) {
      req->target = cim::xml::readLocalInstancePath(ip);
    } else if (xml_node cp = call.child("LOCALCLASSPATH")) {
      req->target = cim::xml::readClassPath(cp);
    } else {
      throw NotValid{"METHODCALL without LOCALINSTANCEPATH or LOCALCLASSPATH"};
    }
    req->nameSpace = req->target.getNameSpace();
    for (xml_node p : call.children("PARAMVALUE")) req->params.push_back(readParam(p));
    return ParseStatus::OK;
  }
  throw NotValid{"SIMPLEREQ without IMETHODCALL or METHODCALL"};
}

}  // namespace

ParseStatus parseRequest(const std::string& body, CimRequest* req,
                         std::string* detail) {
  *req = CimRequest();
  if (!isUtf8(body)) {
    *detail = "the request is not UTF-8";
    return ParseStatus::NOT_VALID;
  }
  pugi::xml_document doc;
  pugi::xml_parse_result r = doc.load_buffer(
      body.data(), body.size(), cim::xml::PARSE_OPTIONS, pugi::encoding_utf8);
  if (!r) {
    *detail = std::string(r.description()) + " at offset " + std::to_string(r.offset);
    return ParseStatus::NOT_WELL_FORMED;
  }
  try {
    return readRequest(doc.document_element(), req, detail);
  } catch (const NotValid& e) {
    *detail = e.what;
  } catch (const cim::Exception& e) {
    *detail = e.getMessage();
  }
  return ParseStatus::NOT_VALID;
}

// ---------------------------------------------------------------------------

namespace {

cim::Instance filtered(const cim::Instance& inst, const cim::PropertyList& list) {
  if (list.isNull()) return inst;
  cim::Instance out(inst.getClassName());
  out.setPath(inst.getPath());
  for (const cim::Property& p : inst.getProperties())
    if (list.contains(p.getName())) out.addProperty(p);
  return out;
}

void attribute(std::string& out, const char* name, const std::string& value) {
  out += ' ';
  out += name;
  out += "=\"";
  cim::xml::appendAttribute(out, value);
  out += '"';
}

void trueQualifier(std::string& out, const char* name) {
  out += "<QUALIFIER NAME=\"";
  out += name;
  out += "\" TYPE=\"boolean\"><VALUE>TRUE</VALUE></QUALIFIER>";
}

}  // namespace

ResponseWriter::ResponseWriter(const std::string& messageId,
                               const std::string& name, bool intrinsic)
    : messageId_(messageId), name_(name), intrinsic_(intrinsic) {}

void ResponseWriter::openReturnValue() { hasReturnValue_ = true; }

void ResponseWriter::addInstanceName(const cim::ObjectPath& path) {
  hasReturnValue_ = true;
  cim::xml::writeInstanceName(content_, path);
  content_ += '\n';
}

void ResponseWriter::addNamedInstance(const cim::Instance& inst,
                                      const cim::PropertyList& list) {
  hasReturnValue_ = true;
  cim::xml::writeNamedInstance(content_, filtered(inst, list));
}

void ResponseWriter::addInstance(const cim::Instance& inst,
                                 const cim::PropertyList& list) {
  hasReturnValue_ = true;
  cim::xml::writeInstance(content_, filtered(inst, list));
}

void ResponseWriter::addObjectPath(const cim::ObjectPath& path) {
  hasReturnValue_ = true;
  cim::xml::writeObjectPath(content_, path);
  content_ += '\n';
}

void ResponseWriter::addObjectWithPath(const cim::Instance& inst,
                                       const cim::PropertyList& list) {
  hasReturnValue_ = true;
  content_ += "<VALUE.OBJECTWITHPATH>";
  cim::xml::writeInstancePath(content_, inst.getPath());
  cim::xml::writeInstance(content_, filtered(inst, list));
  content_ += "</VALUE.OBJECTWITHPATH>\n";
}

void ResponseWriter::addValue(const cim::Value& value) {
  hasReturnValue_ = true;
  cim::xml::writeValue(content_, value);
}

void ResponseWriter::addClass(const ClassDef& def, bool includeQualifiers,
                              bool includeClassOrigin,
                              const cim::PropertyList& list) {
  hasReturnValue_ = true;
  std::string& out = content_;
  out += "<CLASS";
  attribute(out, "NAME", def.name);
  if (!def.superClass.empty()) attribute(out, "SUPERCLASS", def.superClass);
  out += ">\n";
  if (includeQualifiers && def.isAssociation) trueQualifier(out, "Association");
  for (const PropertyDef& p : def.properties) {
    if (!list.contains(p.name)) continue;
    const char* element = p.type == "reference"
                              ? "PROPERTY.REFERENCE"
                              : p.isArray ? "PROPERTY.ARRAY" : "PROPERTY";
    out += '<';
    out += element;
    attribute(out, "NAME", p.name);
    if (p.type == "reference")
      attribute(out, "REFERENCECLASS", p.referenceClass);
    else
      attribute(out, "TYPE", p.type);
    if (includeClassOrigin) attribute(out, "CLASSORIGIN", def.name);
    out += '>';
    if (includeQualifiers && p.isKey) trueQualifier(out, "Key");
    out += "</";
    out += element;
    out += ">\n";
  }
  for (const MethodDef& m : def.methods) {
    out += "<METHOD";
    attribute(out, "NAME", m.name);
    attribute(out, "TYPE", m.returnType);
    if (includeClassOrigin) attribute(out, "CLASSORIGIN", def.name);
    out += ">\n";
    for (const ParameterDef& p : m.parameters) {
      const char* element = p.isArray ? "PARAMETER.ARRAY" : "PARAMETER";
      out += '<';
      out += element;
      attribute(out, "NAME", p.name);
      attribute(out, "TYPE", p.type);
      out += '>';
      if (includeQualifiers && p.in) trueQualifier(out, "IN");
      if (includeQualifiers && p.out) trueQualifier(out, "OUT");
      out += "</";
      out += element;
      out += ">\n";
    }
    out += "</METHOD>\n";
  }
  out += "</CLASS>\n";
}

void ResponseWriter::setReturnValue(const cim::Value& value) { returnValue_ = value; }

void ResponseWriter::addOutParameter(const cim::ParamValue& param) {
  outParams_.push_back(param);
}

void ResponseWriter::setError(std::uint32_t code, const std::string& description) {
  failed_ = true;
  errorCode_ = code;
  errorText_ = description;
}

std::string ResponseWriter::body() const {
  if (failed_)
    return cim::xml::errorResponse(messageId_, name_, intrinsic_, errorCode_,
                                   errorText_);
  if (intrinsic_)
    return cim::xml::intrinsicResponse(messageId_, name_, content_, hasReturnValue_);
  return cim::xml::extrinsicResponse(messageId_, name_, returnValue_, outParams_);
}

std::string ResponseWriter::brokenOffBody() const {
  std::string whole = intrinsic_
                          ? cim::xml::intrinsicResponse(messageId_, name_, "", true)
                          : cim::xml::extrinsicResponse(messageId_, name_,
                                                        cim::Value::null(cim::Type::UINT32), {});
  std::string opening = intrinsic_ ? "<IRETURNVALUE>" : "<METHODRESPONSE";
  size_t at = whole.find(opening);
  size_t end = intrinsic_ ? at + opening.size() : whole.find('>', at) + 1;
  return whole.substr(0, end) + "\n";
}

}  // namespace sim
