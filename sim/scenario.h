// A scenario file: the arrays, disks, presentations and DR groups the
// simulator starts with, their scripted behaviour and the faults to inject.
// The format is JSON and is described in sim/README.md.
#ifndef SIM_SCENARIO_H
#define SIM_SCENARIO_H

#include <string>
#include <vector>

#include "sim/fault.h"
#include "sim/model.h"

namespace sim {

struct Scenario {
  Model model;
  std::vector<Fault> faults;
};

// Reads a scenario from JSON text. Unknown members are refused so that a
// typing error does not go unnoticed. On failure returns false and sets
// *error to one line naming the place, e.g.
// "drGroups[0].sides[1].array: no array \"dc3\"".
bool parseScenario(const std::string& text, Scenario* scenario,
                   std::string* error);

}  // namespace sim

#endif  // SIM_SCENARIO_H
