// The words the system shares with the SMI-S provider: the classes and
// associations it asks for, the properties it reads, the failover method and
// its parameters, the DR group name prefix, and the defaults of a connection
// (ports, query time-out). Every program spells them through this header.
#ifndef ZARN_SMIS_SCHEMA_H
#define ZARN_SMIS_SCHEMA_H

#include <cstdint>

namespace schema {

// Classes.
constexpr char STORAGE_SYSTEM[] = "QNZARN_StorageSystem";
constexpr char CONSISTENCY_SET[] = "QNZARN_ConsistencySet";  // one side of a DR group
constexpr char REPLICATION_SERVICE[] = "QNZARN_StorageRemoteReplicationService";
constexpr char STORAGE_VOLUME[] = "QNZARN_StorageVolume";
constexpr char VIEW_CONTROLLER[] = "QNZARN_ViewProtocolController";

// Associations.
constexpr char HOSTED_SERVICE[] = "CIM_HostedService";  // system, replication service
constexpr char ORDERED_MEMBER[] = "QNZARN_OrderedMemberOfCollection";  // DR group, disks
constexpr char HOSTED_DR_GROUP[] = "QNZARN_HostedDRGroupCollection";   // system, DR groups
constexpr char MEMBER_OF_COLLECTION[] = "CIM_MemberOfCollection";      // disk, DR group
constexpr char CONTROLLER_FOR_VOLUME[] = "QNZARN_ProtocolControllerForVolume";
constexpr char SYSTEM_DEVICE[] = "QNZARN_SystemDevice";  // system, its disks

// Keys and identifying properties.
constexpr char NAME[] = "Name";  // a storage system's world wide name, a disk's WWN
constexpr char INSTANCE_ID[] = "InstanceID";  // a DR group side; starts with its array's name
constexpr char ELEMENT_NAME[] = "ElementName";
// Characters of a DR group's InstanceID that name the array holding it.
constexpr unsigned ARRAY_NAME_LENGTH = 16;

// DR group state properties; the first four are always there.
constexpr char PARTICIPATION_TYPE[] = "ParticipationType";
constexpr char LINK_STATE[] = "LinkState";
constexpr char LOG_STATE[] = "LogState";
constexpr char FAIL_SAFE[] = "FailSafe";
constexpr char FAIL_SAFE_LOCK[] = "FailSafeLock";
constexpr char SUSPEND[] = "Suspend";
constexpr char WRITE_MODE[] = "WriteMode";
constexpr char FULL_COPY_STATE[] = "Fullcopystate";
constexpr char TOTAL_TRANSMIT[] = "TotalTransmit";
// The value that switches a DR group's failsafe mode off.
constexpr char FAIL_SAFE_DISABLE[] = "disable";

// The failover method of the replication service and its parameters.
constexpr char FAST_FAILOVER[] = "FastFailover";
constexpr char FAILOVER_KEY[] = "QNKey";
constexpr char FAILOVER_KEY_VALUE[] = "MXRud";
constexpr char FAILOVER_GROUP[] = "ConsistencySet";

// Put in front of a DR group's configured name: its ElementName on the array.
constexpr char DR_GROUP_PREFIX[] = "\\Data Replication\\";

// Ports of a server entry without one.
constexpr std::uint32_t DEFAULT_HTTP_PORT = 5988;
constexpr std::uint32_t DEFAULT_HTTPS_PORT = 5989;

// Seconds a request may take when nothing else is configured.
constexpr int DEFAULT_QUERY_TIMEOUT = 300;

}  // namespace schema

#endif  // ZARN_SMIS_SCHEMA_H
