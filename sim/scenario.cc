#include "sim/scenario.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "cim/name.h"

namespace sim {

namespace {

using nlohmann::json;

// Raised while reading; turned into the error text by parseScenario.
struct Invalid : std::runtime_error {
  Invalid(const std::string& where, const std::string& what)
      : std::runtime_error(where + ": " + what) {}
};

std::string at(const std::string& where, const std::string& member) {
  return where.empty() ? member : where + "." + member;
}

std::string at(const std::string& where, size_t index) {
  return where + "[" + std::to_string(index) + "]";
}

void expectObject(const json& j, const std::string& where) {
  if (!j.is_object()) throw Invalid(where, "must be an object");
}

void allowOnly(const json& j, const std::string& where,
               std::initializer_list<const char*> names) {
  expectObject(j, where);
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool known = std::any_of(names.begin(), names.end(), [&](const char* n) {
      return it.key() == n;
    });
    if (!known) throw Invalid(at(where, it.key()), "unknown member");
  }
}

const json& arrayMember(const json& j, const char* name,
                        const std::string& where) {
  static const json empty = json::array();
  if (!j.contains(name)) return empty;
  const json& a = j.at(name);
  if (!a.is_array()) throw Invalid(at(where, name), "must be an array");
  return a;
}

std::string text(const json& j, const char* name, const std::string& where,
                 const std::string& fallback, bool required = false) {
  if (!j.contains(name)) {
    if (required) throw Invalid(at(where, name), "missing");
    return fallback;
  }
  if (!j.at(name).is_string()) throw Invalid(at(where, name), "must be a string");
  return j.at(name).get<std::string>();
}

unsigned long number(const json& j, const char* name, const std::string& where,
                     unsigned long fallback) {
  if (!j.contains(name)) return fallback;
  if (!j.at(name).is_number_unsigned())
    throw Invalid(at(where, name), "must be a number of 0 or more");
  return j.at(name).get<unsigned long>();
}

bool flag(const json& j, const char* name, const std::string& where,
          bool fallback) {
  if (!j.contains(name)) return fallback;
  if (!j.at(name).is_boolean()) throw Invalid(at(where, name), "must be true or false");
  return j.at(name).get<bool>();
}

std::vector<std::string> strings(const json& j, const char* name,
                                 const std::string& where) {
  std::vector<std::string> out;
  const json& a = arrayMember(j, name, where);
  for (size_t i = 0; i < a.size(); ++i) {
    if (!a[i].is_string()) throw Invalid(at(at(where, name), i), "must be a string");
    out.push_back(a[i].get<std::string>());
  }
  return out;
}

// A state property value: a string, a number (served as uint32) or null
// (the property is absent).
std::uint32_t uint32(const json& j, const std::string& where) {
  if (!j.is_number_unsigned() || j.get<unsigned long>() > 0xFFFFFFFFul)
    throw Invalid(where, "must be a number from 0 to 4294967295");
  return static_cast<std::uint32_t>(j.get<unsigned long>());
}

// A state property value: a string, a number (served as uint32) or null
// (the property is absent).
std::optional<cim::Value> stateValue(const json& j, const std::string& where) {
  if (j.is_null()) return std::nullopt;
  if (j.is_string()) return cim::Value(j.get<std::string>());
  if (j.is_number_unsigned()) return cim::Value(uint32(j, where));
  throw Invalid(where, "must be a string, a number of 0 or more, or null");
}

std::vector<std::pair<std::string, std::optional<cim::Value>>> stateMap(
    const json& j, const std::string& where) {
  expectObject(j, where);
  std::vector<std::pair<std::string, std::optional<cim::Value>>> out;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!cim::isLegalName(it.key()))
      throw Invalid(at(where, it.key()), "is not a legal property name");
    out.push_back({it.key(), stateValue(it.value(), at(where, it.key()))});
  }
  return out;
}

struct Reader {
  Scenario* scenario;
  Model& model() { return scenario->model; }

  const StorageArray* findArray(const std::string& ref) {
    for (const StorageArray& a : model().arrays)
      if (a.id == ref || a.wwn == ref) return &a;
    return nullptr;
  }

  // A side selector must name a role, "both" or an array of the group.
  void checkSelector(const std::string& side, const DrGroup& group,
                     const std::string& where) {
    if (side == "source" || side == "destination" || side == "both") return;
    for (const DrSide& s : group.sides) {
      const StorageArray& a = model().arrays[s.array];
      if (side == a.id || side == a.wwn) return;
    }
    throw Invalid(where, "\"" + side +
                             "\" is neither source, destination, both nor an "
                             "array of this DR group");
  }

  StateChange change(const json& j, const DrGroup& group,
                     const std::string& where) {
    allowOnly(j, where, {"side", "set"});
    StateChange c;
    c.side = text(j, "side", where, "", true);
    checkSelector(c.side, group, at(where, "side"));
    if (!j.contains("set")) throw Invalid(at(where, "set"), "missing");
    c.set = stateMap(j.at("set"), at(where, "set"));
    return c;
  }

  std::vector<StateChange> changes(const json& j, const char* name,
                                   const DrGroup& group,
                                   const std::string& where) {
    std::vector<StateChange> out;
    const json& a = arrayMember(j, name, where);
    for (size_t i = 0; i < a.size(); ++i)
      out.push_back(change(a[i], group, at(at(where, name), i)));
    return out;
  }

  void readArray(const json& j, const std::string& where) {
    allowOnly(j, where, {"id", "wwn", "name", "managed", "volumes"});
    StorageArray a;
    a.id = text(j, "id", where, "", true);
    a.wwn = text(j, "wwn", where, "", true);
    a.name = text(j, "name", where, a.id);
    a.managed = flag(j, "managed", where, true);
    if (findArray(a.id) || findArray(a.wwn))
      throw Invalid(where, "array \"" + a.id + "\" or its wwn given twice");
    const json& vols = arrayMember(j, "volumes", where);
    for (size_t i = 0; i < vols.size(); ++i) {
      std::string w = at(at(where, "volumes"), i);
      allowOnly(vols[i], w, {"id", "wwn", "name", "deviceId", "hosts"});
      Volume v;
      v.id = text(vols[i], "id", w, "", true);
      v.wwn = text(vols[i], "wwn", w, "", true);
      v.name = text(vols[i], "name", w, v.id);
      v.deviceId = text(vols[i], "deviceId", w, v.id);
      v.hosts = strings(vols[i], "hosts", w);
      for (const Volume& other : a.volumes)
        if (other.id == v.id) throw Invalid(w, "volume \"" + v.id + "\" given twice");
      a.volumes.push_back(v);
    }
    model().arrays.push_back(a);
  }

  FailoverResult failoverResult(const json& j, const DrGroup& group,
                                const std::string& where) {
    FailoverResult r;
    std::uint32_t code = 0;
    if (j.is_number_unsigned() || j.is_string()) {
      code = resultCode(j, where);
    } else {
      allowOnly(j, where, {"code", "returnValue", "errorCodes", "scalarOutput",
                           "swap", "then"});
      if (j.contains("code")) code = resultCode(j.at("code"), at(where, "code"));
    }
    r.returnValue = code == 0 ? 0 : FAILOVER_REFUSED;
    if (code != 0) r.errorCodes = {code};
    if (!j.is_object()) return r;
    if (j.contains("returnValue"))
      r.returnValue = uint32(j.at("returnValue"), at(where, "returnValue"));
    if (j.contains("errorCodes")) {
      r.errorCodes.clear();
      const json& a = arrayMember(j, "errorCodes", where);
      for (size_t i = 0; i < a.size(); ++i)
        r.errorCodes.push_back(resultCode(a[i], at(at(where, "errorCodes"), i)));
    }
    r.scalarOutput = flag(j, "scalarOutput", where, false);
    if (r.scalarOutput && r.errorCodes.empty())
      throw Invalid(at(where, "scalarOutput"), "needs a code to send");
    r.swap = text(j, "swap", where, "both");
    if (r.swap != "both" && r.swap != "local" && r.swap != "none")
      throw Invalid(at(where, "swap"), "must be both, local or none");
    r.then = changes(j, "then", group, where);
    return r;
  }

  static std::uint32_t resultCode(const json& j, const std::string& where) {
    if (j.is_number_unsigned()) return uint32(j, where);
    static const std::pair<const char*, std::uint32_t> names[] = {
        {"SUCCESS", 0},
        {"INVALID_DR_MODE", INVALID_DR_MODE},
        {"INVALID_DR_STATE", INVALID_DR_STATE},
        {"DR_GROUP_IS_MERGING", DR_GROUP_IS_MERGING},
        {"CONNECTION_SUSPENDED", CONNECTION_SUSPENDED},
        {"STORAGE_SYSTEM_BUSY", STORAGE_SYSTEM_BUSY},
        {"LOCK_COLLISION", LOCK_COLLISION},
    };
    if (j.is_string())
      for (const auto& n : names)
        if (j.get<std::string>() == n.first) return n.second;
    throw Invalid(where, "must be a number of 0 or more or a result name "
                         "such as LOCK_COLLISION");
  }

  void readSide(const json& j, DrGroup* group, size_t index,
                const std::string& where) {
    allowOnly(j, where, {"array", "instanceId", "volumes", "state"});
    DrSide side;
    std::string arrayRef = text(j, "array", where, "", true);
    const StorageArray* a = findArray(arrayRef);
    if (!a) throw Invalid(at(where, "array"), "no array \"" + arrayRef + "\"");
    side.array = a - model().arrays.data();
    for (const DrSide& other : group->sides)
      if (other.array == side.array)
        throw Invalid(at(where, "array"), "the DR group has a side on \"" +
                                              arrayRef + "\" already");
    char id[32];
    std::snprintf(id, sizeof id, "\\DRG\\%04zu", model().drGroups.size() + 1);
    side.instanceId = text(j, "instanceId", where, a->wwn + id);
    for (const std::string& v : strings(j, "volumes", where)) {
      auto it = std::find_if(a->volumes.begin(), a->volumes.end(),
                             [&](const Volume& x) { return x.id == v; });
      if (it == a->volumes.end())
        throw Invalid(at(where, "volumes"),
                      "no volume \"" + v + "\" on array \"" + a->id + "\"");
      side.volumes.push_back(it - a->volumes.begin());
    }
    // Defaults for the four properties every side has; the scenario may
    // override or (with null) remove them.
    Model::setState(&side, "ParticipationType",
                    cim::Value(index == 0 ? "source" : "destination"));
    Model::setState(&side, "LinkState", cim::Value("good"));
    Model::setState(&side, "LogState", cim::Value("normal"));
    Model::setState(&side, "FailSafe", cim::Value("disabled"));
    if (j.contains("state"))
      for (const auto& entry : stateMap(j.at("state"), at(where, "state")))
        Model::setState(&side, entry.first, entry.second);
    group->sides.push_back(side);
  }

  void readDrGroup(const json& j, const std::string& where) {
    allowOnly(j, where, {"name", "elementName", "sides", "failoverResults",
                         "events", "countdowns"});
    DrGroup g;
    g.name = text(j, "name", where, "", true);
    g.elementName = text(j, "elementName", where, "\\Data Replication\\" + g.name);
    const json& sides = arrayMember(j, "sides", where);
    if (sides.empty() || sides.size() > 2)
      throw Invalid(at(where, "sides"), "a DR group has one or two sides");
    for (size_t i = 0; i < sides.size(); ++i)
      readSide(sides[i], &g, i, at(at(where, "sides"), i));
    for (const DrGroup& other : model().drGroups)
      for (const DrSide& s : other.sides)
        for (const DrSide& mine : g.sides)
          if (s.instanceId == mine.instanceId)
            throw Invalid(where, "instanceId \"" + s.instanceId + "\" used twice");

    const json& results = arrayMember(j, "failoverResults", where);
    for (size_t i = 0; i < results.size(); ++i)
      g.failoverResults.push_back(
          failoverResult(results[i], g, at(at(where, "failoverResults"), i)));

    const json& events = arrayMember(j, "events", where);
    for (size_t i = 0; i < events.size(); ++i) {
      std::string w = at(at(where, "events"), i);
      allowOnly(events[i], w, {"afterReads", "side", "set"});
      ReadEvent ev;
      ev.afterReads = number(events[i], "afterReads", w, 0);
      if (ev.afterReads == 0) throw Invalid(at(w, "afterReads"), "must be 1 or more");
      json c = events[i];
      c.erase("afterReads");
      ev.change = change(c, g, w);
      g.events.push_back(ev);
    }

    const json& countdowns = arrayMember(j, "countdowns", where);
    for (size_t i = 0; i < countdowns.size(); ++i) {
      std::string w = at(at(where, "countdowns"), i);
      allowOnly(countdowns[i], w,
                {"side", "property", "step", "everyReads", "then"});
      Countdown c;
      c.side = text(countdowns[i], "side", w, "", true);
      checkSelector(c.side, g, at(w, "side"));
      c.property = text(countdowns[i], "property", w, "TotalTransmit");
      c.step = number(countdowns[i], "step", w, 1);
      c.everyReads = number(countdowns[i], "everyReads", w, 1);
      if (c.step == 0 || c.everyReads == 0)
        throw Invalid(w, "step and everyReads must be 1 or more");
      c.then = changes(countdowns[i], "then", g, w);
      g.countdowns.push_back(c);
    }
    model().drGroups.push_back(g);
  }

  void readFault(const json& j, const std::string& where) {
    allowOnly(j, where, {"operation", "className", "drGroup", "skip", "times",
                         "action", "delayMs", "code", "description",
                         "execute"});
    Fault f;
    f.operation = text(j, "operation", where, "*");
    f.className = text(j, "className", where, "");
    f.drGroup = text(j, "drGroup", where, "");
    f.skip = number(j, "skip", where, 0);
    f.times = number(j, "times", where, 0);
    f.delayMs = number(j, "delayMs", where, 0);
    std::string action = text(j, "action", where, "delay");
    if (!faultActionFromName(action, &f.action))
      throw Invalid(at(where, "action"),
                    "\"" + action + "\" is not one of delay, drop, http500, "
                                    "cimError, chunkedError, chunked, garbled");
    if (j.contains("code")) f.code = uint32(j.at("code"), at(where, "code"));
    f.description = text(j, "description", where, f.description);
    f.execute = flag(j, "execute", where, false);
    scenario->faults.push_back(f);
  }

  void read(const json& root) {
    allowOnly(root, "scenario", {"namespace", "host", "qnKey", "arrays",
                                 "drGroups", "faults", "comment"});
    model().nameSpace = text(root, "namespace", "namespace", "root/ZARN");
    model().host = text(root, "host", "host", "zarnsim");
    model().qnKey = text(root, "qnKey", "qnKey", "MXRud");
    const json& arrays = arrayMember(root, "arrays", "");
    for (size_t i = 0; i < arrays.size(); ++i) readArray(arrays[i], at("arrays", i));
    const json& groups = arrayMember(root, "drGroups", "");
    for (size_t i = 0; i < groups.size(); ++i)
      readDrGroup(groups[i], at("drGroups", i));
    const json& faults = arrayMember(root, "faults", "");
    for (size_t i = 0; i < faults.size(); ++i) readFault(faults[i], at("faults", i));
  }
};

}  // namespace

bool parseScenario(const std::string& input, Scenario* scenario,
                   std::string* error) {
  *scenario = Scenario();
  json root;
  try {
    root = json::parse(input, nullptr, true, true);  // comments allowed
  } catch (const json::parse_error& e) {
    *error = e.what();
    return false;
  }
  try {
    Reader reader{scenario};
    reader.read(root);
  } catch (const Invalid& e) {
    *error = e.what();
    return false;
  }
  return true;
}

}  // namespace sim
