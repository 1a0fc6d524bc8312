#include "sfcore/decision_report.h"

#include <cctype>
#include <cstdio>

#include "drif/data_rep.h"
#include "drif/decision_log.h"
#include "drif/decision_record.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "sfcore/core_data_rep.h"
#include "sfcore/decision_facts.h"
#include "sfcore/decision_rules.h"

namespace {

// The array's refusal codes the reason names.
const char* refusalName(long code) {
  switch (code) {
    case 0x8001: return "invalid DR mode";
    case 0x8002: return "copying";
    case 0x8003: return "merging";
    case 0x800e: return "link suspended";
    case 0x8016: return "array busy";
    case 0x8021: return "lock collision";
  }
  return nullptr;
}

}  // namespace

std::string failedActionCause(const nlohmann::json& r) {
  using namespace facts;
  const std::string limitHit = text(r, record::TIME_LIMIT_HIT);
  if (!limitHit.empty())
    return "start time limit of " + std::to_string(number(r, record::TIME_LIMIT)) +
           " s ran out" + (limitHit == "failover" ? " before the failover" : " in a wait");
  if (text(r, record::PREPARATION) == "failed")
    return "disk group preparation failed after the failover";
  const nlohmann::json* wait = last(r, record::WAITS);
  if (wait != nullptr && text(*wait, "end") == "expired") {
    std::string cause = "WAIT_TIME ran out waiting for the " + text(*wait, "for");
    const nlohmann::json* writes = last(*wait, "writes");
    if (writes != nullptr && writes->is_number())
      cause += " (" + std::to_string(writes->get<unsigned long long>()) + " writes left)";
    return cause;
  }
  if (wait != nullptr && text(*wait, "end") == "unread")
    return "DR group unreadable during the wait for the " + text(*wait, "for");
  const nlohmann::json* sent = last(r, record::FAILOVERS);
  if (sent != nullptr) {
    if (!sent->contains("code") || (*sent)["code"].is_null())
      return sent->value("answered", false) ? "failover failed with a CIM error"
                                            : "no answer to the failover; check ZARNGetDRState";
    if (sent->contains("refusal") && (*sent)["refusal"].is_number()) {
      const long code = (*sent)["refusal"].get<long>();
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(code));
      const char* name = refusalName(code);
      return std::string("array refused the failover (") + hex + (name ? std::string(", ") + name : "") + ")";
    }
    return "array refused the failover";
  }
  const nlohmann::json* failure = last(r, record::FAILURES);
  if (failure != nullptr) return "failover failed: " + text(*failure, "request") + " not done";
  return "failover failed";
}

namespace {

// An error message as a cause: without its "Error - " and its full stop.
std::string trimmedError(std::string error) {
  const std::string tag = "Error - ";
  if (error.compare(0, tag.size(), tag) == 0) error.erase(0, tag.size());
  while (!error.empty() && (error.back() == '.' || error.back() == ' ')) error.pop_back();
  return error;
}

// The cause of the decision in a few words.
std::string causeWords(const nlohmann::json& r, const DecisionRule* applied) {
  using namespace facts;
  const int exitCode = static_cast<int>(number(r, record::EXIT));
  const std::string act = text(r, record::ACTION);
  const bool changes = act == action::FAILOVER || act == action::WAIT_FOR_COPY ||
                       act == action::WAIT_FOR_MERGE;
  if (changes && (exitCode == NO_START || exitCode == NO_START_CUR))
    return failedActionCause(r);
  const std::string ruleName = text(r, record::RULE);
  if (ruleName == rule::ROLE_UNKNOWN && noLocalServer(r))
    return "no usable SMI-S server of " + orUnknown(text(r, record::SITE));
  if (ruleName == rule::STATE_UNREADABLE && side(r, record::LOCAL).contains(record::ERROR))
    return "this site's array not readable";
  // Before the decision, the first error names what is wrong.
  const std::string firstError = text(r, record::FIRST_ERROR);
  if ((ruleName == rule::ENVIRONMENT_INVALID || ruleName == rule::ARRAY_SETUP_FAILED) &&
      !firstError.empty())
    return trimmedError(firstError);
  if (applied != nullptr) return applied->shortCause;
  if (ruleName.empty()) return "ended before the decision";
  return ruleName;
}

std::string writesWords(const nlohmann::json& r, int exitCode) {
  using namespace facts;
  if (r.contains(record::WRITES_GIVEN_UP)) {
    const nlohmann::json& given = r[record::WRITES_GIVEN_UP];
    return given.is_number() ? " (" + std::to_string(given.get<unsigned long long>()) +
                                   " writes given up)"
                             : " (writes given up: unknown)";
  }
  // A refusal for data that may not be current says how far behind it is.
  const bool refused = exitCode == NO_START || exitCode == NO_START_CUR;
  const nlohmann::json* behind = field(r, record::WRITES_OUTSTANDING);
  if (refused && !actionFailed(r) && roleHere(r) == "destination" && behind != nullptr &&
      behind->is_number() && behind->get<unsigned long long>() > 0)
    return " (" + std::to_string(behind->get<unsigned long long>()) + " writes behind)";
  return "";
}

// Cuts text to at most max bytes, never inside a UTF-8 character.
std::string fit(std::string text, std::size_t max) {
  if (text.size() <= max) return text;
  std::size_t cut = max - 3;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "...";
}

}  // namespace

std::string shortReason(const nlohmann::json& r) {
  using namespace facts;
  const int exitCode = static_cast<int>(number(r, record::EXIT));
  const DecisionRule* applied = findRule(text(r, record::RULE));
  std::string reason = outcomeWords(r) + ": " + causeWords(r, applied) +
                       writesWords(r, exitCode);
  const std::string policy = text(r, record::POLICY);
  if (!policy.empty()) reason += "; " + policy;
  const bool refused = exitCode == NO_START || exitCode == NO_START_CUR;
  std::string way = refused ? shortWayOut(r, applied) : "";
  if (!way.empty()) reason += "; " + way;
  return fit(reason, MAX_REASON);
}

void completeRecord(DecisionRecord& record, std::time_t started, long durationMs,
                    int exitCode) {
  record.set(record::TIME, isoTimeUtc(started));
  record.set(record::DURATION_MS, durationMs);
  record.set(record::PREVIEW, preview);
  record.set(record::EXIT, exitCode);
  if (!record.has(record::FORCEFLAG) && !record.getPackageDir().empty()) {
    const std::string path = record.getPackageDir() + FORCEFLAG_FILE;
    const bool there = sys::platform().files->kindOf(path) == sys::FileKind::REGULAR;
    record.set(record::FORCEFLAG, there ? FORCEFLAG_PRESENT : FORCEFLAG_ABSENT);
  }
  const std::string source = facts::sourceSiteAfter(record.fields());
  if (!source.empty()) record.set(record::SOURCE_SITE, source);
  record.set(record::REASON, shortReason(record.fields()));
}

std::string recordLine(const nlohmann::json& record) {
  return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::vector<std::string> journalFields(const nlohmann::json& r) {
  const int exitCode = static_cast<int>(facts::number(r, record::EXIT));
  std::vector<std::string> fields = {
      "MESSAGE=drenable: package " + facts::text(r, record::PACKAGE) + ": " +
          facts::text(r, record::REASON),
      std::string("MESSAGE_ID=") + DECISION_MESSAGE_ID,
      exitCode == SUCCESS || exitCode == SWITCH_TRUE ? "PRIORITY=6" : "PRIORITY=4",
      "SYSLOG_IDENTIFIER=drenable",
  };
  for (auto it = r.begin(); it != r.end(); ++it) {
    if (it.value().is_structured()) continue;
    std::string name = "DRENABLE_";
    for (char c : it.key()) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string value = it.value().is_string() ? it.value().get<std::string>()
                                                     : recordLine(it.value());
    fields.push_back(name + "=" + value);
  }
  fields.push_back("DRENABLE_RECORD=" + recordLine(r));
  return fields;
}

void writeRecord(const DecisionRecord& record) {
  Logger* log = Logger::getInstance();
  if (record.getPackageDir().empty()) {
    if (log != nullptr)
      log->log(LOG_FILE,
               "Warning - No decision record is written: the package directory "
               "is not known.");
    return;
  }
  const std::string path = decisionLogPath(record.getPackageDir());
  const std::string problem = appendDecision(path, recordLine(record.fields()));
  if (!problem.empty() && log != nullptr)
    log->log(LOG_FILE, "Warning - The decision record could not be written to " + path +
                           ": " + problem + ".");
  // Where no journal runs, this does nothing.
  sys::platform().journal->send(journalFields(record.fields()));
}
