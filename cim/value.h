// CIM values: a type, scalar or array, possibly null. The system reads and
// writes strings and unsigned 32-bit integers (and arrays of them); values of
// the other CIM types are kept as the text the server sent, so they can be
// shown and passed on. A reference is kept as its object path text form.
#ifndef CIM_VALUE_H
#define CIM_VALUE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cim {

enum class Type {
  BOOLEAN,
  UINT8,
  SINT8,
  UINT16,
  SINT16,
  UINT32,
  SINT32,
  UINT64,
  SINT64,
  REAL32,
  REAL64,
  CHAR16,
  STRING,
  DATETIME,
  REFERENCE,
};

// "uint32" for Type::UINT32 ... as in the TYPE and PARAMTYPE attributes.
const char* typeName(Type type);
// Reads a TYPE/PARAMTYPE attribute (case-insensitive); false if unknown.
bool typeFromName(std::string_view name, Type* type);

class Value {
 public:
  Value() = default;  // a null string
  explicit Value(std::string s);
  explicit Value(const char* s) : Value(std::string(s)) {}
  explicit Value(std::uint32_t n);
  explicit Value(bool b);
  explicit Value(std::vector<std::string> items);
  explicit Value(std::vector<std::uint32_t> items);

  static Value null(Type type, bool isArray = false);
  // A scalar or array of the given type from its XML text, unchecked
  // (values as the server sent them).
  static Value fromText(Type type, std::string text);
  static Value arrayFromText(Type type, std::vector<std::string> items);
  // A value whose type the sender left out (a PARAMVALUE without PARAMTYPE):
  // typed as a string, but the numeric getters read its text too.
  static Value untyped(std::string text);
  static Value untypedArray(std::vector<std::string> items);

  Type getType() const { return type_; }
  bool isArray() const { return array_; }
  bool isNull() const { return null_; }
  bool isTyped() const { return typed_; }
  size_t getArraySize() const { return array_ ? items_.size() : 0; }

  // The getters throw TypeMismatchException when the value has another type
  // or shape. A null scalar string reads as "", a null array as empty; a
  // null uint32 throws.
  std::string getString() const;
  std::uint32_t getUint32() const;
  bool getBoolean() const;
  std::vector<std::string> getStringArray() const;
  std::vector<std::uint32_t> getUint32Array() const;

  // XML texts: the one scalar text, or the array elements.
  const std::string& getText() const { return text_; }
  const std::vector<std::string>& getItems() const { return items_; }

  // For logs: the scalar text, "a,b,c" for arrays, "NULL" for null.
  std::string toString() const;

  bool operator==(const Value& other) const;
  bool operator!=(const Value& other) const { return !(*this == other); }

 private:
  void requireType(Type type, bool array, const char* wanted) const;

  Type type_ = Type::STRING;
  bool array_ = false;
  bool null_ = true;
  bool typed_ = true;
  std::string text_;
  std::vector<std::string> items_;
};

// Reads decimal text as uint32; false unless it is all digits and in range.
bool parseUint32(std::string_view text, std::uint32_t* out);

}  // namespace cim

#endif  // CIM_VALUE_H
