#include "cim/xml_writer.h"

#include <cstdio>

namespace cim {
namespace xml {

namespace {

void appendEscaped(std::string& out, std::string_view text, bool attribute) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    const char* rep = nullptr;
    char buf[8];
    switch (c) {
      case '&': rep = "&amp;"; break;
      case '<': rep = "&lt;"; break;
      case '>': rep = "&gt;"; break;
      case '"':
        if (attribute) rep = "&quot;";
        break;
      default:
        if (c < 0x20 && (attribute || (c != '\t' && c != '\n'))) {
          std::snprintf(buf, sizeof buf, "&#%u;", static_cast<unsigned>(c));
          rep = buf;
        }
    }
    if (rep == nullptr) continue;
    out.append(text.data() + start, i - start);
    out += rep;
    start = i + 1;
  }
  out.append(text.data() + start, text.size() - start);
}

void openNamed(std::string& out, const char* element, std::string_view name) {
  out += '<';
  out += element;
  out += " NAME=\"";
  appendAttribute(out, name);
  out += "\">";
}

void writeKeyBinding(std::string& out, const KeyBinding& key) {
  openNamed(out, "KEYBINDING", key.getName().getString());
  if (key.getType() == KeyBinding::REFERENCE) {
    writeValueReference(out, ObjectPath::parse(key.getValue()));
  } else {
    out += "<KEYVALUE VALUETYPE=\"";
    out += key.getType() == KeyBinding::BOOLEAN
               ? "boolean"
               : key.getType() == KeyBinding::NUMERIC ? "numeric" : "string";
    out += "\">";
    appendText(out, key.getValue());
    out += "</KEYVALUE>";
  }
  out += "</KEYBINDING>";
}

void writeValueElement(std::string& out, std::string_view text) {
  out += "<VALUE>";
  appendText(out, text);
  out += "</VALUE>";
}

void openEnvelope(std::string& out, std::string_view messageId, bool request) {
  out +=
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<CIM CIMVERSION=\"2.0\" DTDVERSION=\"2.0\">\n"
      "<MESSAGE ID=\"";
  appendAttribute(out, messageId);
  out += "\" PROTOCOLVERSION=\"1.0\">\n";
  out += request ? "<SIMPLEREQ>\n" : "<SIMPLERSP>\n";
}

void closeEnvelope(std::string& out, bool request) {
  out += request ? "</SIMPLEREQ>\n" : "</SIMPLERSP>\n";
  out += "</MESSAGE>\n</CIM>\n";
}

}  // namespace

void appendText(std::string& out, std::string_view text) {
  appendEscaped(out, text, false);
}

void appendAttribute(std::string& out, std::string_view text) {
  appendEscaped(out, text, true);
}

void writeLocalNamespacePath(std::string& out, const NamespaceName& ns) {
  out += "<LOCALNAMESPACEPATH>";
  std::string_view text = ns.getString();
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    size_t slash = text.find('/', start);
    if (slash == std::string_view::npos) slash = text.size();
    out += "<NAMESPACE NAME=\"";
    appendAttribute(out, text.substr(start, slash - start));
    out += "\"/>";
    start = slash + 1;
  }
  out += "</LOCALNAMESPACEPATH>";
}

void writeNamespacePath(std::string& out, const std::string& host,
                        const NamespaceName& ns) {
  out += "<NAMESPACEPATH><HOST>";
  appendText(out, host);
  out += "</HOST>";
  writeLocalNamespacePath(out, ns);
  out += "</NAMESPACEPATH>";
}

void writeClassName(std::string& out, const Name& className) {
  out += "<CLASSNAME NAME=\"";
  appendAttribute(out, className.getString());
  out += "\"/>";
}

void writeInstanceName(std::string& out, const ObjectPath& path) {
  out += "<INSTANCENAME CLASSNAME=\"";
  appendAttribute(out, path.getClassName().getString());
  out += "\">";
  for (const auto& key : path.getKeyBindings()) writeKeyBinding(out, key);
  out += "</INSTANCENAME>";
}

void writeLocalInstancePath(std::string& out, const ObjectPath& path) {
  out += "<LOCALINSTANCEPATH>";
  writeLocalNamespacePath(out, path.getNameSpace());
  writeInstanceName(out, path);
  out += "</LOCALINSTANCEPATH>";
}

void writeInstancePath(std::string& out, const ObjectPath& path) {
  out += "<INSTANCEPATH>";
  writeNamespacePath(out, path.getHost(), path.getNameSpace());
  writeInstanceName(out, path);
  out += "</INSTANCEPATH>";
}

void writeObjectPath(std::string& out, const ObjectPath& path) {
  out += "<OBJECTPATH>";
  if (path.getKeyBindings().empty()) {
    out += "<CLASSPATH>";
    writeNamespacePath(out, path.getHost(), path.getNameSpace());
    writeClassName(out, path.getClassName());
    out += "</CLASSPATH>";
  } else {
    writeInstancePath(out, path);
  }
  out += "</OBJECTPATH>";
}

void writeValueReference(std::string& out, const ObjectPath& path) {
  out += "<VALUE.REFERENCE>";
  if (!path.getHost().empty() && !path.getNameSpace().isNull())
    writeInstancePath(out, path);
  else if (!path.getNameSpace().isNull())
    writeLocalInstancePath(out, path);
  else
    writeInstanceName(out, path);
  out += "</VALUE.REFERENCE>";
}

void writeValue(std::string& out, const Value& value) {
  if (value.isNull()) return;
  bool ref = value.getType() == Type::REFERENCE;
  if (!value.isArray()) {
    if (ref)
      writeValueReference(out, ObjectPath::parse(value.getText()));
    else
      writeValueElement(out, value.getText());
    return;
  }
  out += ref ? "<VALUE.REFARRAY>" : "<VALUE.ARRAY>";
  for (const auto& item : value.getItems()) {
    if (ref)
      writeValueReference(out, ObjectPath::parse(item));
    else
      writeValueElement(out, item);
  }
  out += ref ? "</VALUE.REFARRAY>" : "</VALUE.ARRAY>";
}

void writeProperty(std::string& out, const Property& property,
                   bool includeClassOrigin) {
  const Value& value = property.getValue();
  const char* element = value.getType() == Type::REFERENCE
                            ? "PROPERTY.REFERENCE"
                            : value.isArray() ? "PROPERTY.ARRAY" : "PROPERTY";
  out += '<';
  out += element;
  out += " NAME=\"";
  appendAttribute(out, property.getName().getString());
  out += '"';
  if (value.getType() != Type::REFERENCE) {
    out += " TYPE=\"";
    out += typeName(value.getType());
    out += '"';
  }
  if (includeClassOrigin && !property.getClassOrigin().isNull()) {
    out += " CLASSORIGIN=\"";
    appendAttribute(out, property.getClassOrigin().getString());
    out += '"';
  }
  if (property.getPropagated()) out += " PROPAGATED=\"true\"";
  out += '>';
  if (value.getType() == Type::REFERENCE && value.isArray()) {
    // A reference array property has no element of its own; write the
    // references one by one as a best effort.
    for (const auto& item : value.getItems())
      writeValueReference(out, ObjectPath::parse(item));
  } else {
    writeValue(out, value);
  }
  out += "</";
  out += element;
  out += ">\n";
}

void writeInstance(std::string& out, const Instance& instance,
                   bool includeClassOrigin) {
  out += "<INSTANCE CLASSNAME=\"";
  appendAttribute(out, instance.getClassName().getString());
  out += "\">\n";
  for (const auto& property : instance.getProperties())
    writeProperty(out, property, includeClassOrigin);
  out += "</INSTANCE>\n";
}

void writeNamedInstance(std::string& out, const Instance& instance,
                        bool includeClassOrigin) {
  out += "<VALUE.NAMEDINSTANCE>\n";
  writeInstanceName(out, instance.getPath());
  out += '\n';
  writeInstance(out, instance, includeClassOrigin);
  out += "</VALUE.NAMEDINSTANCE>\n";
}

void writeParamValue(std::string& out, const ParamValue& param) {
  out += "<PARAMVALUE NAME=\"";
  appendAttribute(out, param.getParameterName());
  out += '"';
  if (param.isTyped()) {
    out += " PARAMTYPE=\"";
    out += typeName(param.getValue().getType());
    out += '"';
  }
  out += '>';
  writeValue(out, param.getValue());
  out += "</PARAMVALUE>\n";
}

void writeIParamClassName(std::string& out, const char* name, const Name& className) {
  openNamed(out, "IPARAMVALUE", name);
  if (!className.isNull()) writeClassName(out, className);
  out += "</IPARAMVALUE>\n";
}

void writeIParamBoolean(std::string& out, const char* name, bool value) {
  openNamed(out, "IPARAMVALUE", name);
  out += value ? "<VALUE>TRUE</VALUE>" : "<VALUE>FALSE</VALUE>";
  out += "</IPARAMVALUE>\n";
}

void writeIParamInstanceName(std::string& out, const char* name,
                             const ObjectPath& path) {
  openNamed(out, "IPARAMVALUE", name);
  writeInstanceName(out, path);
  out += "</IPARAMVALUE>\n";
}

void writeIParamString(std::string& out, const char* name, std::string_view value) {
  openNamed(out, "IPARAMVALUE", name);
  writeValueElement(out, value);
  out += "</IPARAMVALUE>\n";
}

void writeIParamValue(std::string& out, const char* name, const Value& value) {
  openNamed(out, "IPARAMVALUE", name);
  writeValue(out, value);
  out += "</IPARAMVALUE>\n";
}

void writeIParamPropertyList(std::string& out, const PropertyList& list) {
  if (list.isNull()) return;
  openNamed(out, "IPARAMVALUE", "PropertyList");
  out += "<VALUE.ARRAY>";
  for (const auto& name : list.getNames()) writeValueElement(out, name.getString());
  out += "</VALUE.ARRAY></IPARAMVALUE>\n";
}

std::string intrinsicRequest(std::string_view messageId, std::string_view method,
                             const NamespaceName& ns, std::string_view iparams) {
  std::string out;
  out.reserve(512 + iparams.size());
  openEnvelope(out, messageId, true);
  openNamed(out, "IMETHODCALL", method);
  out += '\n';
  writeLocalNamespacePath(out, ns);
  out += '\n';
  out += iparams;
  out += "</IMETHODCALL>\n";
  closeEnvelope(out, true);
  return out;
}

std::string extrinsicRequest(std::string_view messageId, std::string_view method,
                             const NamespaceName& ns, const ObjectPath& path,
                             std::string_view params) {
  std::string out;
  out.reserve(768 + params.size());
  openEnvelope(out, messageId, true);
  openNamed(out, "METHODCALL", method);
  out += '\n';
  ObjectPath local = path;
  local.setNameSpace(ns);
  writeLocalInstancePath(out, local);
  out += '\n';
  out += params;
  out += "</METHODCALL>\n";
  closeEnvelope(out, true);
  return out;
}

std::string intrinsicResponse(std::string_view messageId, std::string_view method,
                              std::string_view returnContent, bool hasReturnValue) {
  std::string out;
  out.reserve(512 + returnContent.size());
  openEnvelope(out, messageId, false);
  openNamed(out, "IMETHODRESPONSE", method);
  if (hasReturnValue) {
    out += "\n<IRETURNVALUE>\n";
    out += returnContent;
    out += "</IRETURNVALUE>\n";
  }
  out += "</IMETHODRESPONSE>\n";
  closeEnvelope(out, false);
  return out;
}

std::string extrinsicResponse(std::string_view messageId, std::string_view method,
                              const Value& returnValue,
                              const std::vector<ParamValue>& outParams) {
  std::string out;
  openEnvelope(out, messageId, false);
  openNamed(out, "METHODRESPONSE", method);
  out += '\n';
  if (!returnValue.isNull()) {
    out += "<RETURNVALUE PARAMTYPE=\"";
    out += typeName(returnValue.getType());
    out += "\">";
    writeValue(out, returnValue);
    out += "</RETURNVALUE>\n";
  }
  for (const auto& param : outParams) writeParamValue(out, param);
  out += "</METHODRESPONSE>\n";
  closeEnvelope(out, false);
  return out;
}

std::string errorResponse(std::string_view messageId, std::string_view method,
                          bool intrinsic, std::uint32_t code,
                          std::string_view description) {
  std::string out;
  openEnvelope(out, messageId, false);
  const char* element = intrinsic ? "IMETHODRESPONSE" : "METHODRESPONSE";
  openNamed(out, element, method);
  out += "\n<ERROR CODE=\"" + std::to_string(code) + '"';
  if (!description.empty()) {
    out += " DESCRIPTION=\"";
    appendAttribute(out, description);
    out += '"';
  }
  out += "/>\n</";
  out += element;
  out += ">\n";
  closeEnvelope(out, false);
  return out;
}

}  // namespace xml
}  // namespace cim
