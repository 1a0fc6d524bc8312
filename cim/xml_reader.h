// Reading CIM-XML elements from a pugixml tree: paths, values, properties,
// instances and parameters. The client's response parser and the array
// simulator's request handling both read through these functions. Each
// takes the element itself and throws XmlException naming what is wrong
// when the element is not valid CIM-XML.
//
// Parse documents with PARSE_OPTIONS, so that every piece of a value's text
// is kept, blanks included ("<VALUE> </VALUE>", "<![CDATA[a]]> <![CDATA[b]]>").
// White space between elements then comes as text nodes, which the readers
// skip where only elements belong.
#ifndef CIM_XML_READER_H
#define CIM_XML_READER_H

#include <pugixml.hpp>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "cim/instance.h"
#include "cim/name.h"
#include "cim/object_path.h"
#include "cim/value.h"

namespace cim {
namespace xml {

constexpr unsigned PARSE_OPTIONS = pugi::parse_default | pugi::parse_ws_pcdata;

// The most nodes (elements, CDATA sections and runs of text) and attributes
// a document may have, whatever its size: pugixml spends 64 bytes on a node
// and 40 on an attribute, so a document within both takes at most about
// 95 MiB besides its text, and what is read from it less than that. The
// largest real answer, an enumeration of 10,000 DR groups, has about
// 540,000 nodes and 260,000 attributes.
constexpr std::size_t MAX_NODES = 1200000;
constexpr std::size_t MAX_ATTRIBUTES = 500000;

// Parses a whole document; XmlException (with the reason and the byte
// offset) when it is not well-formed, when it holds a character XML does
// not allow (a control character other than tab, line feed and carriage
// return, directly or as a character reference), or when it has more nodes
// or attributes than the limits above (refused before it is parsed).
void loadDocument(pugi::xml_document& doc, std::string_view text);
// The same without a copy: the document is built inside text, which it
// changes and which must outlive it.
void loadDocumentInPlace(pugi::xml_document& doc, std::string& text);

// The NAME (or other) attribute as a legal CIM name; XmlException if it is
// missing or illegal.
Name readNameAttribute(pugi::xml_node node, const char* attribute = "NAME");
// <CLASSNAME NAME="..."/>
Name readClassName(pugi::xml_node node);
// <LOCALNAMESPACEPATH> of one or more NAMESPACE elements.
NamespaceName readLocalNamespacePath(pugi::xml_node node);
// <NAMESPACEPATH>: HOST and LOCALNAMESPACEPATH.
void readNamespacePath(pugi::xml_node node, std::string* host, NamespaceName* ns);
// <INSTANCENAME> (no host, no namespace).
ObjectPath readInstanceName(pugi::xml_node node);
// <LOCALINSTANCEPATH>: namespace and instance name.
ObjectPath readLocalInstancePath(pugi::xml_node node);
// <INSTANCEPATH>: host, namespace and instance name.
ObjectPath readInstancePath(pugi::xml_node node);
// <CLASSPATH>, <LOCALCLASSPATH> or <CLASSNAME>: a path without keys.
ObjectPath readClassPath(pugi::xml_node node);
// <OBJECTPATH>: INSTANCEPATH or CLASSPATH inside.
ObjectPath readObjectPath(pugi::xml_node node);
// <VALUE.REFERENCE>: whichever path element it holds.
ObjectPath readValueReference(pugi::xml_node node);

// The value element (VALUE, VALUE.ARRAY, VALUE.REFERENCE or VALUE.REFARRAY)
// among the children of node; a null value of the given type when there is
// none (an array when isArray). Untyped values (typed false) read as
// Value::untyped. Besides the QUALIFIER elements of a property, any other
// child, or a second value, is refused.
Value readValue(pugi::xml_node node, Type type, bool typed = true,
                bool isArray = false);
// <VALUE>TRUE</VALUE> (case ignored) or FALSE among the children of node.
bool readBooleanValue(pugi::xml_node node);
// <PROPERTY>, <PROPERTY.ARRAY> or <PROPERTY.REFERENCE>.
Property readProperty(pugi::xml_node node);
// <INSTANCE>: class name and properties; qualifiers are skipped.
Instance readInstance(pugi::xml_node node);
// <VALUE.NAMEDINSTANCE>: the instance, its path set from INSTANCENAME.
Instance readNamedInstance(pugi::xml_node node);
// <PARAMVALUE> (PARAMTYPE optional) or <RETURNVALUE>.
ParamValue readParamValue(pugi::xml_node node);

// The text of a text-only element (VALUE, KEYVALUE, HOST): all its text and
// CDATA pieces joined in order; XmlException if it holds an element.
std::string readText(pugi::xml_node node);

// One kind of child element an element may hold, and whether it may come
// more than once.
struct ChildRule {
  const char* name;
  bool repeats;
};
// Checks the content of an element whose children are elements only: each
// child element must be one the rules name (once, unless it repeats; with
// oneOf, one element at most in all), and text only white space. Otherwise
// XmlException naming the child and the element. Returns the number of
// child elements (to size what is read from them).
std::size_t checkChildren(pugi::xml_node node, std::initializer_list<ChildRule> rules,
                          bool oneOf = false);

}  // namespace xml
}  // namespace cim

#endif  // CIM_XML_READER_H
