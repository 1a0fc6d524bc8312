// The simulated arrays as one provider sees them: storage systems with their
// replication service, virtual disks and presentations to hosts, and DR
// groups with one consistency set per array. The model turns this into CIM
// instances and associations on demand and carries the scripted behaviour:
// a queue of FastFailover results per DR group and state changes after a
// number of reads. Not thread-safe; the caller serialises access.
//
// Lookups go through an index of the layout (which objects exist, their
// paths and associations), built on the first lookup. Instances are built
// from the current state at every lookup, so state changes (reads, role
// swaps, countdowns, SetProperty) never make the index stale; only the
// layout does: adding or removing arrays or DR groups is noticed, any other
// change to it (volumes, hosts, sides, instance ids, managed) after a lookup
// needs reindex().
#ifndef SIM_MODEL_H
#define SIM_MODEL_H

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cim/exception.h"
#include "cim/instance.h"
#include "cim/object_path.h"
#include "cim/value.h"

namespace sim {

// FastFailover refusal codes.
const std::uint32_t INVALID_DR_MODE = 32769;
const std::uint32_t INVALID_DR_STATE = 32770;
const std::uint32_t DR_GROUP_IS_MERGING = 32771;
const std::uint32_t CONNECTION_SUSPENDED = 32782;
const std::uint32_t STORAGE_SYSTEM_BUSY = 32790;
const std::uint32_t LOCK_COLLISION = 32801;
// Return value of a refused FastFailover unless the scenario says otherwise.
const std::uint32_t FAILOVER_REFUSED = 4;

// The outcome of an operation on the model: code 0, or a CIM status code
// and its description.
struct CimError {
  std::uint32_t code = 0;
  std::string description;

  bool ok() const { return code == 0; }
  // The description is the code's name, ": " and text.
  static CimError make(std::uint32_t code, const std::string& text);
};

// Same class and the same set of keys, names compared without case and
// values as text whatever their kind; host and namespace are not compared.
bool samePath(const cim::ObjectPath& a, const cim::ObjectPath& b);

// The nine DR group state properties, in the order they are served.
extern const char* const STATE_PROPERTIES[9];

struct Volume {
  std::string id;        // unique on its array; the scenario's handle
  std::string deviceId;  // DeviceID key
  std::string wwn;       // "Name" property
  std::string name;      // "ElementName" property
  std::vector<std::string> hosts;  // presented to these hosts
};

struct StorageArray {
  std::string id;    // the scenario's handle
  std::string wwn;   // "Name" key: the array's world wide name
  std::string name;  // "ElementName"
  bool managed = true;  // false: the provider does not report this array
  std::vector<Volume> volumes;
};

// Properties to set on the sides a selector picks: "source" or
// "destination" (by the current participation type), "both", or an array's
// id or world wide name. A property without value is removed.
struct StateChange {
  std::string side;
  std::vector<std::pair<std::string, std::optional<cim::Value>>> set;
};

// A change that happens once the DR group has been read afterReads times.
struct ReadEvent {
  unsigned long afterReads = 0;
  StateChange change;
};

// Every everyReads reads, lowers a numeric property by step down to 0; when
// it reaches 0 the changes in then are made once.
struct Countdown {
  std::string side;
  std::string property = "TotalTransmit";
  unsigned long step = 1;
  unsigned long everyReads = 1;
  std::vector<StateChange> then;
  bool finished = false;
};

// One scripted answer to FastFailover.
struct FailoverResult {
  std::uint32_t returnValue = 0;
  std::vector<std::uint32_t> errorCodes;  // first output parameter; empty: none
  bool scalarOutput = false;              // send the first code as a scalar
  std::string swap = "both";  // on return value 0: "both", "local" or "none"
  std::vector<StateChange> then;  // made after the swap
};

struct DrSide {
  size_t array = 0;  // index into Model::arrays
  std::string instanceId;
  std::vector<size_t> volumes;    // indexes into the array's volumes, in order
  std::vector<cim::Property> state;  // present state properties
};

struct DrGroup {
  std::string name;         // short name as the scenario gives it
  std::string elementName;  // "\Data Replication\" + name unless given
  std::vector<DrSide> sides;
  std::deque<FailoverResult> failoverResults;
  std::vector<ReadEvent> events;
  std::vector<Countdown> countdowns;
  unsigned long reads = 0;  // GetInstance/GetProperty requests on its sides
};

// What a FastFailover call did, for the reply and the request log.
struct FailoverOutcome {
  std::string drGroup;  // element name of the DR group
  std::string array;    // world wide name of the array asked
  std::uint32_t returnValue = 0;
  std::vector<std::uint32_t> errorCodes;
  bool scalarOutput = false;
  bool scripted = false;  // taken from the scenario's queue
};

class Model {
 public:
  std::string nameSpace = "root/ZARN";
  std::string host = "zarnsim";  // HOST of the paths in associator answers
  std::string qnKey = "MXRud";   // expected vendor key of FastFailover
  std::vector<StorageArray> arrays;
  std::vector<DrGroup> drGroups;

  // Instances of className and its subclasses, in model order.
  std::vector<cim::Instance> instances(const cim::Name& className) const;
  // The instances at path (see samePath), in model order; not a read.
  std::vector<cim::Instance> instancesAt(const cim::ObjectPath& path) const;
  // The instance at path; a read of a DR group side counts towards its
  // scripted changes, which take effect after this answer.
  CimError getInstance(const cim::ObjectPath& path, cim::Instance* out);
  // Null names and empty roles do not filter.
  CimError associatorNames(const cim::ObjectPath& path,
                           const cim::Name& assocClass,
                           const cim::Name& resultClass,
                           const std::string& role,
                           const std::string& resultRole,
                           std::vector<cim::ObjectPath>* out) const;
  CimError setProperty(const cim::ObjectPath& path, const std::string& name,
                       const cim::Value& value);
  // FastFailover on the replication service at servicePath with the given
  // ConsistencySet entries (object paths in text form).
  CimError fastFailover(const cim::ObjectPath& servicePath,
                        const std::string& key,
                        const std::vector<std::string>& consistencySets,
                        FailoverOutcome* outcome);

  // The DR group whose side the path names, or null.
  const DrGroup* drGroupOf(const cim::ObjectPath& setPath) const;
  // Sets (or, without value, removes) a state property of a side.
  static void setState(DrSide* side, const std::string& name,
                       const std::optional<cim::Value>& value);
  // The text of a side's state property; empty when absent.
  static std::string stateText(const DrSide& side, const std::string& name);
  // The sides of a group a selector picks (see StateChange).
  std::vector<DrSide*> selectSides(DrGroup* group, const std::string& side);
  void apply(DrGroup* group, const StateChange& change);
  // Drops the index after a change of layout the model cannot notice.
  void reindex() { index_.reset(); }

 private:
  enum class Kind { System, Service, Set, Volume, Controller };
  struct Ref {
    Kind kind;
    size_t a;  // array index; DR group index for sets
    size_t b;  // volume, host or side index
    bool operator==(const Ref& o) const {
      return kind == o.kind && a == o.a && b == o.b;
    }
    bool operator<(const Ref& o) const {
      if (kind != o.kind) return kind < o.kind;
      return a != o.a ? a < o.a : b < o.b;
    }
  };
  struct Edge {
    const char* assocClass;
    const char* roleA;
    Ref a;
    const char* roleB;
    Ref b;
  };
  static const size_t NONE = static_cast<size_t>(-1);
  struct Node {
    size_t object = NONE;  // position in Index::objects; NONE: not visible
    std::vector<std::pair<size_t, int>> ends;  // (edge, end 0 or 1), in edge order
  };
  struct Index {
    size_t arrayCount = 0;  // the layout it was built for
    size_t groupCount = 0;
    std::vector<std::vector<std::string>> hosts;  // per array, first seen first
    std::vector<Ref> objects;  // the visible objects, in model order
    std::vector<cim::ObjectPath> paths;  // of objects
    // pathKey() to the objects at that path, in model order.
    std::unordered_map<std::string, std::vector<size_t>> byPath;
    std::vector<Edge> edges;  // all associations, in model order
    std::map<Ref, Node> nodes;
    std::unordered_map<std::string, size_t> groupBySetId;  // first group wins
  };

  const Index& index() const;
  std::shared_ptr<const Index> buildIndex() const;
  bool visible(const Ref& r) const;
  cim::Instance build(size_t object) const;
  cim::ObjectPath pathOf(const Ref& r, const Index& index) const;
  // The first visible object at path: not found or invalid class errors.
  CimError find(const cim::ObjectPath& path, size_t* object) const;
  void countRead(DrGroup* group);
  FailoverResult naturalFailover(const DrGroup& group, size_t localSide) const;

  // Shared by copies: it holds positions, not pointers.
  mutable std::shared_ptr<const Index> index_;
};

}  // namespace sim

#endif  // SIM_MODEL_H
