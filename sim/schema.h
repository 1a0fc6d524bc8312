// The classes the simulated provider knows: their place in the class
// hierarchy, and for the classes it serves their properties, keys and
// methods (enough for GetClass and for checking requests).
#ifndef SIM_SCHEMA_H
#define SIM_SCHEMA_H

#include <string>
#include <vector>

namespace sim {

// Class names used by the model.
extern const char* const STORAGE_SYSTEM;        // QNZARN_StorageSystem
extern const char* const REPLICATION_SERVICE;   // QNZARN_StorageRemoteReplicationService
extern const char* const CONSISTENCY_SET;       // QNZARN_ConsistencySet
extern const char* const STORAGE_VOLUME;        // QNZARN_StorageVolume
extern const char* const PROTOCOL_CONTROLLER;   // QNZARN_ViewProtocolController
extern const char* const HOSTED_SERVICE;        // CIM_HostedService
extern const char* const ORDERED_MEMBER;        // QNZARN_OrderedMemberOfCollection
extern const char* const HOSTED_DR_GROUP;       // QNZARN_HostedDRGroupCollection
extern const char* const MEMBER_OF_COLLECTION;  // CIM_MemberOfCollection
extern const char* const CONTROLLER_FOR_VOLUME; // QNZARN_ProtocolControllerForVolume
extern const char* const SYSTEM_DEVICE;         // QNZARN_SystemDevice

struct PropertyDef {
  std::string name;
  std::string type;  // CIM type, or "reference" for association ends
  bool isArray = false;
  bool isKey = false;
  std::string referenceClass;  // for references
};

struct ParameterDef {
  std::string name;
  std::string type;
  bool isArray = false;
  bool in = true;
  bool out = false;
};

struct MethodDef {
  std::string name;
  std::string returnType;
  std::vector<ParameterDef> parameters;
};

struct ClassDef {
  std::string name;
  std::string superClass;
  bool isAssociation = false;
  std::vector<PropertyDef> properties;
  std::vector<MethodDef> methods;

  const PropertyDef* property(const std::string& name) const;
  const MethodDef* method(const std::string& name) const;
};

// The fixed schema of the namespace.
class Schema {
 public:
  static const Schema& instance();

  // A class that can be served in full (GetClass); null for unknown ones and
  // for ancestors known only by name.
  const ClassDef* find(const std::string& className) const;
  // True for any class of the namespace, defined or ancestor.
  bool knows(const std::string& className) const;
  // Whether className is ancestor or a subclass of it (names without case).
  bool isA(const std::string& className, const std::string& ancestor) const;
  // The name as the schema spells it (for unknown names, the name given).
  std::string canonical(const std::string& className) const;

 private:
  Schema();
  std::string superOf(const std::string& className) const;

  std::vector<ClassDef> classes_;
  std::vector<std::pair<std::string, std::string>> ancestors_;  // name, super
};

}  // namespace sim

#endif  // SIM_SCHEMA_H
