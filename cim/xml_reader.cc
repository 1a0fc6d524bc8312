#include "cim/xml_reader.h"

#include <cstdint>
#include <cstdio>
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

bool isText(pugi::xml_node node) {
  return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

bool isBlank(const char* text) {
  for (; *text != '\0'; ++text)
    if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r') return false;
  return true;
}

[[noreturn]] void unexpected(pugi::xml_node child, pugi::xml_node parent) {
  if (isText(child)) invalid(std::string("unexpected text in <") + parent.name() + ">");
  invalid(std::string("unexpected <") + child.name() + "> in <" + parent.name() + ">");
}

// Text between elements must be white space.
void checkBlank(pugi::xml_node child, pugi::xml_node parent) {
  if (isText(child) && !isBlank(child.value())) unexpected(child, parent);
}

// The first child element, skipping white space.
pugi::xml_node firstElement(pugi::xml_node node) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element) return child;
    checkBlank(child, node);
  }
  return pugi::xml_node();
}

// "U+0001"
std::string codePoint(std::uint32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

[[noreturn]] void malformed(const std::string& what, std::size_t offset) {
  throw XmlException("Malformed XML: " + what + " at offset " + std::to_string(offset));
}

bool isXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

int digitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A character reference ("&#1;", "&#x1F;") at text[at] to a character XML
// does not allow. pugixml decodes these without a check (and cuts the text
// at "&#0;", and wraps numbers past 32 bits round), so they are refused
// here. What pugixml does not take for a reference ("&#1" without ';') it
// keeps as text.
void checkReference(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size() || text[at + 1] != '#') return;
  std::size_t i = at + 2;
  bool hex = i < text.size() && text[i] == 'x';
  if (hex) ++i;
  const std::uint32_t beyond = 0x110000;
  std::uint32_t value = 0;
  std::size_t start = i;
  for (int d; i < text.size() && (d = digitValue(text[i], hex)) >= 0; ++i)
    value = value >= beyond ? beyond : value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
  if (i == start || i == text.size() || text[i] != ';') return;
  if (value >= beyond) malformed("character reference beyond U+10FFFF", at);
  if (!isXmlChar(value)) malformed("character reference to " + codePoint(value), at);
}

[[noreturn]] void tooLarge(std::size_t limit, const char* what) {
  throw XmlException("XML document too large: more than " + std::to_string(limit) + " " +
                     what);
}

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix) {
  return text.compare(at, prefix.size(), prefix) == 0;
}

// Where the document type declaration at text[at] ("<!DOCTYPE") ends: the
// index of its closing '>', found the way pugixml skips it. Markup
// declarations ("<!ELEMENT ...>") nest in it; quoted strings, processing
// instructions, comments and ignored sections ("<![ ... ]]>", nesting too)
// are passed over whole, so a quote or '>' within them ends nothing. Where
// pugixml would refuse the declaration, the index reached (or the end of
// the text): pugixml reads nothing beyond that point.
std::size_t doctypeEnd(std::string_view text, std::size_t at) {
  auto past = [&text](std::size_t from, std::string_view end) {
    std::size_t found = text.find(end, from);
    return found == std::string_view::npos ? text.size() : found + end.size();
  };
  std::size_t depth = 0;
  std::size_t i = at + 2;
  while (i < text.size()) {
    char c = text[i];
    if (startsWith(text, i, "<![")) {
      std::size_t ignored = 0;  // ignored sections within this one
      for (i += 3; i < text.size();) {
        if (startsWith(text, i, "<![")) {
          ++ignored;
          i += 3;
        } else if (startsWith(text, i, "]]>")) {
          i += 3;
          if (ignored-- == 0) break;
        } else {
          ++i;
        }
      }
    } else if (startsWith(text, i, "<!") && !startsWith(text, i, "<!-")) {
      ++depth;
      i += 2;
    } else if (c == '"' || c == '\'') {
      i = past(i + 1, std::string_view(&c, 1));
    } else if (startsWith(text, i, "<?")) {
      i = past(i + 2, "?>");
    } else if (startsWith(text, i, "<!--")) {
      i = past(i + 4, "-->");
    } else if (c == '<') {
      return i;
    } else if (c == '>') {
      if (depth == 0) return i;
      --depth;
      ++i;
    } else {
      ++i;
    }
  }
  return text.size();
}

// One pass over the text before pugixml builds anything: a raw control
// character anywhere, a character reference to a character XML does not
// allow (in text and attribute values; CDATA sections and comments hold
// none), and more nodes or attributes than a document may have. Nodes
// are counted as pugixml makes them: one for each element (its start tag),
// CDATA section and run of text between tags; comments, declarations and
// processing instructions are counted too, which errs on the safe side.
// Processing instructions, comments and the document type declaration are
// passed over the way pugixml skips them: a quote within them opens no
// attribute value, which would hide what follows from the count.
void screen(std::string_view text) {
  enum { TEXT, TAG, QUOTED, CDATA, COMMENT, INSTRUCTION } state = TEXT;
  char quote = '"';
  bool inText = false;  // within a run of text already counted
  std::size_t nodes = 0;
  std::size_t attributes = 0;
  auto checkControl = [&text](std::size_t i) {
    char c = text[i];
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
      malformed("control character " + codePoint(static_cast<unsigned char>(c)), i);
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    checkControl(i);
    switch (state) {
      case TEXT:
        if (c != '<' && !inText) {
          inText = true;
          if (++nodes > MAX_NODES) tooLarge(MAX_NODES, "elements and texts");
        }
        if (c == '&') {
          checkReference(text, i);
        } else if (c == '<') {
          inText = false;
          if (i + 1 < text.size() && text[i + 1] != '/' && ++nodes > MAX_NODES)
            tooLarge(MAX_NODES, "elements and texts");
          if (startsWith(text, i, "<![CDATA[")) {
            state = CDATA;
            i += 8;
          } else if (startsWith(text, i, "<!--")) {
            state = COMMENT;
            i += 3;
          } else if (startsWith(text, i, "<?")) {
            state = INSTRUCTION;
            i += 1;
          } else if (startsWith(text, i, "<!DOCTYPE")) {
            std::size_t end = doctypeEnd(text, i);
            for (std::size_t j = i + 1; j < end && j < text.size(); ++j) checkControl(j);
            i = end;  // its '>', if any, is passed by the loop
          } else {
            state = TAG;
          }
        }
        break;
      case TAG:
        if (c == '"' || c == '\'') {
          state = QUOTED;
          quote = c;
        } else if (c == '=') {
          if (++attributes > MAX_ATTRIBUTES) tooLarge(MAX_ATTRIBUTES, "attributes");
        } else if (c == '>') {
          state = TEXT;
        }
        break;
      case QUOTED:
        if (c == quote)
          state = TAG;
        else if (c == '&')
          checkReference(text, i);
        break;
      case CDATA:
        if (c == ']' && startsWith(text, i, "]]>")) {
          state = TEXT;
          i += 2;
        }
        break;
      case COMMENT:
        if (c == '-' && startsWith(text, i, "-->")) {
          state = TEXT;
          i += 2;
        }
        break;
      case INSTRUCTION:
        if (c == '?' && startsWith(text, i, "?>")) {
          state = TEXT;
          i += 1;
        }
        break;
    }
  }
}

ObjectPath readReferenceAt(pugi::xml_node node, int depth);
ObjectPath readInstanceNameAt(pugi::xml_node node, int depth);

KeyBinding readKeyBinding(pugi::xml_node node, int depth) {
  Name name = readNameAttribute(node);
  checkChildren(node, {{"KEYVALUE", false}, {"VALUE.REFERENCE", false}}, true);
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
    std::string value = readText(child);
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
  // Sized first: a hostile answer's many keys must not be held twice while
  // the list grows.
  std::size_t count = 0;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) {
      checkBlank(child, node);
      continue;
    }
    if (!is(child, "KEYBINDING"))
      invalid(std::string("unsupported <") + child.name() + "> in <INSTANCENAME>");
    ++count;
  }
  std::vector<KeyBinding> keys;
  keys.reserve(count);
  for (pugi::xml_node child = node.child("KEYBINDING"); child;
       child = child.next_sibling("KEYBINDING"))
    keys.push_back(readKeyBinding(child, depth));
  path.setKeyBindings(std::move(keys));
  return path;
}

ObjectPath readLocalInstancePathAt(pugi::xml_node node, int depth) {
  expect(node, "LOCALINSTANCEPATH");
  checkChildren(node, {{"LOCALNAMESPACEPATH", false}, {"INSTANCENAME", false}});
  ObjectPath path = readInstanceNameAt(node.child("INSTANCENAME"), depth);
  path.setNameSpace(readLocalNamespacePath(node.child("LOCALNAMESPACEPATH")));
  return path;
}

ObjectPath readInstancePathAt(pugi::xml_node node, int depth) {
  expect(node, "INSTANCEPATH");
  checkChildren(node, {{"NAMESPACEPATH", false}, {"INSTANCENAME", false}});
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
  checkChildren(node,
                {{"INSTANCEPATH", false}, {"LOCALINSTANCEPATH", false}, {"INSTANCENAME", false},
                 {"CLASSPATH", false}, {"LOCALCLASSPATH", false}, {"CLASSNAME", false}},
                true);
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
  screen(text);
  pugi::xml_parse_result result =
      doc.load_buffer(text.data(), text.size(), PARSE_OPTIONS, pugi::encoding_utf8);
  if (!result)
    throw XmlException(std::string("Malformed XML: ") + result.description() +
                       " at offset " + std::to_string(result.offset));
}

void loadDocumentInPlace(pugi::xml_document& doc, std::string& text) {
  screen(text);
  pugi::xml_parse_result result =
      doc.load_buffer_inplace(text.data(), text.size(), PARSE_OPTIONS, pugi::encoding_utf8);
  if (!result)
    throw XmlException(std::string("Malformed XML: ") + result.description() +
                       " at offset " + std::to_string(result.offset));
}

std::string readText(pugi::xml_node node) {
  std::string text;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (!isText(child)) unexpected(child, node);
    text += child.value();
  }
  return text;
}

std::size_t checkChildren(pugi::xml_node node, std::initializer_list<ChildRule> rules,
                          bool oneOf) {
  std::uint32_t seen = 0;  // a bit for each rule
  std::size_t count = 0;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) {
      checkBlank(child, node);
      continue;
    }
    std::uint32_t bit = 1;
    const ChildRule* rule = rules.begin();
    while (rule != rules.end() && !is(child, rule->name)) {
      ++rule;
      bit <<= 1;
    }
    if (rule == rules.end() || (oneOf && seen != 0)) unexpected(child, node);
    if ((seen & bit) != 0 && !rule->repeats)
      invalid(std::string("more than one <") + child.name() + "> in <" + node.name() + ">");
    seen |= bit;
    ++count;
  }
  return count;
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
  checkChildren(node, {});
  return readNameAttribute(node);
}

NamespaceName readLocalNamespacePath(pugi::xml_node node) {
  expect(node, "LOCALNAMESPACEPATH");
  checkChildren(node, {{"NAMESPACE", true}});
  std::string text;
  for (pugi::xml_node ns = node.child("NAMESPACE"); ns; ns = ns.next_sibling("NAMESPACE")) {
    checkChildren(ns, {});
    if (!text.empty()) text += '/';
    text += readNameAttribute(ns).getString();
  }
  if (text.empty()) invalid("<LOCALNAMESPACEPATH> without NAMESPACE");
  return NamespaceName(std::move(text));
}

void readNamespacePath(pugi::xml_node node, std::string* host, NamespaceName* ns) {
  expect(node, "NAMESPACEPATH");
  checkChildren(node, {{"HOST", false}, {"LOCALNAMESPACEPATH", false}});
  pugi::xml_node hostNode = node.child("HOST");
  if (!hostNode) invalid("<NAMESPACEPATH> without HOST");
  *host = readText(hostNode);
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
    checkChildren(node, {{"LOCALNAMESPACEPATH", false}, {"CLASSNAME", false}});
    path.setNameSpace(readLocalNamespacePath(node.child("LOCALNAMESPACEPATH")));
    path.setClassName(readClassName(node.child("CLASSNAME")));
  } else if (is(node, "CLASSPATH")) {
    checkChildren(node, {{"NAMESPACEPATH", false}, {"CLASSNAME", false}});
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
  checkChildren(node, {{"INSTANCEPATH", false}, {"CLASSPATH", false}}, true);
  pugi::xml_node child = firstElement(node);
  if (is(child, "INSTANCEPATH")) return readInstancePathAt(child, 0);
  if (is(child, "CLASSPATH")) return readClassPath(child);
  invalid("<OBJECTPATH> without INSTANCEPATH or CLASSPATH");
}

ObjectPath readValueReference(pugi::xml_node node) { return readReferenceAt(node, 0); }

Value readValue(pugi::xml_node node, Type type, bool typed, bool isArray) {
  // One value element at most, after the qualifiers of a property.
  bool qualifiers = std::strncmp(node.name(), "PROPERTY", 8) == 0;
  pugi::xml_node value;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) {
      checkBlank(child, node);
      continue;
    }
    if (qualifiers && is(child, "QUALIFIER")) continue;
    if (!is(child, "VALUE") && !is(child, "VALUE.ARRAY") && !is(child, "VALUE.REFERENCE") &&
        !is(child, "VALUE.REFARRAY"))
      unexpected(child, node);
    if (value) invalid(std::string("more than one value in <") + node.name() + ">");
    value = child;
  }
  if (!value) return Value::null(type, isArray);
  if ((is(value, "VALUE") || is(value, "VALUE.ARRAY")) && type == Type::REFERENCE)
    invalid(std::string("<") + value.name() + "> where a reference belongs");
  if (is(value, "VALUE")) {
    if (!typed) return Value::untyped(readText(value));
    return Value::fromText(type, readText(value));
  }
  if (is(value, "VALUE.REFERENCE"))
    return Value::fromText(Type::REFERENCE, readReferenceAt(value, 0).toString());
  // VALUE.ARRAY of VALUE, or VALUE.REFARRAY of VALUE.REFERENCE; VALUE.NULL
  // in either.
  bool references = is(value, "VALUE.REFARRAY");
  std::vector<std::string> items;
  items.reserve(references ? checkChildren(value, {{"VALUE.REFERENCE", true}, {"VALUE.NULL", true}})
                           : checkChildren(value, {{"VALUE", true}, {"VALUE.NULL", true}}));
  for (pugi::xml_node item = firstElement(value); item; item = item.next_sibling()) {
    if (item.type() != pugi::node_element) continue;
    if (is(item, "VALUE.NULL")) {
      checkChildren(item, {});
      items.emplace_back();
    } else if (references) {
      items.push_back(readReferenceAt(item, 0).toString());
    } else {
      items.push_back(readText(item));
    }
  }
  if (references) return Value::arrayFromText(Type::REFERENCE, std::move(items));
  if (!typed) return Value::untypedArray(std::move(items));
  return Value::arrayFromText(type, std::move(items));
}

bool readBooleanValue(pugi::xml_node node) {
  pugi::xml_node value = node.child("VALUE");
  if (!value) invalid(std::string("<") + node.name() + "> without a boolean VALUE");
  std::string text = readText(value);
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
  instance.reserveProperties(checkChildren(node, {{"QUALIFIER", true},
                                                  {"PROPERTY", true},
                                                  {"PROPERTY.ARRAY", true},
                                                  {"PROPERTY.REFERENCE", true}}));
  for (pugi::xml_node child = firstElement(node); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element && !is(child, "QUALIFIER"))
      instance.addProperty(readProperty(child));
  }
  return instance;
}

Instance readNamedInstance(pugi::xml_node node) {
  expect(node, "VALUE.NAMEDINSTANCE");
  checkChildren(node, {{"INSTANCENAME", false}, {"INSTANCE", false}});
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
