// Reading a decision record (decision_record.h): the small questions the
// short reason, the journal entry and drenable -explain ask of it. Every
// question has an answer for any JSON object, however incomplete, since a
// run that ended early writes only what it learnt.
#ifndef SFCORE_DECISION_FACTS_H
#define SFCORE_DECISION_FACTS_H

#include <string>

#include <nlohmann/json.hpp>

struct DecisionRule;

namespace facts {

// The field of an object; null when absent (or r is no object).
const nlohmann::json* field(const nlohmann::json& r, const char* key);
// A text field; empty when absent or not text.
std::string text(const nlohmann::json& r, const char* key);
// A whole-number field; absent when it is missing or no number.
long long number(const nlohmann::json& r, const char* key, long long absent = -1);
// The last element of an array field; null when there is none.
const nlohmann::json* last(const nlohmann::json& r, const char* key);
// A side of the DR group ("local", "remote"): its object, or an empty one.
const nlohmann::json& side(const nlohmann::json& r, const char* key);

std::string orUnknown(const std::string& text);
// The other data centre of "DC1" or "DC2"; empty for anything else.
std::string otherSite(const std::string& site);

// The DR group's role on this site's array, as the decision read it:
// "source", "destination", or empty when not known.
std::string roleHere(const nlohmann::json& r);
// "up", "down", or empty.
std::string linkHere(const nlohmann::json& r);
// True when no SMI-S server of this site could be used.
bool noLocalServer(const nlohmann::json& r);
// True when the action would change the array (a failover, a wait before
// one) but the package was not started.
bool actionFailed(const nlohmann::json& r);

// The site whose array holds the source once the run ended: this site
// when it was the source or a failover to it was answered as done, the
// other one when no failover was sent or every one was refused, empty when
// not known (the role was not read, or a failover's answer was lost).
std::string sourceSiteAfter(const nlohmann::json& r);

// "start", "start-after-failover", "refused", "refused-here" by the exit
// code; "ended" for another.
std::string outcomeName(const nlohmann::json& r);
// The outcome as the short reason begins: "refused", "started after
// failover to DC2", "preview: would refuse", ...
std::string outcomeWords(const nlohmann::json& r);
// The way out of a refusal in a few words; empty when there is none.
std::string shortWayOut(const nlohmann::json& r, const DecisionRule* applied);

}  // namespace facts

#endif  // SFCORE_DECISION_FACTS_H
