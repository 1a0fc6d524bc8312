#include "cim/instance.h"

#include "cim/exception.h"

namespace cim {

size_t Instance::findProperty(const Name& name) const {
  for (size_t i = 0; i < properties_.size(); ++i)
    if (properties_[i].getName() == name) return i;
  return NOT_FOUND;
}

const Property& Instance::getProperty(const Name& name) const {
  size_t i = findProperty(name);
  if (i == NOT_FOUND)
    throw NoSuchPropertyException("No property \"" + name.getString() +
                                  "\" in the instance of " +
                                  className_.getString());
  return properties_[i];
}

void Instance::setProperty(Property property) {
  size_t i = findProperty(property.getName());
  if (i == NOT_FOUND)
    properties_.push_back(std::move(property));
  else
    properties_[i] = std::move(property);
}

bool PropertyList::contains(const Name& name) const {
  if (null_) return true;
  for (const auto& n : names_)
    if (n == name) return true;
  return false;
}

}  // namespace cim
