#include "sfcore/decision_explain.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "drif/data_rep.h"
#include "drif/decision_log.h"
#include "drif/decision_record.h"
#include "drif/logger.h"
#include "sfcore/core_data_rep.h"
#include "sfcore/core_environment.h"
#include "sfcore/decision_facts.h"
#include "sfcore/decision_report.h"
#include "sfcore/decision_rules.h"

namespace {

using facts::field;
using facts::text;

const char* const USAGE =
    "usage: drenable -explain [-json | -summary] [-n <count>] <environment file | package>";
const char* const PREFIX = "drenable -explain: ";
const size_t LABEL_WIDTH = 16;
const size_t LINE_WIDTH = 78;

// "  Label:   text", the text wrapped under itself.
std::string line(const std::string& label, const std::string& content) {
  std::string head = "  " + label + ":";
  head.resize(std::max(head.size() + 1, LABEL_WIDTH + 2), ' ');
  const std::string indent(head.size(), ' ');
  std::string out = head, word;
  size_t column = head.size();
  std::istringstream words(content);
  bool first = true;
  while (words >> word) {
    if (!first && column + 1 + word.size() > LINE_WIDTH) {
      out += "\n" + indent;
      column = indent.size();
    } else if (!first) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    first = false;
  }
  return out + "\n";
}

std::string count(const nlohmann::json& value) {
  return value.is_number() ? std::to_string(value.get<unsigned long long>()) : "unknown";
}

std::string duration(long long ms) {
  if (ms < 1000) return std::to_string(ms) + " ms";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
  return text;
}

bool isPreview(const nlohmann::json& r) {
  const nlohmann::json* p = field(r, record::PREVIEW);
  return p != nullptr && p->is_boolean() && p->get<bool>();
}

std::string outcomeSentence(const nlohmann::json& r) {
  const long long exitCode = facts::number(r, record::EXIT);
  const std::string site = facts::orUnknown(text(r, record::SITE));
  std::string sentence;
  switch (exitCode) {
    case SUCCESS: sentence = "started (exit 0): the package may start on this node"; break;
    case SWITCH_TRUE:
      sentence = "started after a failover (exit 3): the DR group was failed over to " +
                 site + " and the package may start here";
      break;
    case NO_START:
      sentence = "refused (exit 1): the package must not start until the cause is removed";
      break;
    case NO_START_CUR:
      sentence = "refused on this node (exit 2): the package may start on another node";
      break;
    default: sentence = "ended with exit " + std::to_string(exitCode);
  }
  if (isPreview(r)) {
    std::string words = facts::outcomeWords(r);
    const std::string tag = "preview: ";
    if (words.compare(0, tag.size(), tag) == 0) words.erase(0, tag.size());
    sentence = "preview, nothing was changed: " + words;
  }
  return sentence;
}

// A side of the DR group as the array reported it.
std::string sideWords(const nlohmann::json& side) {
  if (side.empty()) return "not read";
  if (side.contains(record::ERROR)) return "could not be read: " + text(side, record::ERROR);
  if (side.contains(record::NOT_READ)) return "not read: " + text(side, record::NOT_READ);
  std::string words = text(side, "participation");
  const std::pair<const char*, const char*> parts[] = {
      {"link", "link"},           {"log_state", "log state"}, {"write_mode", "write mode"},
      {"failsafe", "failsafe"},   {"failsafe_lock", "failsafe lock"},
      {"suspend", "suspend"},     {"full_copy", "full copy"}, {"writes", "writes"},
  };
  for (const auto& p : parts) words += "; " + std::string(p.second) + " " + text(side, p.first);
  return words;
}

std::string stateWords(const nlohmann::json& state) {
  if (state.empty()) return "";
  return text(state, "role") + ", link " + text(state, "link") + ", " +
         text(state, "replication") + ", " + text(state, "write_mode") + ", currency " +
         text(state, "currency");
}

std::string causeSentence(const nlohmann::json& r, const DecisionRule* applied) {
  const std::string ruleName = text(r, record::RULE);
  const std::string policy = text(r, record::POLICY);
  const long long minutes = facts::number(r, record::WAIT_TIME, 0);
  std::string cause;
  if (ruleName == rule::ROLE_UNKNOWN && facts::noLocalServer(r)) {
    cause = "No SMI-S server of " + facts::orUnknown(text(r, record::SITE)) +
            " could be used, so the DR group's role on this site's array is not known.";
  } else if (applied != nullptr) {
    cause = fillRuleText(applied->cause, policy, minutes, "");
  } else {
    cause = "The run ended before the decision table was asked.";
  }
  if (facts::actionFailed(r)) cause += " But the package was not started: " + failedActionCause(r) + ".";
  return cause;
}

std::string recoveryPoint(const nlohmann::json& r) {
  const std::string would = isPreview(r) ? "would be" : "were";
  if (const nlohmann::json* given = field(r, record::WRITES_GIVEN_UP)) {
    if (given->is_number())
      return count(*given) + " writes that had not reached this site " + would + " given up.";
    return "The writes that had not reached this site " + would +
           " given up; their number is not known (the source could not be read).";
  }
  const long long exitCode = facts::number(r, record::EXIT);
  const std::string role = facts::roleHere(r);
  const nlohmann::json* behind = field(r, record::WRITES_OUTSTANDING);
  if (role == "destination" && (exitCode == SWITCH_TRUE || (exitCode == SUCCESS && isPreview(r))))
    return "Nothing given up: the data here was current when the DR group was failed over.";
  if (role == "destination") {
    if (behind != nullptr && behind->is_number())
      return count(*behind) + " writes on the source had not reached this site; a start here "
                              "would give them up.";
    const nlohmann::json& source = facts::side(r, record::REMOTE);
    std::string why = text(source, record::NOT_READ);
    if (why.empty()) why = source.contains(record::ERROR) ? "it could not be read" : "";
    return "Not known" + (why.empty() ? std::string() : " (" + why + ")") +
           ": a start here would give up whatever writes the source had not yet sent.";
  }
  if (role == "source") {
    if (behind != nullptr && behind->is_number() && behind->get<unsigned long long>() > 0)
      return "This site holds the source: nothing is given up; " + count(*behind) +
             " writes are still to reach the destination.";
    return "This site holds the source: nothing is given up.";
  }
  return "Not known: the DR group's role here was not read.";
}

std::string wayOut(const nlohmann::json& r, const DecisionRule* applied,
                   const std::string& forceFlagPath) {
  if (facts::actionFailed(r)) {
    if (!text(r, record::TIME_LIMIT_HIT).empty())
      return "Give the start more time (the cluster's start time-out for the resource) or "
             "lower WAIT_TIME, then start the package again.";
    if (text(r, record::PREPARATION) == "failed")
      return "Prepare the volume and disk groups by hand as the package log says, then "
             "start the package again.";
    const nlohmann::json* wait = facts::last(r, record::WAITS);
    if (wait != nullptr && text(*wait, "end") == "expired")
      return "Start the package again once the " + text(*wait, "for") +
             " has ended (ZARNGetDRState shows it), or raise WAIT_TIME.";
    const nlohmann::json* sent = facts::last(r, record::FAILOVERS);
    if (sent != nullptr && (!sent->contains("code") || (*sent)["code"].is_null()) &&
        !sent->value("answered", false))
      return "Check the DR group with ZARNGetDRState: the array may have failed it over. "
             "Start the package again once it is clear which site holds the source.";
    return "See the package log, mend the cause, then start the package again.";
  }
  if (applied == nullptr || applied->wayOut == nullptr) return "";
  return fillRuleText(applied->wayOut, text(r, record::POLICY),
                      facts::number(r, record::WAIT_TIME, 0), forceFlagPath);
}

std::string waitWords(const nlohmann::json& w) {
  std::string words = text(w, "for") + ": " + std::to_string(facts::number(w, "checks", 0)) +
                      " checks in " + std::to_string(facts::number(w, "seconds", 0)) + " s";
  if (const nlohmann::json* writes = field(w, "writes")) {
    if (writes->is_array() && !writes->empty()) {
      words += ", writes";
      for (const nlohmann::json& n : *writes) words += " " + count(n);
    }
  }
  return words + ", " + text(w, "end");
}

std::string failoverWords(const nlohmann::json& f) {
  const std::string took = " in " + std::to_string(facts::number(f, "ms", 0)) + " ms";
  const nlohmann::json* code = field(f, "code");
  if (code == nullptr || code->is_null()) {
    std::string words = f.value("answered", false) ? "answered with an error" : "no answer";
    if (!text(f, "error").empty()) words += " (" + text(f, "error") + ")";
    return words + took;
  }
  if (code->is_number() && code->get<long long>() == 0) return "done" + took;
  std::string words = "refused, code " + std::to_string(code->get<long long>());
  if (const nlohmann::json* refusal = field(f, "refusal")) {
    if (refusal->is_number()) {
      char hex[32];
      std::snprintf(hex, sizeof hex, ", reason 0x%llx", refusal->get<unsigned long long>());
      words += hex;
    }
  }
  return words + took;
}

std::string serverWords(const nlohmann::json& s) {
  std::string words = text(s, "host");
  if (const nlohmann::json* port = field(s, "port"))
    if (port->is_number()) words += ":" + std::to_string(port->get<long long>());
  if (const nlohmann::json* ssl = field(s, "ssl"))
    if (ssl->is_boolean()) words += ssl->get<bool>() ? " (HTTPS)" : " (HTTP)";
  words += " " + text(s, "outcome") + " in " + std::to_string(facts::number(s, "milliseconds", 0)) +
           " ms";
  if (s.value("used", false)) words += ", used";
  return words;
}

void listLines(std::string& out, const nlohmann::json& r, const char* key, const char* label,
               std::string (*words)(const nlohmann::json&)) {
  const nlohmann::json* list = field(r, key);
  if (list == nullptr || !list->is_array() || list->empty()) return;
  bool first = true;
  for (const nlohmann::json& item : *list) {
    out += line(first ? label : "", words(item));
    first = false;
  }
}

std::string failureWords(const nlohmann::json& f) {
  std::string words = text(f, "request");
  if (!text(f, "server").empty()) words += " via " + text(f, "server");
  return words + ": " + text(f, "error");
}

// Whether a line of the log is a decision record: an object with the time
// and the exit code.
std::string notARecord(const std::string& lineText, nlohmann::json* parsed) {
  *parsed = nlohmann::json::parse(lineText, nullptr, false);
  if (parsed->is_discarded()) return "it is not JSON";
  if (!parsed->is_object()) return "it is not a JSON object";
  if (!(*parsed)[record::TIME].is_string() || !(*parsed)[record::EXIT].is_number_integer())
    return "it has no time or exit code";
  return "";
}

// The package directory the environment names; empty when it names none.
std::string packageDirOf(const std::string& name) {
  CoreEnvironment env;
  Logger* log = Logger::getInstance();
  const int output = log != nullptr ? log->getOutput() : 0;
  // The reader's own complaints are not the question here.
  if (log != nullptr) log->setOutput(0);
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  env.initialize();
  env.read(buffer.data());
  if (log != nullptr) log->setOutput(output);
  return env.getPackageDir() != nullptr ? env.getPackageDir() : "";
}

}  // namespace

std::string explainRecord(const nlohmann::json& r, const std::string& forceFlagPath) {
  const DecisionRule* applied = findRule(text(r, record::RULE));
  std::string out = "Decision for package " + facts::orUnknown(text(r, record::PACKAGE)) +
                    ", DR group " + facts::orUnknown(text(r, record::DR_GROUP)) + "\n";
  std::string when = text(r, record::TIME);
  if (const nlohmann::json* ms = field(r, record::DURATION_MS))
    if (ms->is_number()) when += ", took " + duration(ms->get<long long>());
  when += ", on node " + facts::orUnknown(text(r, record::NODE)) + " (" +
          facts::orUnknown(text(r, record::SITE)) + ")";
  out += line("When", when);
  out += line("Outcome", outcomeSentence(r));
  std::string policy = facts::orUnknown(text(r, record::POLICY));
  if (const nlohmann::json* wait = field(r, record::WAIT_TIME))
    if (wait->is_number()) policy += ", WAIT_TIME " + std::to_string(wait->get<long long>()) + " minutes";
  policy += "; FORCEFLAG " + facts::orUnknown(text(r, record::FORCEFLAG));
  out += line("Policy", policy);
  if (const nlohmann::json* limit = field(r, record::TIME_LIMIT))
    if (limit->is_number())
      out += line("Time limit", std::to_string(limit->get<long long>()) + " s" +
                                    (text(r, record::TIME_LIMIT_HIT).empty()
                                         ? ""
                                         : ", reached (" + text(r, record::TIME_LIMIT_HIT) + ")"));
  out += line("This site", sideWords(facts::side(r, record::LOCAL)));
  out += line("Other site", sideWords(facts::side(r, record::REMOTE)));
  const std::string state = stateWords(facts::side(r, record::STATE));
  if (!state.empty()) out += line("State", state);
  if (!text(r, record::RULE).empty())
    out += line("Rule", text(r, record::RULE) + " (action: " +
                            facts::orUnknown(text(r, record::ACTION)) + ")");
  out += line("Cause", causeSentence(r, applied));
  out += line("Recovery point", recoveryPoint(r));
  const long long exitCode = facts::number(r, record::EXIT);
  if (exitCode == NO_START || exitCode == NO_START_CUR) {
    const std::string way = wayOut(r, applied, forceFlagPath);
    if (!way.empty()) out += line("Way out", way);
  }
  listLines(out, r, record::WAITS, "Waits", waitWords);
  listLines(out, r, record::FAILOVERS, "FastFailover", failoverWords);
  listLines(out, r, record::SERVERS, "SMI-S servers", serverWords);
  listLines(out, r, record::FAILURES, "Failed", failureWords);
  if (!text(r, record::PREPARATION).empty())
    out += line("Disk groups", "preparation " + text(r, record::PREPARATION));
  if (!text(r, record::MESSAGE).empty()) out += line("Last message", text(r, record::MESSAGE));
  return out;
}

std::string summarizeRecord(const nlohmann::json& r) {
  std::string writes;
  if (const nlohmann::json* behind = field(r, record::WRITES_OUTSTANDING))
    if (behind->is_number()) writes = count(*behind);
  const std::pair<const char*, std::string> lines[] = {
      {"time", text(r, record::TIME)},
      {"exit", std::to_string(facts::number(r, record::EXIT))},
      {"outcome", facts::outcomeName(r)},
      {"rule", text(r, record::RULE)},
      {"reason", oneLine(text(r, record::REASON))},
      {"site", text(r, record::SITE)},
      {"role", facts::roleHere(r)},
      {"link", facts::linkHere(r)},
      {"writes_outstanding", writes},
      {"source_site", text(r, record::SOURCE_SITE)},
  };
  std::string out;
  for (const auto& l : lines) out += std::string(l.first) + "=" + oneLine(l.second) + "\n";
  return out;
}

int explainDecisions(const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err) {
  enum { WORDS, JSON, SUMMARY } form = WORDS;
  long wanted = 1;
  std::string name;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-json" && form == WORDS) {
      form = JSON;
    } else if (a == "-summary" && form == WORDS) {
      form = SUMMARY;
    } else if (a == "-n" && i + 1 < args.size()) {
      char* end = nullptr;
      wanted = std::strtol(args[++i].c_str(), &end, 10);
      if (*end != '\0' || wanted < 1) {
        err << PREFIX << "the count after -n must be a number of 1 or more\n" << USAGE << "\n";
        return 2;
      }
    } else if (name.empty() && !a.empty() && a[0] != '-') {
      name = a;
    } else {
      err << USAGE << "\n";
      return 2;
    }
  }
  if (name.empty()) {
    err << USAGE << "\n";
    return 2;
  }
  if (form == SUMMARY) wanted = 1;

  const std::string dir = packageDirOf(name);
  if (dir.empty()) {
    err << PREFIX << "no package directory (PKGDIR) could be read from " << name << "\n";
    return 1;
  }
  const std::string path = decisionLogPath(dir);
  std::string contents;
  bool missing = false;
  const std::string problem = readDecisionLog(path, &contents, &missing);
  if (missing) {
    err << PREFIX << "no decision has been recorded for this package yet (" << path
        << " does not exist)\n";
    return 1;
  }
  if (!problem.empty()) {
    err << PREFIX << "cannot read " << path << ": " << problem << "\n";
    return 1;
  }

  std::vector<std::pair<size_t, std::string>> lines;  // line number, text
  std::istringstream in(contents);
  std::string text;
  for (size_t number = 1; std::getline(in, text); ++number)
    if (!text.empty()) lines.emplace_back(number, text);
  if (lines.empty()) {
    err << PREFIX << path << " holds no decision record yet\n";
    return 1;
  }
  const size_t first = lines.size() > static_cast<size_t>(wanted) ? lines.size() - wanted : 0;
  int status = 0;
  bool printed = false;
  const std::string forceFlag = dir + FORCEFLAG_FILE;
  for (size_t i = first; i < lines.size(); ++i) {
    nlohmann::json parsed;
    const std::string bad = notARecord(lines[i].second, &parsed);
    if (!bad.empty()) {
      err << PREFIX << "line " << lines[i].first << " of " << path
          << " is not a decision record (" << bad << ")\n";
      status = 1;
      continue;
    }
    if (form == JSON) {
      out << lines[i].second << "\n";
    } else if (form == SUMMARY) {
      out << summarizeRecord(parsed);
    } else {
      out << (printed ? "\n" : "") << explainRecord(parsed, forceFlag);
    }
    printed = true;
  }
  return status;
}
