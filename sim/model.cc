#include "sim/model.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "sim/schema.h"

using cim::equalsIgnoreCase;

namespace sim {

const char* const STATE_PROPERTIES[9] = {
    "ParticipationType", "LinkState", "LogState",
    "FailSafe",          "FailSafeLock", "Suspend",
    "WriteMode",         "Fullcopystate", "TotalTransmit"};

CimError CimError::make(std::uint32_t code, const std::string& text) {
  CimError e;
  e.code = code;
  e.description = cim::statusCodeName(code) + ": " + text;
  return e;
}

bool samePath(const cim::ObjectPath& a, const cim::ObjectPath& b) {
  if (a.getClassName() != b.getClassName()) return false;
  const auto& keys = a.getKeyBindings();
  if (keys.size() != b.getKeyBindings().size()) return false;
  for (const cim::KeyBinding& k : keys) {
    const std::string* other = b.findKey(k.getName());
    if (!other || *other != k.getValue()) return false;
  }
  return true;
}

namespace {

const std::string SERVICE_SUFFIX = "\\RS";
const std::string CONTROLLER_PREFIX = "VPC\\";

size_t stateIndex(const std::string& name) {
  for (size_t i = 0; i < 9; ++i)
    if (equalsIgnoreCase(STATE_PROPERTIES[i], name)) return i;
  return 9;
}

unsigned long numberOf(const std::string& text) {
  char* end = nullptr;
  unsigned long v = std::strtoul(text.c_str(), &end, 10);
  return end == text.c_str() ? 0 : v;
}

cim::KeyBinding keyOf(const char* name, const std::string& value) {
  return cim::KeyBinding(name, value);
}

void add(cim::Instance* inst, const char* name, const std::string& value) {
  inst->addProperty(cim::Property(name, cim::Value(value)));
}

std::string fold(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Two paths have the same key exactly when samePath() holds: the class and
// key names without case, the key bindings as a set, values as given.
std::string pathKey(const cim::ObjectPath& path) {
  std::vector<std::string> keys;
  for (const cim::KeyBinding& k : path.getKeyBindings())
    keys.push_back(fold(k.getName().str()) + '\0' +
                   std::to_string(k.getValue().size()) + ':' + k.getValue());
  std::sort(keys.begin(), keys.end());
  std::string out = fold(path.getClassName().str());
  for (const std::string& k : keys) out += '\0' + k;
  return out;
}

}  // namespace

void Model::setState(DrSide* side, const std::string& name,
                     const std::optional<cim::Value>& value) {
  size_t index = stateIndex(name);
  std::string canonical = index < 9 ? STATE_PROPERTIES[index] : name;
  auto it = std::find_if(side->state.begin(), side->state.end(),
                         [&](const cim::Property& p) {
                           return equalsIgnoreCase(p.getName().str(), canonical);
                         });
  if (!value) {
    if (it != side->state.end()) side->state.erase(it);
    return;
  }
  if (it != side->state.end()) {
    it->setValue(*value);
    return;
  }
  // Keep the nine in their fixed order, other properties after them.
  auto pos = std::find_if(side->state.begin(), side->state.end(),
                          [&](const cim::Property& p) {
                            return stateIndex(p.getName().str()) > index;
                          });
  side->state.insert(pos, cim::Property(canonical, *value));
}

std::string Model::stateText(const DrSide& side, const std::string& name) {
  for (const cim::Property& p : side.state) {
    const cim::Value& v = p.getValue();
    if (equalsIgnoreCase(p.getName().str(), name) && !v.isNull() && !v.isArray())
      return v.getText();
  }
  return "";
}

std::vector<DrSide*> Model::selectSides(DrGroup* group,
                                        const std::string& side) {
  std::vector<DrSide*> picked;
  for (DrSide& s : group->sides) {
    const StorageArray& a = arrays[s.array];
    bool match;
    if (side == "both")
      match = true;
    else if (side == "source" || side == "destination")
      match = stateText(s, "ParticipationType") == side;
    else
      match = side == a.id || side == a.wwn;
    if (match) picked.push_back(&s);
  }
  return picked;
}

void Model::apply(DrGroup* group, const StateChange& change) {
  // Resolve the sides first: the change may itself swap the roles.
  std::vector<DrSide*> sides = selectSides(group, change.side);
  for (DrSide* s : sides)
    for (const auto& entry : change.set) setState(s, entry.first, entry.second);
}

bool Model::visible(const Ref& r) const {
  if (r.kind == Kind::Set)
    return arrays[drGroups[r.a].sides[r.b].array].managed;
  return arrays[r.a].managed;
}

cim::ObjectPath Model::pathOf(const Ref& r, const Index& index) const {
  cim::ObjectPath p;
  switch (r.kind) {
    case Kind::System:
      p.setClassName(STORAGE_SYSTEM);
      p.setKeyBindings({keyOf("CreationClassName", STORAGE_SYSTEM),
                        keyOf("Name", arrays[r.a].wwn)});
      break;
    case Kind::Service:
      p.setClassName(REPLICATION_SERVICE);
      p.setKeyBindings({keyOf("CreationClassName", REPLICATION_SERVICE),
                        keyOf("Name", arrays[r.a].wwn + SERVICE_SUFFIX),
                        keyOf("SystemCreationClassName", STORAGE_SYSTEM),
                        keyOf("SystemName", arrays[r.a].wwn)});
      break;
    case Kind::Set:
      p.setClassName(CONSISTENCY_SET);
      p.setKeyBindings({keyOf("InstanceID", drGroups[r.a].sides[r.b].instanceId)});
      break;
    case Kind::Volume:
      p.setClassName(STORAGE_VOLUME);
      p.setKeyBindings({keyOf("CreationClassName", STORAGE_VOLUME),
                        keyOf("DeviceID", arrays[r.a].volumes[r.b].deviceId),
                        keyOf("SystemCreationClassName", STORAGE_SYSTEM),
                        keyOf("SystemName", arrays[r.a].wwn)});
      break;
    case Kind::Controller:
      p.setClassName(PROTOCOL_CONTROLLER);
      p.setKeyBindings({keyOf("CreationClassName", PROTOCOL_CONTROLLER),
                        keyOf("DeviceID", CONTROLLER_PREFIX + index.hosts[r.a][r.b]),
                        keyOf("SystemCreationClassName", STORAGE_SYSTEM),
                        keyOf("SystemName", arrays[r.a].wwn)});
      break;
  }
  return p;
}

cim::Instance Model::build(size_t object) const {
  const Index& ix = index();
  const Ref& r = ix.objects[object];
  const cim::ObjectPath& path = ix.paths[object];
  cim::Instance inst(path.getClassName());
  for (const cim::KeyBinding& k : path.getKeyBindings())
    inst.addProperty(cim::Property(k.getName(), cim::Value(k.getValue())));
  switch (r.kind) {
    case Kind::System:
      add(&inst, "ElementName", arrays[r.a].name);
      add(&inst, "NameFormat", "WWN");
      break;
    case Kind::Service:
      add(&inst, "ElementName", "Remote Replication Service");
      break;
    case Kind::Set: {
      const DrGroup& g = drGroups[r.a];
      add(&inst, "ElementName", g.elementName);
      for (const cim::Property& p : g.sides[r.b].state) inst.addProperty(p);
      break;
    }
    case Kind::Volume: {
      const Volume& v = arrays[r.a].volumes[r.b];
      add(&inst, "Name", v.wwn);
      add(&inst, "ElementName", v.name);
      break;
    }
    case Kind::Controller:
      add(&inst, "ElementName", ix.hosts[r.a][r.b]);
      break;
  }
  inst.setPath(path);
  return inst;
}

const Model::Index& Model::index() const {
  if (!index_ || index_->arrayCount != arrays.size() ||
      index_->groupCount != drGroups.size())
    index_ = buildIndex();
  return *index_;
}

std::shared_ptr<const Model::Index> Model::buildIndex() const {
  auto ix = std::make_shared<Index>();
  ix->arrayCount = arrays.size();
  ix->groupCount = drGroups.size();
  for (const StorageArray& a : arrays) {
    std::vector<std::string> hosts;
    for (const Volume& v : a.volumes)
      for (const std::string& h : v.hosts)
        if (std::find(hosts.begin(), hosts.end(), h) == hosts.end())
          hosts.push_back(h);
    ix->hosts.push_back(hosts);
  }

  auto add = [&](Ref r) {
    if (!visible(r)) return;
    ix->nodes[r].object = ix->objects.size();
    ix->objects.push_back(r);
    ix->paths.push_back(pathOf(r, *ix));
    ix->byPath[pathKey(ix->paths.back())].push_back(ix->objects.size() - 1);
  };
  for (size_t a = 0; a < arrays.size(); ++a) add({Kind::System, a, 0});
  for (size_t a = 0; a < arrays.size(); ++a) add({Kind::Service, a, 0});
  for (size_t g = 0; g < drGroups.size(); ++g)
    for (size_t s = 0; s < drGroups[g].sides.size(); ++s)
      add({Kind::Set, g, s});
  for (size_t a = 0; a < arrays.size(); ++a)
    for (size_t v = 0; v < arrays[a].volumes.size(); ++v)
      add({Kind::Volume, a, v});
  for (size_t a = 0; a < arrays.size(); ++a)
    for (size_t h = 0; h < ix->hosts[a].size(); ++h) add({Kind::Controller, a, h});

  std::vector<Edge>& edges = ix->edges;
  for (size_t a = 0; a < arrays.size(); ++a) {
    Ref system{Kind::System, a, 0};
    edges.push_back({HOSTED_SERVICE, "Antecedent", system, "Dependent",
                     Ref{Kind::Service, a, 0}});
    for (size_t v = 0; v < arrays[a].volumes.size(); ++v)
      edges.push_back({SYSTEM_DEVICE, "GroupComponent", system, "PartComponent",
                       Ref{Kind::Volume, a, v}});
    const std::vector<std::string>& hosts = ix->hosts[a];
    for (size_t h = 0; h < hosts.size(); ++h)
      edges.push_back({SYSTEM_DEVICE, "GroupComponent", system, "PartComponent",
                       Ref{Kind::Controller, a, h}});
    for (size_t v = 0; v < arrays[a].volumes.size(); ++v) {
      for (const std::string& host : arrays[a].volumes[v].hosts) {
        size_t h = std::find(hosts.begin(), hosts.end(), host) - hosts.begin();
        edges.push_back({CONTROLLER_FOR_VOLUME, "Antecedent",
                         Ref{Kind::Controller, a, h}, "Dependent",
                         Ref{Kind::Volume, a, v}});
      }
    }
  }
  for (size_t g = 0; g < drGroups.size(); ++g) {
    for (size_t s = 0; s < drGroups[g].sides.size(); ++s) {
      const DrSide& side = drGroups[g].sides[s];
      Ref set{Kind::Set, g, s};
      edges.push_back({HOSTED_DR_GROUP, "Antecedent",
                       Ref{Kind::System, side.array, 0}, "Dependent", set});
      for (size_t v : side.volumes)
        edges.push_back({ORDERED_MEMBER, "Collection", set, "Member",
                         Ref{Kind::Volume, side.array, v}});
      ix->groupBySetId.emplace(side.instanceId, g);
    }
  }
  for (size_t e = 0; e < edges.size(); ++e) {
    ix->nodes[edges[e].a].ends.push_back({e, 0});
    ix->nodes[edges[e].b].ends.push_back({e, 1});
  }
  return ix;
}

CimError Model::find(const cim::ObjectPath& path, size_t* object) const {
  const Schema& schema = Schema::instance();
  const std::string& className = path.getClassName().str();
  if (!schema.knows(className))
    return CimError::make(cim::CIM_ERR_INVALID_CLASS,
                          "class " + className + " does not exist");
  const Index& ix = index();
  auto it = ix.byPath.find(pathKey(path));
  if (it == ix.byPath.end())
    return CimError::make(cim::CIM_ERR_NOT_FOUND,
                          "no instance " + path.toLocalString());
  *object = it->second.front();
  return CimError();
}

std::vector<cim::Instance> Model::instances(const cim::Name& className) const {
  std::vector<cim::Instance> result;
  const Schema& schema = Schema::instance();
  const Index& ix = index();
  // Each kind of object has one class.
  const char* const classes[] = {STORAGE_SYSTEM, REPLICATION_SERVICE,
                                 CONSISTENCY_SET, STORAGE_VOLUME,
                                 PROTOCOL_CONTROLLER};
  bool wanted[5];
  for (int k = 0; k < 5; ++k) wanted[k] = schema.isA(classes[k], className.str());
  for (size_t o = 0; o < ix.objects.size(); ++o)
    if (wanted[static_cast<int>(ix.objects[o].kind)]) result.push_back(build(o));
  return result;
}

std::vector<cim::Instance> Model::instancesAt(const cim::ObjectPath& path) const {
  std::vector<cim::Instance> result;
  const Index& ix = index();
  auto it = ix.byPath.find(pathKey(path));
  if (it != ix.byPath.end())
    for (size_t o : it->second) result.push_back(build(o));
  return result;
}

CimError Model::getInstance(const cim::ObjectPath& path, cim::Instance* out) {
  size_t object = 0;
  CimError e = find(path, &object);
  if (!e.ok()) return e;
  *out = build(object);
  const Ref& ref = index().objects[object];
  if (ref.kind == Kind::Set) countRead(&drGroups[ref.a]);
  return CimError();
}

void Model::countRead(DrGroup* group) {
  group->reads++;
  for (const ReadEvent& ev : group->events)
    if (ev.afterReads == group->reads) apply(group, ev.change);
  for (Countdown& c : group->countdowns) {
    if (c.finished || c.everyReads == 0 || group->reads % c.everyReads != 0)
      continue;
    bool zero = true;
    for (DrSide* s : selectSides(group, c.side)) {
      unsigned long now = numberOf(stateText(*s, c.property));
      unsigned long next = now > c.step ? now - c.step : 0;
      bool number = false;
      for (const cim::Property& p : s->state)
        if (equalsIgnoreCase(p.getName().str(), c.property))
          number = p.getValue().getType() == cim::Type::UINT32;
      setState(s, c.property,
               number ? cim::Value(static_cast<std::uint32_t>(next))
                      : cim::Value(std::to_string(next)));
      if (next > 0) zero = false;
    }
    if (zero) {
      c.finished = true;
      for (const StateChange& change : c.then) apply(group, change);
    }
  }
}

CimError Model::associatorNames(const cim::ObjectPath& path,
                                const cim::Name& assocClass,
                                const cim::Name& resultClass,
                                const std::string& role,
                                const std::string& resultRole,
                                std::vector<cim::ObjectPath>* out) const {
  const Schema& schema = Schema::instance();
  const std::string& assoc = assocClass.str();
  const std::string& result = resultClass.str();
  if (!assoc.empty() && !schema.knows(assoc))
    return CimError::make(cim::CIM_ERR_INVALID_PARAMETER,
                          "association class " + assoc + " does not exist");
  if (!result.empty() && !schema.knows(result))
    return CimError::make(cim::CIM_ERR_INVALID_PARAMETER,
                          "result class " + result + " does not exist");
  size_t self = 0;
  CimError e = find(path, &self);
  if (!e.ok()) return e;
  const Index& ix = index();
  // The ends of every association the object takes part in, in the order
  // of the associations; either end may be the object asked about.
  std::vector<size_t> found;
  std::set<size_t> seen;
  for (const auto& end : ix.nodes.at(ix.objects[self]).ends) {
    const Edge& edge = ix.edges[end.first];
    if (!assoc.empty() && !schema.isA(edge.assocClass, assoc)) continue;
    const Ref& other = end.second == 0 ? edge.b : edge.a;
    const char* myRole = end.second == 0 ? edge.roleA : edge.roleB;
    const char* otherRole = end.second == 0 ? edge.roleB : edge.roleA;
    size_t object = ix.nodes.at(other).object;
    if (object == NONE) continue;  // not visible
    if (!role.empty() && !equalsIgnoreCase(role, myRole)) continue;
    if (!resultRole.empty() && !equalsIgnoreCase(resultRole, otherRole)) continue;
    if (!result.empty() &&
        !schema.isA(ix.paths[object].getClassName().str(), result))
      continue;
    if (seen.insert(object).second) found.push_back(object);
  }
  for (size_t object : found) {
    cim::ObjectPath p = ix.paths[object];
    p.setHost(host);
    p.setNameSpace(nameSpace);
    out->push_back(p);
  }
  return CimError();
}

CimError Model::setProperty(const cim::ObjectPath& path, const std::string& name,
                            const cim::Value& value) {
  size_t object = 0;
  CimError e = find(path, &object);
  if (!e.ok()) return e;
  cim::Instance inst = build(object);
  Ref ref = index().objects[object];
  const std::string& className = inst.getClassName().str();
  const ClassDef* def = Schema::instance().find(className);
  bool known = def && def->property(name);
  for (const cim::Property& p : inst.getProperties())
    known = known || equalsIgnoreCase(p.getName().str(), name);
  if (!known)
    return CimError::make(cim::CIM_ERR_NO_SUCH_PROPERTY,
                          "no property " + name + " in " + className);
  if (ref.kind != Kind::Set || !equalsIgnoreCase(name, "FailSafe"))
    return CimError::make(cim::CIM_ERR_NOT_SUPPORTED,
                          "property " + name + " is read-only");
  if (value.isNull() || value.isArray() || value.getType() != cim::Type::STRING)
    return CimError::make(cim::CIM_ERR_TYPE_MISMATCH, "FailSafe takes a string");
  const std::string& text = value.getText();
  if (text != "enable" && text != "disable" && text != "enabled" &&
      text != "disabled")
    return CimError::make(cim::CIM_ERR_INVALID_PARAMETER,
                          "FailSafe cannot be set to \"" + text + "\"");
  setState(&drGroups[ref.a].sides[ref.b], "FailSafe", cim::Value(text));
  return CimError();
}

const DrGroup* Model::drGroupOf(const cim::ObjectPath& setPath) const {
  if (!equalsIgnoreCase(setPath.getClassName().str(), CONSISTENCY_SET)) return nullptr;
  const std::string* id = setPath.findKey("InstanceID");
  if (!id || setPath.getKeyBindings().size() != 1) return nullptr;
  const Index& ix = index();
  auto it = ix.groupBySetId.find(*id);
  return it == ix.groupBySetId.end() ? nullptr : &drGroups[it->second];
}

FailoverResult Model::naturalFailover(const DrGroup& group,
                                      size_t localSide) const {
  FailoverResult r;
  const DrSide& local = group.sides[localSide];
  std::uint32_t code = 0;
  std::string suspend = stateText(local, "Suspend");
  if (stateText(local, "ParticipationType") != "destination") {
    code = INVALID_DR_MODE;
  } else if (suspend == "yes" || suspend == "suspended") {
    code = CONNECTION_SUSPENDED;
  } else {
    for (const DrSide& s : group.sides)
      if (stateText(s, "Fullcopystate") == "yes") code = INVALID_DR_STATE;
    if (code == 0)
      for (const DrSide& s : group.sides)
        if (stateText(s, "LogState") == "merging") code = DR_GROUP_IS_MERGING;
  }
  if (code != 0) {
    r.returnValue = FAILOVER_REFUSED;
    r.errorCodes = {code};
  }
  return r;
}

CimError Model::fastFailover(const cim::ObjectPath& servicePath,
                             const std::string& key,
                             const std::vector<std::string>& consistencySets,
                             FailoverOutcome* outcome) {
  size_t object = 0;
  CimError e = find(servicePath, &object);
  if (!e.ok()) return e;
  Ref service = index().objects[object];
  if (service.kind != Kind::Service)
    return CimError::make(cim::CIM_ERR_METHOD_NOT_FOUND,
                          "no method FastFailover in " +
                              servicePath.getClassName().str());
  outcome->array = arrays[service.a].wwn;
  if (key != qnKey)
    return CimError::make(cim::CIM_ERR_INVALID_PARAMETER, "QNKey is not valid");
  if (consistencySets.size() != 1)
    return CimError::make(cim::CIM_ERR_INVALID_PARAMETER,
                          "ConsistencySet must hold exactly one object path");
  cim::ObjectPath setPath;
  try {
    setPath = cim::ObjectPath::parse(consistencySets.front());
  } catch (const cim::Exception& x) {
    return CimError::make(cim::CIM_ERR_INVALID_PARAMETER,
                          "ConsistencySet: " + x.getMessage());
  }
  e = find(setPath, &object);
  if (!e.ok()) return e;
  Ref set = index().objects[object];
  if (set.kind != Kind::Set)
    return CimError::make(cim::CIM_ERR_INVALID_PARAMETER,
                          "ConsistencySet does not name a consistency set");
  DrGroup& group = drGroups[set.a];
  outcome->drGroup = group.elementName;
  if (group.sides[set.b].array != service.a)
    return CimError::make(cim::CIM_ERR_INVALID_PARAMETER,
                          "the consistency set is not on this storage system");

  FailoverResult result;
  if (!group.failoverResults.empty()) {
    result = group.failoverResults.front();
    group.failoverResults.pop_front();
    outcome->scripted = true;
  } else {
    result = naturalFailover(group, set.b);
  }
  outcome->returnValue = result.returnValue;
  outcome->errorCodes = result.errorCodes;
  outcome->scalarOutput = result.scalarOutput;
  if (result.returnValue == 0 && result.swap != "none") {
    for (size_t s = 0; s < group.sides.size(); ++s) {
      if (s != set.b && result.swap != "both") continue;
      setState(&group.sides[s], "ParticipationType",
               cim::Value(s == set.b ? "source" : "destination"));
    }
  }
  for (const StateChange& change : result.then) apply(&group, change);
  return CimError();
}

}  // namespace sim
