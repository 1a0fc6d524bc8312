// The questions the programs ask an SMI-S server about the arrays, each
// answered once: the storage systems and the one with a world wide name, an
// array's replication service, a DR group side found three ways (each
// program keeps the way its callers rely on), and a DR group's member disks.
// The functions that ask the server throw what the CIM client throws; each
// says how many requests it makes.
#ifndef ZARN_SMIS_SMIS_LOOKUP_H
#define ZARN_SMIS_SMIS_LOOKUP_H

#include <string>
#include <vector>

#include "cim/instance.h"
#include "cim/object_path.h"

class Logger;
class SMISServer;

// One instance with all its properties, no qualifiers and no class origin;
// only the properties of its own class with localOnly: one request.
cim::Instance readInstance(SMISServer& server, const cim::ObjectPath& path,
                           bool localOnly = true);

// The names of the resultClass instances associated with from through
// association: one request.
std::vector<cim::ObjectPath> associatedNames(SMISServer& server, const cim::ObjectPath& from,
                                             const char* association, const char* resultClass);

// The storage systems the server manages: one request.
std::vector<cim::ObjectPath> enumerateStorageSystems(SMISServer& server);

// The first of systems whose "Name" key is exactly wwn, or null. With log,
// each path without keys passed over on the way is reported at debug level.
const cim::ObjectPath* findStorageSystem(const std::vector<cim::ObjectPath>& systems,
                                         const std::string& wwn, Logger* log = nullptr);

// The replication services of a storage system: one request.
std::vector<cim::ObjectPath> findReplicationServices(SMISServer& server,
                                                     const cim::ObjectPath& system);

// A DR group side named by its InstanceID, as the device ID map keeps it:
// built here, without a request.
cim::ObjectPath drGroupPath(const std::string& instanceID);

// Three ways to find a DR group side. drenable and zarndiscovery look at
// every DR group the server has and match the array by the InstanceID's
// first characters; ZARNGetDRState walks the storage system's own DR groups
// and matches ElementName alone; ZARNGetVdiskWWN matches the InstanceID the
// device ID map holds.

// Every DR group side with its InstanceID and ElementName: one request.
std::vector<cim::Instance> enumerateDRGroups(SMISServer& server);
// The array name (the InstanceID's first 16 characters) and the element
// name of a DR group side of enumerateDRGroups; false when the provider
// left either property out.
bool drGroupIdentity(const cim::Instance& group, std::string* arrayName,
                     std::string* elementName);
// The first of groups on the array storageName named elementName, or null.
const cim::Instance* findDRGroupByInstanceIDPrefix(const std::vector<cim::Instance>& groups,
                                                   const std::string& storageName,
                                                   const std::string& elementName);

// The DR group of the storage system whose ElementName is elementName: one
// request for the system's DR groups, then one per DR group until found.
// False when none is.
bool findDRGroupByElementName(SMISServer& server, const cim::ObjectPath& system,
                              const std::string& elementName, cim::ObjectPath* group);

// The DR group side whose InstanceID key is instanceID: one request. An
// empty instanceID finds none.
bool findDRGroupByInstanceID(SMISServer& server, const std::string& instanceID,
                             cim::ObjectPath* group);

// The "Name" of each member disk of the DR group, in the server's order:
// one request for the disks, then one per disk.
std::vector<std::string> memberDiskNames(SMISServer& server, const cim::ObjectPath& group);

#endif  // ZARN_SMIS_SMIS_LOOKUP_H
