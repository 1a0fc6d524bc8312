// Names in CIM: class, property, key, method and parameter names (Name) and
// namespace names (NamespaceName). Both compare without regard to ASCII
// letter case, as CIM servers do; the text keeps the case it was given.
#ifndef CIM_NAME_H
#define CIM_NAME_H

#include <string>
#include <string_view>

namespace cim {

// ASCII case-insensitive equality.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// True for a legal CIM identifier: a letter, '_' or a non-ASCII byte first,
// then letters, digits, '_' or non-ASCII bytes.
bool isLegalName(std::string_view text);

class Name {
 public:
  Name() = default;  // the null name ("no class given")
  // Empty text gives the null name; other text must be a legal name, else
  // InvalidNameException.
  Name(std::string text);  // NOLINT(runtime/explicit): names read as text
  Name(const char* text) : Name(std::string(text)) {}  // NOLINT
  Name(std::string_view text) : Name(std::string(text)) {}  // NOLINT

  const std::string& getString() const { return text_; }
  const std::string& str() const { return text_; }
  bool isNull() const { return text_.empty(); }
  bool equal(const Name& other) const { return equalsIgnoreCase(text_, other.text_); }

 private:
  std::string text_;
};

inline bool operator==(const Name& a, const Name& b) { return a.equal(b); }
inline bool operator!=(const Name& a, const Name& b) { return !a.equal(b); }

// "root/ZARN": legal names joined by '/'. One leading '/' is dropped.
class NamespaceName {
 public:
  NamespaceName() = default;  // the null namespace
  // InvalidNameException for empty text, an empty segment or an illegal
  // segment.
  NamespaceName(std::string text);  // NOLINT(runtime/explicit)
  NamespaceName(const char* text) : NamespaceName(std::string(text)) {}  // NOLINT

  const std::string& getString() const { return text_; }
  const std::string& str() const { return text_; }
  bool isNull() const { return text_.empty(); }
  bool equal(const NamespaceName& other) const {
    return equalsIgnoreCase(text_, other.text_);
  }

  static bool isLegal(std::string_view text);

 private:
  std::string text_;
};

inline bool operator==(const NamespaceName& a, const NamespaceName& b) {
  return a.equal(b);
}
inline bool operator!=(const NamespaceName& a, const NamespaceName& b) {
  return !a.equal(b);
}

}  // namespace cim

#endif  // CIM_NAME_H
