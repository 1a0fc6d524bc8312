#include "cim/value.h"

#include "cim/exception.h"
#include "cim/name.h"

namespace cim {

namespace {

const char* const kTypeNames[] = {
    "boolean", "uint8",  "sint8",  "uint16", "sint16", "uint32",   "sint32",
    "uint64",  "sint64", "real32", "real64", "char16", "string", "datetime",
    "reference",
};

}  // namespace

const char* typeName(Type type) {
  return kTypeNames[static_cast<int>(type)];
}

bool typeFromName(std::string_view name, Type* type) {
  for (size_t i = 0; i < sizeof(kTypeNames) / sizeof(kTypeNames[0]); ++i) {
    if (equalsIgnoreCase(name, kTypeNames[i])) {
      *type = static_cast<Type>(i);
      return true;
    }
  }
  return false;
}

bool parseUint32(std::string_view text, std::uint32_t* out) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (n > 0xFFFFFFFFull) return false;
  *out = static_cast<std::uint32_t>(n);
  return true;
}

Value::Value(std::string s)
    : type_(Type::STRING), null_(false), text_(std::move(s)) {}

Value::Value(std::uint32_t n)
    : type_(Type::UINT32), null_(false), text_(std::to_string(n)) {}

Value::Value(bool b)
    : type_(Type::BOOLEAN), null_(false), text_(b ? "TRUE" : "FALSE") {}

Value::Value(std::vector<std::string> items)
    : type_(Type::STRING), array_(true), null_(false), items_(std::move(items)) {}

Value::Value(std::vector<std::uint32_t> items)
    : type_(Type::UINT32), array_(true), null_(false) {
  items_.reserve(items.size());
  for (std::uint32_t n : items) items_.push_back(std::to_string(n));
}

Value Value::null(Type type, bool isArray) {
  Value v;
  v.type_ = type;
  v.array_ = isArray;
  return v;
}

Value Value::fromText(Type type, std::string text) {
  Value v;
  v.type_ = type;
  v.null_ = false;
  v.text_ = std::move(text);
  return v;
}

Value Value::arrayFromText(Type type, std::vector<std::string> items) {
  Value v;
  v.type_ = type;
  v.array_ = true;
  v.null_ = false;
  v.items_ = std::move(items);
  return v;
}

Value Value::untyped(std::string text) {
  Value v = fromText(Type::STRING, std::move(text));
  v.typed_ = false;
  return v;
}

Value Value::untypedArray(std::vector<std::string> items) {
  Value v = arrayFromText(Type::STRING, std::move(items));
  v.typed_ = false;
  return v;
}

void Value::requireType(Type type, bool array, const char* wanted) const {
  bool typeOk = type_ == type || (!typed_ && type != Type::REFERENCE);
  if (typeOk && array_ == array) return;
  throw TypeMismatchException(std::string("Type mismatch: a ") +
                              typeName(type_) + (array_ ? " array" : "") +
                              " value read as " + wanted);
}

std::string Value::getString() const {
  requireType(Type::STRING, false, "string");
  return text_;
}

std::uint32_t Value::getUint32() const {
  requireType(Type::UINT32, false, "uint32");
  std::uint32_t n = 0;
  if (null_ || !parseUint32(text_, &n))
    throw TypeMismatchException(null_ ? "Null uint32 value"
                                      : "Not a uint32 value: \"" + text_ + "\"");
  return n;
}

bool Value::getBoolean() const {
  requireType(Type::BOOLEAN, false, "boolean");
  if (equalsIgnoreCase(text_, "TRUE")) return true;
  if (equalsIgnoreCase(text_, "FALSE")) return false;
  throw TypeMismatchException("Not a boolean value: \"" + text_ + "\"");
}

std::vector<std::string> Value::getStringArray() const {
  requireType(Type::STRING, true, "string array");
  return items_;
}

std::vector<std::uint32_t> Value::getUint32Array() const {
  requireType(Type::UINT32, true, "uint32 array");
  std::vector<std::uint32_t> out;
  out.reserve(items_.size());
  for (const auto& item : items_) {
    std::uint32_t n = 0;
    if (!parseUint32(item, &n))
      throw TypeMismatchException("Not a uint32 value: \"" + item + "\"");
    out.push_back(n);
  }
  return out;
}

std::string Value::toString() const {
  if (null_) return "NULL";
  if (!array_) return text_;
  std::string out;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i) out += ',';
    out += items_[i];
  }
  return out;
}

bool Value::operator==(const Value& other) const {
  return type_ == other.type_ && array_ == other.array_ &&
         null_ == other.null_ && text_ == other.text_ && items_ == other.items_;
}

}  // namespace cim
