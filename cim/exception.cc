#include "cim/exception.h"

namespace cim {

namespace {

const char* const kStatusNames[] = {
    "CIM_ERR_SUCCESS",
    "CIM_ERR_FAILED",
    "CIM_ERR_ACCESS_DENIED",
    "CIM_ERR_INVALID_NAMESPACE",
    "CIM_ERR_INVALID_PARAMETER",
    "CIM_ERR_INVALID_CLASS",
    "CIM_ERR_NOT_FOUND",
    "CIM_ERR_NOT_SUPPORTED",
    "CIM_ERR_CLASS_HAS_CHILDREN",
    "CIM_ERR_CLASS_HAS_INSTANCES",
    "CIM_ERR_INVALID_SUPERCLASS",
    "CIM_ERR_ALREADY_EXISTS",
    "CIM_ERR_NO_SUCH_PROPERTY",
    "CIM_ERR_TYPE_MISMATCH",
    "CIM_ERR_QUERY_LANGUAGE_NOT_SUPPORTED",
    "CIM_ERR_INVALID_QUERY",
    "CIM_ERR_METHOD_NOT_AVAILABLE",
    "CIM_ERR_METHOD_NOT_FOUND",
};

std::string cimExceptionMessage(std::uint32_t code, const std::string& description) {
  std::string name = statusCodeName(code);
  if (description.empty()) return name;
  if (description.compare(0, name.size(), name) == 0) return description;
  return name + ": " + description;
}

}  // namespace

std::string escapeControl(std::string_view text) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7f) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string statusCodeName(std::uint32_t code) {
  if (code < sizeof(kStatusNames) / sizeof(kStatusNames[0])) return kStatusNames[code];
  return "CIM_ERR_" + std::to_string(code);
}

CIMException::CIMException(std::uint32_t code, std::string_view description)
    : Exception(cimExceptionMessage(code, escapeControl(description))),
      code_(code),
      description_(escapeControl(description)) {}

}  // namespace cim
