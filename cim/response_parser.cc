#include "cim/response_parser.h"

#include <pugixml.hpp>

#include <cstring>

#include "cim/exception.h"
#include "cim/name.h"
#include "cim/xml_reader.h"

namespace cim {
namespace response {

namespace {

[[noreturn]] void invalid(const std::string& detail) {
  throw XmlException("Invalid CIM-XML: " + detail);
}

// A response body: read-only text (copied into the document), or a string
// the document may be built in.
struct Body {
  std::string_view text;
  std::string* inPlace = nullptr;
};

// Parses the document and returns the (I)METHODRESPONSE element, after
// turning an ERROR element into a CIMException.
pugi::xml_node openResponse(pugi::xml_document& doc, const Body& body,
                            std::string_view messageId, std::string_view method,
                            bool intrinsic) {
  if (body.inPlace != nullptr)
    xml::loadDocumentInPlace(doc, *body.inPlace);
  else
    xml::loadDocument(doc, body.text);
  pugi::xml_node cim = doc.document_element();
  if (std::strcmp(cim.name(), "CIM") != 0) invalid("the document is not a <CIM> element");
  xml::checkChildren(cim, {{"MESSAGE", false}, {"DECLARATION", false}}, true);
  pugi::xml_node message = cim.child("MESSAGE");
  if (!message) invalid("<CIM> without MESSAGE");
  std::string_view id = message.attribute("ID").value();
  if (!messageId.empty() && id != messageId)
    throw ResponseException("Response to message \"" + std::string(id) +
                            "\" received for message \"" + std::string(messageId) + "\"");
  xml::checkChildren(message,
                     {{"SIMPLERSP", false}, {"MULTIRSP", false}, {"SIMPLEREQ", false},
                      {"MULTIREQ", false}, {"SIMPLEEXPRSP", false}, {"MULTIEXPRSP", false},
                      {"SIMPLEEXPREQ", false}, {"MULTIEXPREQ", false}},
                     true);
  pugi::xml_node simple = message.child("SIMPLERSP");
  if (!simple) invalid("<MESSAGE> without SIMPLERSP");
  xml::checkChildren(simple, {{"IMETHODRESPONSE", false}, {"METHODRESPONSE", false}}, true);
  const char* element = intrinsic ? "IMETHODRESPONSE" : "METHODRESPONSE";
  pugi::xml_node rsp = simple.child(element);
  if (!rsp) {
    pugi::xml_node other = simple.child(intrinsic ? "METHODRESPONSE" : "IMETHODRESPONSE");
    if (other)
      throw ResponseException(std::string("Response of the wrong kind: <") +
                              other.name() + "> to " + std::string(method));
    invalid(std::string("<SIMPLERSP> without ") + element);
  }
  std::string_view name = rsp.attribute("NAME").value();
  if (!equalsIgnoreCase(name, method))
    throw ResponseException("Response to operation \"" + std::string(name) +
                            "\" received for \"" + std::string(method) + "\"");
  if (pugi::xml_node error = rsp.child("ERROR")) {
    std::uint32_t code = 0;
    const char* codeText = error.attribute("CODE").value();
    if (!parseUint32(codeText, &code))
      invalid("<ERROR> with CODE \"" + std::string(codeText) + "\"");
    throw CIMException(code, error.attribute("DESCRIPTION").value());
  }
  if (intrinsic)
    xml::checkChildren(rsp, {{"IRETURNVALUE", false}, {"PARAMVALUE", true}});
  return rsp;
}

// The IRETURNVALUE of an intrinsic response (an empty one when there is
// none), checked to hold only what the operation returns; count (if given)
// is set to the number of elements it holds.
pugi::xml_node returnValue(pugi::xml_node rsp, const char* element, bool repeats,
                           std::size_t* count = nullptr) {
  pugi::xml_node value = rsp.child("IRETURNVALUE");
  std::size_t n = element == nullptr ? xml::checkChildren(value, {})
                                     : xml::checkChildren(value, {{element, repeats}});
  if (count != nullptr) *count = n;
  return value;
}

// Runs a reader, turning a bad name inside the document into an
// XmlException so that callers see one kind of failure for bad bodies.
template <typename F>
auto guarded(F read) -> decltype(read()) {
  try {
    return read();
  } catch (const InvalidNameException& e) {
    invalid(e.getMessage());
  } catch (const InvalidObjectPathException& e) {
    invalid(e.getMessage());
  }
}

std::vector<ObjectPath> enumerateInstanceNames(const Body& body, std::string_view messageId) {
  return guarded([&] {
    pugi::xml_document doc;
    pugi::xml_node rsp = openResponse(doc, body, messageId, "EnumerateInstanceNames", true);
    std::size_t count = 0;
    pugi::xml_node value = returnValue(rsp, "INSTANCENAME", true, &count);
    std::vector<ObjectPath> paths;
    paths.reserve(count);
    for (pugi::xml_node n = value.child("INSTANCENAME"); n;
         n = n.next_sibling("INSTANCENAME"))
      paths.push_back(xml::readInstanceName(n));
    return paths;
  });
}

std::vector<Instance> enumerateInstances(const Body& body, std::string_view messageId) {
  return guarded([&] {
    pugi::xml_document doc;
    pugi::xml_node rsp = openResponse(doc, body, messageId, "EnumerateInstances", true);
    std::size_t count = 0;
    pugi::xml_node value = returnValue(rsp, "VALUE.NAMEDINSTANCE", true, &count);
    std::vector<Instance> instances;
    instances.reserve(count);
    for (pugi::xml_node n = value.child("VALUE.NAMEDINSTANCE"); n;
         n = n.next_sibling("VALUE.NAMEDINSTANCE"))
      instances.push_back(xml::readNamedInstance(n));
    return instances;
  });
}

Instance getInstance(const Body& body, std::string_view messageId) {
  return guarded([&] {
    pugi::xml_document doc;
    pugi::xml_node rsp = openResponse(doc, body, messageId, "GetInstance", true);
    pugi::xml_node inst = returnValue(rsp, "INSTANCE", false).child("INSTANCE");
    if (!inst) invalid("GetInstance response without an INSTANCE");
    return xml::readInstance(inst);
  });
}

std::vector<ObjectPath> associatorNames(const Body& body, std::string_view messageId) {
  return guarded([&] {
    pugi::xml_document doc;
    pugi::xml_node rsp = openResponse(doc, body, messageId, "AssociatorNames", true);
    std::size_t count = 0;
    pugi::xml_node value = returnValue(rsp, "OBJECTPATH", true, &count);
    std::vector<ObjectPath> paths;
    paths.reserve(count);
    for (pugi::xml_node n = value.child("OBJECTPATH"); n;
         n = n.next_sibling("OBJECTPATH"))
      paths.push_back(xml::readObjectPath(n));
    return paths;
  });
}

void setProperty(const Body& body, std::string_view messageId) {
  guarded([&] {
    pugi::xml_document doc;
    returnValue(openResponse(doc, body, messageId, "SetProperty", true), nullptr, false);
    return 0;
  });
}

Value invokeMethod(const Body& body, std::string_view messageId, std::string_view method,
                   std::vector<ParamValue>* outParams) {
  return guarded([&] {
    pugi::xml_document doc;
    pugi::xml_node rsp = openResponse(doc, body, messageId, method, false);
    Value result;
    bool haveResult = false;
    std::vector<ParamValue> out;
    for (pugi::xml_node n = rsp.first_child(); n; n = n.next_sibling()) {
      if (n.type() != pugi::node_element) continue;
      if (std::strcmp(n.name(), "RETURNVALUE") == 0) {
        if (haveResult) invalid("more than one RETURNVALUE");
        result = xml::readParamValue(n).getValue();
        haveResult = true;
      } else if (std::strcmp(n.name(), "PARAMVALUE") == 0) {
        out.push_back(xml::readParamValue(n));
      } else {
        invalid(std::string("unexpected <") + n.name() + "> in <METHODRESPONSE>");
      }
    }
    xml::checkChildren(rsp, {{"RETURNVALUE", false}, {"PARAMVALUE", true}});  // and no text
    *outParams = std::move(out);
    return result;
  });
}

}  // namespace

std::vector<ObjectPath> parseEnumerateInstanceNames(std::string_view body,
                                                    std::string_view messageId) {
  return enumerateInstanceNames(Body{body}, messageId);
}

std::vector<Instance> parseEnumerateInstances(std::string_view body,
                                              std::string_view messageId) {
  return enumerateInstances(Body{body}, messageId);
}

Instance parseGetInstance(std::string_view body, std::string_view messageId) {
  return getInstance(Body{body}, messageId);
}

std::vector<ObjectPath> parseAssociatorNames(std::string_view body,
                                             std::string_view messageId) {
  return associatorNames(Body{body}, messageId);
}

void parseSetProperty(std::string_view body, std::string_view messageId) {
  setProperty(Body{body}, messageId);
}

Value parseInvokeMethod(std::string_view body, std::string_view messageId,
                        std::string_view method, std::vector<ParamValue>* outParams) {
  return invokeMethod(Body{body}, messageId, method, outParams);
}

std::vector<ObjectPath> parseEnumerateInstanceNames(std::string&& body,
                                                    std::string_view messageId) {
  std::string text = std::move(body);
  return enumerateInstanceNames(Body{text, &text}, messageId);
}

std::vector<Instance> parseEnumerateInstances(std::string&& body,
                                              std::string_view messageId) {
  std::string text = std::move(body);
  return enumerateInstances(Body{text, &text}, messageId);
}

Instance parseGetInstance(std::string&& body, std::string_view messageId) {
  std::string text = std::move(body);
  return getInstance(Body{text, &text}, messageId);
}

std::vector<ObjectPath> parseAssociatorNames(std::string&& body,
                                             std::string_view messageId) {
  std::string text = std::move(body);
  return associatorNames(Body{text, &text}, messageId);
}

void parseSetProperty(std::string&& body, std::string_view messageId) {
  std::string text = std::move(body);
  setProperty(Body{text, &text}, messageId);
}

Value parseInvokeMethod(std::string&& body, std::string_view messageId,
                        std::string_view method, std::vector<ParamValue>* outParams) {
  std::string text = std::move(body);
  return invokeMethod(Body{text, &text}, messageId, method, outParams);
}

}  // namespace response
}  // namespace cim
