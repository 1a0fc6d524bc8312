// Reading the body of a CIM-XML response into the results of the operation
// that was sent. Each function takes the body text, checks the envelope
// (CIM, MESSAGE with the ID sent, SIMPLERSP, the response element of the
// operation) and then reads the result.
//
// Failures: XmlException when the body is not well-formed or not valid
// CIM-XML; ResponseException when it answers another message or another
// operation; CIMException for an ERROR element. An empty messageId skips the
// ID check.
#ifndef CIM_RESPONSE_PARSER_H
#define CIM_RESPONSE_PARSER_H

#include <string>
#include <string_view>
#include <vector>

#include "cim/instance.h"
#include "cim/object_path.h"
#include "cim/value.h"

namespace cim {
namespace response {

std::vector<ObjectPath> parseEnumerateInstanceNames(std::string_view body,
                                                    std::string_view messageId);
std::vector<Instance> parseEnumerateInstances(std::string_view body,
                                              std::string_view messageId);
// The instance (its path is left empty; the caller knows it).
Instance parseGetInstance(std::string_view body, std::string_view messageId);
// Paths with host and namespace as the server gave them.
std::vector<ObjectPath> parseAssociatorNames(std::string_view body,
                                             std::string_view messageId);
void parseSetProperty(std::string_view body, std::string_view messageId);
// The return value (null when the server sent none) and the output
// parameters in the server's order.
Value parseInvokeMethod(std::string_view body, std::string_view messageId,
                        std::string_view method, std::vector<ParamValue>* outParams);

// The same, parsing the body where it lies instead of copying it first
// (what the client does with the bodies it received).
std::vector<ObjectPath> parseEnumerateInstanceNames(std::string&& body,
                                                    std::string_view messageId);
std::vector<Instance> parseEnumerateInstances(std::string&& body,
                                              std::string_view messageId);
Instance parseGetInstance(std::string&& body, std::string_view messageId);
std::vector<ObjectPath> parseAssociatorNames(std::string&& body,
                                             std::string_view messageId);
void parseSetProperty(std::string&& body, std::string_view messageId);
Value parseInvokeMethod(std::string&& body, std::string_view messageId,
                        std::string_view method, std::vector<ParamValue>* outParams);

}  // namespace response
}  // namespace cim

#endif  // CIM_RESPONSE_PARSER_H
