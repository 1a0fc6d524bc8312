#include "cim/name.h"

#include "cim/exception.h"

namespace cim {

namespace {

inline char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool isNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         c >= 0x80;
}

inline bool isNameChar(unsigned char c) {
  return isNameStart(c) || (c >= '0' && c <= '9');
}

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool isLegalName(std::string_view text) {
  if (text.empty() || !isNameStart(static_cast<unsigned char>(text[0])))
    return false;
  for (char c : text)
    if (!isNameChar(static_cast<unsigned char>(c))) return false;
  return true;
}

Name::Name(std::string text) : text_(std::move(text)) {
  if (!text_.empty() && !isLegalName(text_))
    throw InvalidNameException("Invalid CIM name \"" + text_ + "\"");
}

bool NamespaceName::isLegal(std::string_view text) {
  if (!text.empty() && text[0] == '/') text.remove_prefix(1);
  if (text.empty()) return false;
  size_t start = 0;
  while (true) {
    size_t slash = text.find('/', start);
    std::string_view segment = text.substr(
        start, slash == std::string_view::npos ? std::string_view::npos
                                               : slash - start);
    if (!isLegalName(segment)) return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

NamespaceName::NamespaceName(std::string text) {
  if (!isLegal(text))
    throw InvalidNameException("Invalid CIM namespace name \"" + text + "\"");
  if (text[0] == '/') text.erase(0, 1);
  text_ = std::move(text);
}

}  // namespace cim
