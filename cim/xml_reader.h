// Reading CIM-XML elements from a pugixml tree: paths, values, properties,
// instances and parameters. The client's response parser and the array
// simulator's request handling both read through these functions. Each
// takes the element itself and throws XmlException naming what is wrong
// when the element is not valid CIM-XML.
//
// Parse documents with PARSE_OPTIONS, so that a value of only blanks
// ("<VALUE> </VALUE>") keeps its blanks.
#ifndef CIM_XML_READER_H
#define CIM_XML_READER_H

#include <pugixml.hpp>

#include <string>
#include <string_view>

#include "cim/instance.h"
#include "cim/name.h"
#include "cim/object_path.h"
#include "cim/value.h"

namespace cim {
namespace xml {

constexpr unsigned PARSE_OPTIONS = pugi::parse_default | pugi::parse_ws_pcdata_single;

// Parses a whole document; XmlException (with pugixml's reason and the byte
// offset) when it is not well-formed.
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
// Value::untyped.
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

// Text of the node's first text child ("" if none).
inline const char* textOf(pugi::xml_node node) { return node.child_value(); }

}  // namespace xml
}  // namespace cim

#endif  // CIM_XML_READER_H
