#include "sfcore/decision_facts.h"

#include "drif/data_rep.h"
#include "drif/decision_record.h"
#include "sfcore/decision_rules.h"

namespace facts {

const nlohmann::json* field(const nlohmann::json& r, const char* key) {
  if (!r.is_object()) return nullptr;
  auto it = r.find(key);
  return it == r.end() ? nullptr : &*it;
}

std::string text(const nlohmann::json& r, const char* key) {
  const nlohmann::json* f = field(r, key);
  return f != nullptr && f->is_string() ? f->get<std::string>() : std::string();
}

long long number(const nlohmann::json& r, const char* key, long long absent) {
  const nlohmann::json* f = field(r, key);
  if (f == nullptr || !f->is_number_integer()) return absent;
  return f->get<long long>();
}

const nlohmann::json* last(const nlohmann::json& r, const char* key) {
  const nlohmann::json* f = field(r, key);
  if (f == nullptr || !f->is_array() || f->empty()) return nullptr;
  return &f->back();
}

const nlohmann::json& side(const nlohmann::json& r, const char* key) {
  static const nlohmann::json none = nlohmann::json::object();
  const nlohmann::json* f = field(r, key);
  return f != nullptr && f->is_object() ? *f : none;
}

std::string orUnknown(const std::string& t) { return t.empty() ? "unknown" : t; }

std::string otherSite(const std::string& site) {
  if (site == "DC1") return "DC2";
  if (site == "DC2") return "DC1";
  return "";
}

std::string roleHere(const nlohmann::json& r) {
  const std::string role = text(side(r, record::STATE), "role");
  if (role == "SOURCE") return "source";
  if (role == "TARGET") return "destination";
  return "";
}

std::string linkHere(const nlohmann::json& r) {
  const std::string link = text(side(r, record::STATE), "link");
  if (link == "UP") return "up";
  if (link == "DOWN") return "down";
  return "";
}

bool noLocalServer(const nlohmann::json& r) {
  const nlohmann::json* failures = field(r, record::FAILURES);
  if (failures == nullptr || !failures->is_array()) return false;
  for (const nlohmann::json& f : *failures)
    if (text(f, "request") == "local state" && field(f, "server") == nullptr) return true;
  return false;
}

bool actionFailed(const nlohmann::json& r) {
  const std::string act = text(r, record::ACTION);
  const long long exitCode = number(r, record::EXIT);
  return (act == action::FAILOVER || act == action::WAIT_FOR_COPY ||
          act == action::WAIT_FOR_MERGE) &&
         (exitCode == NO_START || exitCode == NO_START_CUR);
}

std::string sourceSiteAfter(const nlohmann::json& r) {
  const std::string site = text(r, record::SITE);
  const std::string role = roleHere(r);
  if (site.empty() || role.empty()) return "";
  if (role == "source") return site;
  const nlohmann::json* sent = field(r, record::FAILOVERS);
  bool lost = false;
  if (sent != nullptr && sent->is_array()) {
    for (const nlohmann::json& f : *sent) {
      const nlohmann::json* code = field(f, "code");
      if (code == nullptr || code->is_null()) {
        lost = lost || !f.value("answered", false);
      } else if (code->is_number() && code->get<long long>() == 0) {
        return site;
      }
    }
  }
  return lost ? "" : otherSite(site);
}

std::string outcomeName(const nlohmann::json& r) {
  switch (number(r, record::EXIT)) {
    case SUCCESS: return "start";
    case SWITCH_TRUE: return "start-after-failover";
    case NO_START: return "refused";
    case NO_START_CUR: return "refused-here";
  }
  return "ended";
}

std::string outcomeWords(const nlohmann::json& r) {
  const long long exitCode = number(r, record::EXIT);
  const std::string site = orUnknown(text(r, record::SITE));
  const nlohmann::json* isPreview = field(r, record::PREVIEW);
  if (isPreview != nullptr && isPreview->is_boolean() && isPreview->get<bool>()) {
    const std::string act = text(r, record::ACTION);
    if (exitCode == SUCCESS && act != action::START && act != action::NONE && !act.empty())
      return "preview: would fail over to " + site;
    if (exitCode == SUCCESS) return "preview: would start";
    if (exitCode == NO_START) return "preview: would refuse";
    if (exitCode == NO_START_CUR) return "preview: would refuse here";
    return "preview: ended";
  }
  switch (exitCode) {
    case SUCCESS: return "started";
    case SWITCH_TRUE: return "started after failover to " + site;
    case NO_START: return "refused";
    case NO_START_CUR: return "refused here";
  }
  return "ended";
}

std::string shortWayOut(const nlohmann::json& r, const DecisionRule* applied) {
  if (actionFailed(r)) {
    if (!text(r, record::TIME_LIMIT_HIT).empty()) return "raise the start time-out";
    const nlohmann::json* wait = last(r, record::WAITS);
    if (wait != nullptr && text(*wait, "end") == "expired") return "raise WAIT_TIME or retry later";
    return "";
  }
  return applied != nullptr && applied->shortWayOut != nullptr ? applied->shortWayOut : "";
}

}  // namespace facts
