// Instances and what travels with them: properties (name and value),
// instances (class, path, properties in the server's order), method
// parameters and property lists (which properties an enumeration returns).
#ifndef CIM_INSTANCE_H
#define CIM_INSTANCE_H

#include <string>
#include <vector>

#include "cim/name.h"
#include "cim/object_path.h"
#include "cim/value.h"

namespace cim {

class Property {
 public:
  Property() = default;
  Property(Name name, Value value, Name classOrigin = Name(),
           bool propagated = false)
      : name_(std::move(name)),
        value_(std::move(value)),
        classOrigin_(std::move(classOrigin)),
        propagated_(propagated) {}

  const Name& getName() const { return name_; }
  const Value& getValue() const { return value_; }
  void setValue(Value value) { value_ = std::move(value); }
  Type getType() const { return value_.getType(); }
  const Name& getClassOrigin() const { return classOrigin_; }
  void setClassOrigin(Name origin) { classOrigin_ = std::move(origin); }
  bool getPropagated() const { return propagated_; }

 private:
  Name name_;
  Value value_;
  Name classOrigin_;
  bool propagated_ = false;
};

class Instance {
 public:
  static constexpr size_t NOT_FOUND = static_cast<size_t>(-1);

  Instance() = default;
  explicit Instance(Name className) : className_(std::move(className)) {}

  const Name& getClassName() const { return className_; }
  // The path the instance was read at (enumerations and GetInstance set it).
  const ObjectPath& getPath() const { return path_; }
  void setPath(ObjectPath path) { path_ = std::move(path); }

  size_t getPropertyCount() const { return properties_.size(); }
  const Property& getProperty(size_t index) const { return properties_.at(index); }
  // Index of the property of that name (case ignored), or NOT_FOUND.
  size_t findProperty(const Name& name) const;
  bool hasProperty(const Name& name) const { return findProperty(name) != NOT_FOUND; }
  // The property of that name; NoSuchPropertyException if there is none.
  const Property& getProperty(const Name& name) const;
  // Replaces a property of the same name, or appends it.
  void setProperty(Property property);
  void addProperty(Property property) { properties_.push_back(std::move(property)); }
  void reserveProperties(size_t count) { properties_.reserve(count); }
  const std::vector<Property>& getProperties() const { return properties_; }

 private:
  Name className_;
  ObjectPath path_;
  std::vector<Property> properties_;
};

// A named method parameter. Typed parameters carry PARAMTYPE on the wire.
class ParamValue {
 public:
  ParamValue() = default;
  ParamValue(std::string name, Value value, bool isTyped = true)
      : name_(std::move(name)), value_(std::move(value)), typed_(isTyped) {}

  const std::string& getParameterName() const { return name_; }
  const Value& getValue() const { return value_; }
  bool isTyped() const { return typed_; }

 private:
  std::string name_;
  Value value_;
  bool typed_ = true;
};

// Which properties an operation returns: null means all of them; an empty
// list means none.
class PropertyList {
 public:
  PropertyList() = default;  // null: all properties
  explicit PropertyList(std::vector<Name> names)
      : null_(false), names_(std::move(names)) {}

  bool isNull() const { return null_; }
  size_t size() const { return names_.size(); }
  const Name& operator[](size_t i) const { return names_.at(i); }
  const std::vector<Name>& getNames() const { return names_; }
  // Null lists contain everything; names compare without case.
  bool contains(const Name& name) const;

 private:
  bool null_ = true;
  std::vector<Name> names_;
};

}  // namespace cim

#endif  // CIM_INSTANCE_H
