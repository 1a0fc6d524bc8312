#include "cim/xml_reader.h"

#include <cstring>

#include "cim/exception.h"

namespace cim {
namespace xml {

namespace {

// References may nest (a reference key whose path holds a reference key...);
// deeper than this is refused rather than risking the stack.
const int MAX_REFERENCE_DEPTH = 8;

[[noreturn]] void invalid(const std::string& detail) {
  throw XmlException("Invalid CIM-XML: " + detail);
}

bool is(pugi::xml_node node, const char* name) {
  return std::strcmp(node.name(), name) == 0;
}

void expect(pugi::xml_node node, const char* name) {
  if (!node) invalid(std::string("missing <") + name + ">");
  if (!is(node, name))
    invalid(std::string("expected <") + name + ">, found <" + node.name() + ">");
}

std::string elementText(pugi::xml_node node) { return node.child_value(); }

// The first child element, skipping comments and text.
pugi::xml_node firstElement(pugi::xml_node node) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element) return child;
  return pugi::xml_node();
}

ObjectPath readReferenceAt(pugi::xml_node node, int depth);
ObjectPath readInstanceNameAt(pugi::xml_node node, int depth);

KeyBinding readKeyBinding(pugi::xml_node node, int depth) {
  Name name = readNameAttribute(node);
  pugi::xml_node child = firstElement(node);
  if (is(child, "KEYVALUE")) {
    const char* valueType = child.attribute("VALUETYPE").value();
    KeyBinding::Kind kind;
    if (*valueType == '\0' || std::strcmp(valueType, "string") == 0)
      kind = KeyBinding::STRING;
    else if (std::strcmp(valueType, "boolean") == 0)
      kind = KeyBinding::BOOLEAN;
    else if (std::strcmp(valueType, "numeric") == 0)
      kind = KeyBinding::NUMERIC;
    else
      invalid("unknown VALUETYPE \"" + std::string(valueType) + "\" of key " +
              name.getString());
    std::string value = elementText(child);
    if ((kind == KeyBinding::BOOLEAN && !isBooleanKeyValue(value)) ||
        (kind == KeyBinding::NUMERIC && !isNumericKeyValue(value)))
      invalid("\"" + value + "\" is not a " + valueType + " value of key " + name.getString());
    return KeyBinding(std::move(name), std::move(value), kind);
  }
  if (is(child, "VALUE.REFERENCE"))
    return KeyBinding(std::move(name), readReferenceAt(child, depth + 1).toString(),
                      KeyBinding::REFERENCE);
  invalid("<KEYBINDING> " + name.getString() + " without KEYVALUE or VALUE.REFERENCE");
}

ObjectPath readInstanceNameAt(pugi::xml_node node, int depth) {
  expect(node, "INSTANCENAME");
  ObjectPath path;
  path.setClassName(readNameAttribute(node, "CLASSNAME"));
  std::vector<KeyBinding> keys;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (!is(child, "KEYBINDING"))
      invalid(std::string("unsupported <") + child.name() + "> in <INSTANCENAME>");
    keys.push_back(readKeyBinding(child, depth));
  }
  path.setKeyBindings(std::move(keys));
  return path;
}

ObjectPath readLocalInstancePathAt(pugi::xml_node node, int depth) {
  expect(node, "LOCALINSTANCEPATH");
  ObjectPath path = readInstanceNameAt(node.child("INSTANCENAME"), depth);
  path.setNameSpace(readLocalNamespacePath(node.child("LOCALNAMESPACEPATH")));
  return path;
}

ObjectPath readInstancePathAt(pugi::xml_node node, int depth) {
  expect(node, "INSTANCEPATH");
  ObjectPath path = readInstanceNameAt(node.child("INSTANCENAME"), depth);
  std::string host;
  NamespaceName ns;
  readNamespacePath(node.child("NAMESPACEPATH"), &host, &ns);
  path.setHost(std::move(host));
  path.setNameSpace(std::move(ns));
  return path;
}

ObjectPath readReferenceAt(pugi::xml_node node, int depth) {
  expect(node, "VALUE.REFERENCE");
  if (depth > MAX_REFERENCE_DEPTH) invalid("references nested too deeply");
  pugi::xml_node child = firstElement(node);
  if (is(child, "INSTANCEPATH")) return readInstancePathAt(child, depth);
  if (is(child, "LOCALINSTANCEPATH")) return readLocalInstancePathAt(child, depth);
  if (is(child, "INSTANCENAME")) return readInstanceNameAt(child, depth);
  if (is(child, "CLASSPATH") || is(child, "LOCALCLASSPATH") || is(child, "CLASSNAME"))
    return readClassPath(child);
  invalid("<VALUE.REFERENCE> without a path");
}

Type readTypeAttribute(pugi::xml_node node, const char* attribute, bool* present) {
  pugi::xml_attribute attr = node.attribute(attribute);
  *present = static_cast<bool>(attr);
  Type type = Type::STRING;
  if (attr && !typeFromName(attr.value(), &type))
    invalid("unknown " + std::string(attribute) + " \"" + attr.value() + "\"");
  return type;
}

}  // namespace

void loadDocument(pugi::xml_document& doc, std::string_view text) {
  pugi::xml_parse_result result =
      doc.load_buffer(text.data(), text.size(), PARSE_OPTIONS, pugi::encoding_utf8);
  if (!result)
    throw XmlException(std::string("Malformed XML: ") + result.description() +
                       " at offset " + std::to_string(result.offset));
}

void loadDocumentInPlace(pugi::xml_document& doc, std::string& text) {
  pugi::xml_parse_result result =
      doc.load_buffer_inplace(text.data(), text.size(), PARSE_OPTIONS, pugi::encoding_utf8);
  if (!result)
    throw XmlException(std::string("Malformed XML: ") + result.description() +
                       " at offset " + std::to_string(result.offset));
}

Name readNameAttribute(pugi::xml_node node, const char* attribute) {
  pugi::xml_attribute attr = node.attribute(attribute);
  if (!attr)
    invalid(std::string("<") + node.name() + "> without " + attribute);
  if (!isLegalName(attr.value()))
    invalid(std::string("illegal ") + attribute + " \"" + attr.value() + "\" in <" +
            node.name() + ">");
  return Name(std::string(attr.value()));
}

Name readClassName(pugi::xml_node node) {
  expect(node, "CLASSNAME");
  return readNameAttribute(node);
}

NamespaceName readLocalNamespacePath(pugi::xml_node node) {
  expect(node, "LOCALNAMESPACEPATH");
  std::string text;
  for (pugi::xml_node ns = node.child("NAMESPACE"); ns; ns = ns.next_sibling("NAMESPACE")) {
    if (!text.empty()) text += '/';
    text += readNameAttribute(ns).getString();
  }
  if (text.empty()) invalid("<LOCALNAMESPACEPATH> without NAMESPACE");
  return NamespaceName(std::move(text));
}

void readNamespacePath(pugi::xml_node node, std::string* host, NamespaceName* ns) {
  expect(node, "NAMESPACEPATH");
  pugi::xml_node hostNode = node.child("HOST");
  if (!hostNode) invalid("<NAMESPACEPATH> without HOST");
  *host = elementText(hostNode);
  if (host->find_first_of("/ \t\r\n") != std::string::npos)
    invalid("<HOST> \"" + *host + "\" is not a host name");
  *ns = readLocalNamespacePath(node.child("LOCALNAMESPACEPATH"));
}

ObjectPath readInstanceName(pugi::xml_node node) { return readInstanceNameAt(node, 0); }

ObjectPath readLocalInstancePath(pugi::xml_node node) {
  return readLocalInstancePathAt(node, 0);
}

ObjectPath readInstancePath(pugi::xml_node node) { return readInstancePathAt(node, 0); }

ObjectPath readClassPath(pugi::xml_node node) {
  ObjectPath path;
  if (is(node, "CLASSNAME")) {
    path.setClassName(readClassName(node));
  } else if (is(node, "LOCALCLASSPATH")) {
    path.setNameSpace(readLocalNamespacePath(node.child("LOCALNAMESPACEPATH")));
    path.setClassName(readClassName(node.child("CLASSNAME")));
  } else if (is(node, "CLASSPATH")) {
    std::string host;
    NamespaceName ns;
    readNamespacePath(node.child("NAMESPACEPATH"), &host, &ns);
    path.setHost(std::move(host));
    path.setNameSpace(std::move(ns));
    path.setClassName(readClassName(node.child("CLASSNAME")));
  } else {
    invalid(std::string("expected a class path, found <") + node.name() + ">");
  }
  return path;
}

ObjectPath readObjectPath(pugi::xml_node node) {
  expect(node, "OBJECTPATH");
  pugi::xml_node child = firstElement(node);
  if (is(child, "INSTANCEPATH")) return readInstancePathAt(child, 0);
  if (is(child, "CLASSPATH")) return readClassPath(child);
  invalid("<OBJECTPATH> without INSTANCEPATH or CLASSPATH");
}

ObjectPath readValueReference(pugi::xml_node node) { return readReferenceAt(node, 0); }

Value readValue(pugi::xml_node node, Type type, bool typed, bool isArray) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if ((is(child, "VALUE") || is(child, "VALUE.ARRAY")) && type == Type::REFERENCE)
      invalid(std::string("<") + child.name() + "> where a reference belongs");
    if (is(child, "VALUE")) {
      if (!typed) return Value::untyped(elementText(child));
      return Value::fromText(type, elementText(child));
    }
    if (is(child, "VALUE.ARRAY")) {
      std::vector<std::string> items;
      for (pugi::xml_node item = child.first_child(); item; item = item.next_sibling()) {
        if (item.type() != pugi::node_element) continue;
        if (is(item, "VALUE"))
          items.push_back(elementText(item));
        else if (is(item, "VALUE.NULL"))
          items.emplace_back();
        else
          invalid(std::string("unexpected <") + item.name() + "> in <VALUE.ARRAY>");
      }
      if (!typed) return Value::untypedArray(std::move(items));
      return Value::arrayFromText(type, std::move(items));
    }
    if (is(child, "VALUE.REFERENCE"))
      return Value::fromText(Type::REFERENCE, readReferenceAt(child, 0).toString());
    if (is(child, "VALUE.REFARRAY")) {
      std::vector<std::string> items;
      for (pugi::xml_node item = child.first_child(); item; item = item.next_sibling()) {
        if (item.type() != pugi::node_element) continue;
        if (is(item, "VALUE.REFERENCE"))
          items.push_back(readReferenceAt(item, 0).toString());
        else if (is(item, "VALUE.NULL"))
          items.emplace_back();
        else
          invalid(std::string("unexpected <") + item.name() + "> in <VALUE.REFARRAY>");
      }
      return Value::arrayFromText(Type::REFERENCE, std::move(items));
    }
  }
  return Value::null(type, isArray);
}

bool readBooleanValue(pugi::xml_node node) {
  pugi::xml_node value = node.child("VALUE");
  if (!value) invalid(std::string("<") + node.name() + "> without a boolean VALUE");
  std::string text = elementText(value);
  if (equalsIgnoreCase(text, "TRUE")) return true;
  if (equalsIgnoreCase(text, "FALSE")) return false;
  invalid("\"" + text + "\" is not a boolean value");
}

Property readProperty(pugi::xml_node node) {
  Name name = readNameAttribute(node);
  Name origin;
  if (node.attribute("CLASSORIGIN")) origin = readNameAttribute(node, "CLASSORIGIN");
  bool propagated = equalsIgnoreCase(node.attribute("PROPAGATED").value(), "true");
  bool present = false;
  Value value;
  // Each property element holds its own kind of value only.
  if (is(node, "PROPERTY")) {
    Type type = readTypeAttribute(node, "TYPE", &present);
    value = readValue(node, type, true, false);
    if (value.isArray() || value.getType() == Type::REFERENCE)
      invalid("array or reference value in <PROPERTY> " + name.getString());
  } else if (is(node, "PROPERTY.ARRAY")) {
    Type type = readTypeAttribute(node, "TYPE", &present);
    value = readValue(node, type, true, true);
    if (!value.isArray() || value.getType() == Type::REFERENCE)
      invalid("scalar or reference value in <PROPERTY.ARRAY> " + name.getString());
  } else if (is(node, "PROPERTY.REFERENCE")) {
    value = readValue(node, Type::REFERENCE, true, false);
    if (value.isArray()) invalid("array value in <PROPERTY.REFERENCE> " + name.getString());
  } else {
    invalid(std::string("expected a property, found <") + node.name() + ">");
  }
  return Property(std::move(name), std::move(value), std::move(origin), propagated);
}

Instance readInstance(pugi::xml_node node) {
  expect(node, "INSTANCE");
  Instance instance(readNameAttribute(node, "CLASSNAME"));
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    const char* n = child.name();
    if (std::strncmp(n, "PROPERTY", 8) == 0)
      instance.addProperty(readProperty(child));
    else if (!is(child, "QUALIFIER"))
      invalid(std::string("unexpected <") + n + "> in <INSTANCE>");
  }
  return instance;
}

Instance readNamedInstance(pugi::xml_node node) {
  expect(node, "VALUE.NAMEDINSTANCE");
  ObjectPath path = readInstanceName(node.child("INSTANCENAME"));
  Instance instance = readInstance(node.child("INSTANCE"));
  instance.setPath(std::move(path));
  return instance;
}

ParamValue readParamValue(pugi::xml_node node) {
  std::string name;
  if (is(node, "PARAMVALUE"))
    name = readNameAttribute(node).getString();
  else
    expect(node, "RETURNVALUE");
  bool typed = false;
  Type type = readTypeAttribute(node, "PARAMTYPE", &typed);
  Value value = readValue(node, type, typed, false);
  return ParamValue(std::move(name), std::move(value), typed);
}

}  // namespace xml
}  // namespace cim
