// Object paths: the name of one CIM instance (host, namespace, class and key
// bindings), with its text form
//   [//host[:port]/][namespace:]Class[.key=value{,key=value}]
// In the text form string and reference keys are quoted, and inside the
// quotes '\' is written "\\" and '"' is written "\"" (a DR group instance ID
// ARRAY1\CG\0001 reads InstanceID="ARRAY1\\CG\\0001"); boolean and numeric
// keys are bare. Key values held here are always the raw values.
#ifndef CIM_OBJECT_PATH_H
#define CIM_OBJECT_PATH_H

#include <string>
#include <string_view>
#include <vector>

#include "cim/name.h"

namespace cim {

class KeyBinding {
 public:
  enum Kind { BOOLEAN, STRING, NUMERIC, REFERENCE };

  KeyBinding() = default;
  KeyBinding(Name name, std::string value, Kind kind = STRING)
      : name_(std::move(name)), value_(std::move(value)), kind_(kind) {}

  const Name& getName() const { return name_; }
  const std::string& getValue() const { return value_; }
  Kind getType() const { return kind_; }
  void setValue(std::string value) { value_ = std::move(value); }

  // Same name (case ignored), same kind and exactly the same value; the
  // values of reference keys are compared as paths.
  bool operator==(const KeyBinding& other) const;
  bool operator!=(const KeyBinding& other) const { return !(*this == other); }

 private:
  Name name_;
  std::string value_;
  Kind kind_ = STRING;
};

class ObjectPath {
 public:
  ObjectPath() = default;
  ObjectPath(std::string host, NamespaceName nameSpace, Name className,
             std::vector<KeyBinding> keyBindings = {})
      : host_(std::move(host)),
        nameSpace_(std::move(nameSpace)),
        className_(std::move(className)),
        keys_(std::move(keyBindings)) {}

  // Reads the text form; InvalidObjectPathException when it cannot.
  static ObjectPath parse(std::string_view text);

  const std::string& getHost() const { return host_; }
  void setHost(std::string host) { host_ = std::move(host); }
  const NamespaceName& getNameSpace() const { return nameSpace_; }
  void setNameSpace(NamespaceName ns) { nameSpace_ = std::move(ns); }
  const Name& getClassName() const { return className_; }
  void setClassName(Name name) { className_ = std::move(name); }
  const std::vector<KeyBinding>& getKeyBindings() const { return keys_; }
  void setKeyBindings(std::vector<KeyBinding> keys) { keys_ = std::move(keys); }
  void addKeyBinding(KeyBinding key) { keys_.push_back(std::move(key)); }

  // Value of the first key of that name (case ignored); nullptr if none.
  const std::string* findKey(const Name& name) const;

  // The text form, keys in the order held.
  std::string toString() const;
  // The text form without host and namespace.
  std::string toLocalString() const;

  // Host and names compared without case, keys as sets (order ignored).
  bool operator==(const ObjectPath& other) const;
  bool operator!=(const ObjectPath& other) const { return !(*this == other); }

 private:
  std::string host_;
  NamespaceName nameSpace_;
  Name className_;
  std::vector<KeyBinding> keys_;
};

// Quotes a value for the text form: "..." with '\' and '"' escaped.
std::string quoteKeyValue(std::string_view raw);
// True for the value of a numeric key: decimal or 0x hexadecimal, with an
// optional sign.
bool isNumericKeyValue(std::string_view value);
// True for the value of a boolean key: TRUE or FALSE in any letter case.
bool isBooleanKeyValue(std::string_view value);

}  // namespace cim

#endif  // CIM_OBJECT_PATH_H
