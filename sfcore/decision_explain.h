// drenable -explain: a package's last decisions read back from its
// decision log, in words for a person, as the records themselves (-json), or
// as key=value lines for scripts and the cluster's resource agent
// (-summary). It reads the package environment for the package directory
// and then only the log: no array is asked, nothing is changed.
//
//   drenable -explain [-json | -summary] [-n <count>] <env file | package>
#ifndef SFCORE_DECISION_EXPLAIN_H
#define SFCORE_DECISION_EXPLAIN_H

#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The arguments after "-explain". 0 when the decisions were printed, 1 when
// there is none to print (no log yet, no record, a damaged one: the message
// on err says which), 2 for a command line it does not take.
int explainDecisions(const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err);

// One decision in words. forceFlagPath is the package's FORCEFLAG file, for
// the way out of a refusal.
std::string explainRecord(const nlohmann::json& record, const std::string& forceFlagPath);

// One decision as "key=value" lines: time, exit, outcome, rule, reason,
// site, role, link, writes_outstanding, source_site (empty values where not
// known; values never hold a line feed).
std::string summarizeRecord(const nlohmann::json& record);

#endif  // SFCORE_DECISION_EXPLAIN_H
