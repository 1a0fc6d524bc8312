#include "sim/fault.h"

#include "cim/name.h"

namespace sim {

namespace {

struct ActionName {
  FaultAction action;
  const char* name;
};

const ActionName ACTION_NAMES[] = {
    {FaultAction::DELAY, "delay"},
    {FaultAction::DROP, "drop"},
    {FaultAction::HTTP_500, "http500"},
    {FaultAction::CIM_ERROR, "cimError"},
    {FaultAction::CHUNKED_ERROR, "chunkedError"},
    {FaultAction::CHUNKED, "chunked"},
    {FaultAction::GARBLED, "garbled"},
};

bool matches(const Fault& f, const RequestFacts& facts) {
  if (f.operation != "*" && !cim::equalsIgnoreCase(f.operation, facts.operation))
    return false;
  if (!f.className.empty() && !cim::equalsIgnoreCase(f.className, facts.className))
    return false;
  if (!f.drGroup.empty() && f.drGroup != facts.drGroupName &&
      f.drGroup != facts.drGroupElement)
    return false;
  return true;
}

}  // namespace

bool faultActionFromName(const std::string& name, FaultAction* action) {
  for (const ActionName& a : ACTION_NAMES) {
    if (name == a.name) {
      *action = a.action;
      return true;
    }
  }
  return false;
}

const char* faultActionName(FaultAction action) {
  for (const ActionName& a : ACTION_NAMES)
    if (a.action == action) return a.name;
  return "?";
}

Fault* pickFault(std::vector<Fault>* faults, const RequestFacts& facts) {
  Fault* picked = nullptr;
  for (Fault& f : *faults) {
    if (!matches(f, facts)) continue;
    f.seen++;
    if (picked || f.seen <= f.skip) continue;
    if (f.times != 0 && f.fired >= f.times) continue;
    f.fired++;
    picked = &f;
  }
  return picked;
}

}  // namespace sim
