#include "sim/schema.h"

#include "cim/name.h"

namespace sim {

const char* const STORAGE_SYSTEM = "QNZARN_StorageSystem";
const char* const REPLICATION_SERVICE = "QNZARN_StorageRemoteReplicationService";
const char* const CONSISTENCY_SET = "QNZARN_ConsistencySet";
const char* const STORAGE_VOLUME = "QNZARN_StorageVolume";
const char* const PROTOCOL_CONTROLLER = "QNZARN_ViewProtocolController";
const char* const HOSTED_SERVICE = "CIM_HostedService";
const char* const ORDERED_MEMBER = "QNZARN_OrderedMemberOfCollection";
const char* const HOSTED_DR_GROUP = "QNZARN_HostedDRGroupCollection";
const char* const MEMBER_OF_COLLECTION = "CIM_MemberOfCollection";
const char* const CONTROLLER_FOR_VOLUME = "QNZARN_ProtocolControllerForVolume";
const char* const SYSTEM_DEVICE = "QNZARN_SystemDevice";

const PropertyDef* ClassDef::property(const std::string& n) const {
  for (const PropertyDef& p : properties)
    if (cim::equalsIgnoreCase(p.name, n)) return &p;
  return nullptr;
}

const MethodDef* ClassDef::method(const std::string& n) const {
  for (const MethodDef& m : methods)
    if (cim::equalsIgnoreCase(m.name, n)) return &m;
  return nullptr;
}

namespace {

PropertyDef key(const std::string& name) {
  PropertyDef p;
  p.name = name;
  p.type = "string";
  p.isKey = true;
  return p;
}

PropertyDef prop(const std::string& name, const std::string& type = "string") {
  PropertyDef p;
  p.name = name;
  p.type = type;
  return p;
}

PropertyDef ref(const std::string& name, const std::string& refClass) {
  PropertyDef p;
  p.name = name;
  p.type = "reference";
  p.isKey = true;
  p.referenceClass = refClass;
  return p;
}

ClassDef association(const std::string& name, const std::string& super,
                     PropertyDef a, PropertyDef b) {
  ClassDef c;
  c.name = name;
  c.superClass = super;
  c.isAssociation = true;
  c.properties = {a, b};
  return c;
}

}  // namespace

Schema::Schema() {
  // The device keys shared by volumes and protocol controllers.
  const std::vector<PropertyDef> deviceKeys = {
      key("CreationClassName"), key("DeviceID"),
      key("SystemCreationClassName"), key("SystemName")};

  ClassDef system;
  system.name = STORAGE_SYSTEM;
  system.superClass = "CIM_ComputerSystem";
  system.properties = {key("CreationClassName"), key("Name"),
                       prop("ElementName"), prop("NameFormat")};
  classes_.push_back(system);

  ClassDef service;
  service.name = REPLICATION_SERVICE;
  service.superClass = "CIM_ReplicationService";
  service.properties = {key("CreationClassName"), key("Name"),
                        key("SystemCreationClassName"), key("SystemName"),
                        prop("ElementName")};
  MethodDef failover;
  failover.name = "FastFailover";
  failover.returnType = "uint32";
  failover.parameters = {
      {"QNKey", "string", false, true, false},
      {"ConsistencySet", "string", true, true, false},
      {"ErrorCodes", "uint32", true, false, true},
  };
  service.methods.push_back(failover);
  classes_.push_back(service);

  ClassDef set;
  set.name = CONSISTENCY_SET;
  set.superClass = "CIM_ConsistencySet";
  set.properties = {key("InstanceID"),     prop("ElementName"),
                    prop("ParticipationType"), prop("LinkState"),
                    prop("LogState"),      prop("FailSafe"),
                    prop("FailSafeLock"),  prop("Suspend"),
                    prop("WriteMode"),     prop("Fullcopystate"),
                    prop("TotalTransmit")};
  classes_.push_back(set);

  ClassDef volume;
  volume.name = STORAGE_VOLUME;
  volume.superClass = "CIM_StorageVolume";
  volume.properties = deviceKeys;
  volume.properties.push_back(prop("Name"));
  volume.properties.push_back(prop("ElementName"));
  classes_.push_back(volume);

  ClassDef controller;
  controller.name = PROTOCOL_CONTROLLER;
  controller.superClass = "CIM_SCSIProtocolController";
  controller.properties = deviceKeys;
  controller.properties.push_back(prop("ElementName"));
  classes_.push_back(controller);

  classes_.push_back(association(HOSTED_SERVICE, "CIM_HostedDependency",
                                 ref("Antecedent", "CIM_System"),
                                 ref("Dependent", "CIM_Service")));
  classes_.push_back(association(MEMBER_OF_COLLECTION, "",
                                 ref("Collection", "CIM_Collection"),
                                 ref("Member", "CIM_ManagedElement")));
  classes_.push_back(association(ORDERED_MEMBER, "CIM_OrderedMemberOfCollection",
                                 ref("Collection", CONSISTENCY_SET),
                                 ref("Member", STORAGE_VOLUME)));
  classes_.push_back(association(HOSTED_DR_GROUP, "CIM_HostedCollection",
                                 ref("Antecedent", STORAGE_SYSTEM),
                                 ref("Dependent", CONSISTENCY_SET)));
  classes_.push_back(association(CONTROLLER_FOR_VOLUME,
                                 "CIM_ProtocolControllerForUnit",
                                 ref("Antecedent", PROTOCOL_CONTROLLER),
                                 ref("Dependent", STORAGE_VOLUME)));
  classes_.push_back(association(SYSTEM_DEVICE, "CIM_SystemDevice",
                                 ref("GroupComponent", STORAGE_SYSTEM),
                                 ref("PartComponent", "CIM_LogicalDevice")));

  ancestors_ = {
      {"CIM_ManagedElement", ""},
      {"CIM_ManagedSystemElement", "CIM_ManagedElement"},
      {"CIM_LogicalElement", "CIM_ManagedSystemElement"},
      {"CIM_EnabledLogicalElement", "CIM_LogicalElement"},
      {"CIM_System", "CIM_EnabledLogicalElement"},
      {"CIM_ComputerSystem", "CIM_System"},
      {"CIM_Service", "CIM_EnabledLogicalElement"},
      {"CIM_ReplicationService", "CIM_Service"},
      {"CIM_Collection", "CIM_ManagedElement"},
      {"CIM_SystemSpecificCollection", "CIM_Collection"},
      {"CIM_ConsistencySet", "CIM_SystemSpecificCollection"},
      {"CIM_LogicalDevice", "CIM_EnabledLogicalElement"},
      {"CIM_StorageExtent", "CIM_LogicalDevice"},
      {"CIM_StorageVolume", "CIM_StorageExtent"},
      {"CIM_ProtocolController", "CIM_LogicalDevice"},
      {"CIM_SCSIProtocolController", "CIM_ProtocolController"},
      {"CIM_Dependency", ""},
      {"CIM_HostedDependency", "CIM_Dependency"},
      {"CIM_HostedCollection", "CIM_HostedDependency"},
      {"CIM_ProtocolControllerForDevice", "CIM_Dependency"},
      {"CIM_ProtocolControllerForUnit", "CIM_ProtocolControllerForDevice"},
      {"CIM_Component", ""},
      {"CIM_SystemComponent", "CIM_Component"},
      {"CIM_SystemDevice", "CIM_SystemComponent"},
      {"CIM_OrderedMemberOfCollection", MEMBER_OF_COLLECTION},
  };
}

const Schema& Schema::instance() {
  static const Schema schema;
  return schema;
}

const ClassDef* Schema::find(const std::string& className) const {
  for (const ClassDef& c : classes_)
    if (cim::equalsIgnoreCase(c.name, className)) return &c;
  return nullptr;
}

bool Schema::knows(const std::string& className) const {
  if (find(className)) return true;
  for (const auto& a : ancestors_)
    if (cim::equalsIgnoreCase(a.first, className)) return true;
  return false;
}

std::string Schema::superOf(const std::string& className) const {
  if (const ClassDef* c = find(className)) return c->superClass;
  for (const auto& a : ancestors_)
    if (cim::equalsIgnoreCase(a.first, className)) return a.second;
  return "";
}

bool Schema::isA(const std::string& className,
                 const std::string& ancestor) const {
  std::string c = className;
  // The hierarchy is shallow; the bound only guards against a cycle.
  for (int depth = 0; !c.empty() && depth < 32; ++depth) {
    if (cim::equalsIgnoreCase(c, ancestor)) return true;
    c = superOf(c);
  }
  return false;
}

std::string Schema::canonical(const std::string& className) const {
  if (const ClassDef* c = find(className)) return c->name;
  for (const auto& a : ancestors_)
    if (cim::equalsIgnoreCase(a.first, className)) return a.first;
  return className;
}

}  // namespace sim
