// Writing CIM-XML: the elements that carry paths, values, instances and
// parameters, and the message envelopes of requests and responses. Both the
// client (requests) and the array simulator (responses) write through these
// functions. Each appends to a string; nothing is indented inside VALUE or
// KEYVALUE, no element that may hold text is written self-closing, and
// values are written raw (no doubled backslashes: that belongs to the object
// path text form only). Reference values and reference keys are held as
// path text; one that cannot be read throws InvalidObjectPathException.
#ifndef CIM_XML_WRITER_H
#define CIM_XML_WRITER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cim/instance.h"
#include "cim/name.h"
#include "cim/object_path.h"
#include "cim/value.h"

namespace cim {
namespace xml {

// Character data: '&', '<' and '>' escaped; carriage returns and other
// control characters as character references.
void appendText(std::string& out, std::string_view text);
// Attribute values: as text, and '"' escaped too.
void appendAttribute(std::string& out, std::string_view text);

// <LOCALNAMESPACEPATH><NAMESPACE NAME="root"/><NAMESPACE NAME="ZARN"/>...
void writeLocalNamespacePath(std::string& out, const NamespaceName& ns);
// <NAMESPACEPATH><HOST>host</HOST><LOCALNAMESPACEPATH>...
void writeNamespacePath(std::string& out, const std::string& host,
                        const NamespaceName& ns);
// <CLASSNAME NAME="..."/>
void writeClassName(std::string& out, const Name& className);
// <INSTANCENAME CLASSNAME="..."><KEYBINDING ...>... (host and namespace of
// the path are not written).
void writeInstanceName(std::string& out, const ObjectPath& path);
// <LOCALINSTANCEPATH>: namespace and instance name.
void writeLocalInstancePath(std::string& out, const ObjectPath& path);
// <INSTANCEPATH>: host, namespace and instance name.
void writeInstancePath(std::string& out, const ObjectPath& path);
// <OBJECTPATH><INSTANCEPATH>...</INSTANCEPATH></OBJECTPATH>, or CLASSPATH
// inside for a path without keys.
void writeObjectPath(std::string& out, const ObjectPath& path);
// <VALUE.REFERENCE> with INSTANCEPATH, LOCALINSTANCEPATH or INSTANCENAME,
// depending on how much of the path is known.
void writeValueReference(std::string& out, const ObjectPath& path);

// VALUE, VALUE.ARRAY, VALUE.REFERENCE or VALUE.REFARRAY; nothing for null.
void writeValue(std::string& out, const Value& value);
// PROPERTY, PROPERTY.ARRAY or PROPERTY.REFERENCE.
void writeProperty(std::string& out, const Property& property,
                   bool includeClassOrigin = false);
// INSTANCE with all its properties.
void writeInstance(std::string& out, const Instance& instance,
                   bool includeClassOrigin = false);
// VALUE.NAMEDINSTANCE: the instance name from instance.getPath(), then the
// instance.
void writeNamedInstance(std::string& out, const Instance& instance,
                        bool includeClassOrigin = false);
// PARAMVALUE, with PARAMTYPE when the parameter is typed.
void writeParamValue(std::string& out, const ParamValue& param);

// IPARAMVALUE elements of intrinsic requests.
void writeIParamClassName(std::string& out, const char* name, const Name& className);
void writeIParamBoolean(std::string& out, const char* name, bool value);
void writeIParamInstanceName(std::string& out, const char* name, const ObjectPath& path);
void writeIParamString(std::string& out, const char* name, std::string_view value);
void writeIParamValue(std::string& out, const char* name, const Value& value);
// Nothing for a null list.
void writeIParamPropertyList(std::string& out, const PropertyList& list);

// Whole documents. The content arguments are already-written elements.
std::string intrinsicRequest(std::string_view messageId, std::string_view method,
                             const NamespaceName& ns, std::string_view iparams);
std::string extrinsicRequest(std::string_view messageId, std::string_view method,
                             const NamespaceName& ns, const ObjectPath& path,
                             std::string_view params);
// IMETHODRESPONSE with an IRETURNVALUE holding returnContent; none at all
// when hasReturnValue is false (SetProperty).
std::string intrinsicResponse(std::string_view messageId, std::string_view method,
                              std::string_view returnContent,
                              bool hasReturnValue = true);
// METHODRESPONSE: RETURNVALUE (none for null) and the output parameters.
std::string extrinsicResponse(std::string_view messageId, std::string_view method,
                              const Value& returnValue,
                              const std::vector<ParamValue>& outParams);
// (I)METHODRESPONSE holding only <ERROR CODE=".." DESCRIPTION=".."/>.
std::string errorResponse(std::string_view messageId, std::string_view method,
                          bool intrinsic, std::uint32_t code,
                          std::string_view description);

}  // namespace xml
}  // namespace cim

#endif  // CIM_XML_WRITER_H
