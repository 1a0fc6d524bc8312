#include "zarn/smis/smis_lookup.h"

#include "cim/client.h"
#include "drif/logger.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/smis_server.h"

cim::Instance readInstance(SMISServer& server, const cim::ObjectPath& path, bool localOnly) {
  return server.getCIMClient().getInstance(server.getCimNamespace(), path, localOnly,
                                           /*includeQualifiers=*/false,
                                           /*includeClassOrigin=*/false);
}

std::vector<cim::ObjectPath> associatedNames(SMISServer& server, const cim::ObjectPath& from,
                                             const char* association, const char* resultClass) {
  return server.getCIMClient().associatorNames(server.getCimNamespace(), from, association,
                                               resultClass);
}

std::vector<cim::ObjectPath> enumerateStorageSystems(SMISServer& server) {
  return server.getCIMClient().enumerateInstanceNames(server.getCimNamespace(),
                                                      schema::STORAGE_SYSTEM);
}

const cim::ObjectPath* findStorageSystem(const std::vector<cim::ObjectPath>& systems,
                                         const std::string& wwn, Logger* log) {
  for (const cim::ObjectPath& path : systems) {
    if (log != nullptr && path.getKeyBindings().empty())
      log->logDebug("No keyBinding information found in a Storage System Object Path");
    const std::string* name = path.findKey(schema::NAME);
    if (name != nullptr && *name == wwn) return &path;
  }
  return nullptr;
}

std::vector<cim::ObjectPath> findReplicationServices(SMISServer& server,
                                                     const cim::ObjectPath& system) {
  return associatedNames(server, system, schema::HOSTED_SERVICE, schema::REPLICATION_SERVICE);
}

cim::ObjectPath drGroupPath(const std::string& instanceID) {
  return cim::ObjectPath("", cim::NamespaceName(), schema::CONSISTENCY_SET,
                         {cim::KeyBinding(schema::INSTANCE_ID, instanceID)});
}

std::vector<cim::Instance> enumerateDRGroups(SMISServer& server) {
  return server.getCIMClient().enumerateInstances(
      server.getCimNamespace(), schema::CONSISTENCY_SET,
      /*deepInheritance=*/true, /*localOnly=*/false,
      /*includeQualifiers=*/false, /*includeClassOrigin=*/false,
      cim::PropertyList({schema::INSTANCE_ID, schema::ELEMENT_NAME}));
}

bool drGroupIdentity(const cim::Instance& group, std::string* arrayName,
                     std::string* elementName) {
  if (!group.hasProperty(schema::INSTANCE_ID) || !group.hasProperty(schema::ELEMENT_NAME))
    return false;
  *arrayName = group.getProperty(schema::INSTANCE_ID)
                   .getValue()
                   .getString()
                   .substr(0, schema::ARRAY_NAME_LENGTH);
  *elementName = group.getProperty(schema::ELEMENT_NAME).getValue().getString();
  return true;
}

const cim::Instance* findDRGroupByInstanceIDPrefix(const std::vector<cim::Instance>& groups,
                                                   const std::string& storageName,
                                                   const std::string& elementName) {
  for (const cim::Instance& group : groups) {
    // A DR group the provider reports without its identifying properties
    // cannot be the one sought; it must not stop the search.
    std::string array, name;
    if (!drGroupIdentity(group, &array, &name)) continue;
    if (array == storageName && name == elementName) return &group;
  }
  return nullptr;
}

bool findDRGroupByElementName(SMISServer& server, const cim::ObjectPath& system,
                              const std::string& elementName, cim::ObjectPath* group) {
  std::vector<cim::ObjectPath> groups =
      associatedNames(server, system, schema::HOSTED_DR_GROUP, schema::CONSISTENCY_SET);
  for (const cim::ObjectPath& path : groups) {
    cim::Instance instance = readInstance(server, path);
    // A DR group reported without a name cannot be the one sought.
    size_t at = instance.findProperty(schema::ELEMENT_NAME);
    if (at == cim::Instance::NOT_FOUND) continue;
    const cim::Value& name = instance.getProperty(at).getValue();
    if (name.getType() != cim::Type::STRING || name.isArray()) continue;
    if (name.getString() == elementName) {
      *group = path;
      return true;
    }
  }
  return false;
}

bool findDRGroupByInstanceID(SMISServer& server, const std::string& instanceID,
                             cim::ObjectPath* group) {
  std::vector<cim::ObjectPath> groups = server.getCIMClient().enumerateInstanceNames(
      server.getCimNamespace(), schema::CONSISTENCY_SET);
  // Without an identifier there is nothing to match: no DR group is.
  if (instanceID.empty()) return false;
  for (const cim::ObjectPath& path : groups) {
    const std::string* id = path.findKey(schema::INSTANCE_ID);
    if (id != nullptr && *id == instanceID) {
      *group = path;
      return true;
    }
  }
  return false;
}

std::vector<std::string> memberDiskNames(SMISServer& server, const cim::ObjectPath& group) {
  std::vector<cim::ObjectPath> disks =
      associatedNames(server, group, schema::ORDERED_MEMBER, schema::STORAGE_VOLUME);
  std::vector<std::string> names;
  for (const cim::ObjectPath& disk : disks)
    names.push_back(readInstance(server, disk).getProperty(schema::NAME).getValue().getString());
  return names;
}
