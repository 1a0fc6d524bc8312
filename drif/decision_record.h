// The record of one drenable run: what it read, which rule of the decision
// table fired, how long it waited, which failovers it sent, through which
// SMI-S servers, and how it ended. Each layer notes what it learns as it
// learns it; the entry point writes the whole record, when the run ends, as
// one line of JSON to the package's decision log (decision_log.h) and to
// the system journal.
//
// Only drenable keeps a record: it installs one for the life of the run.
// Every other program has none, and the notes are then no-ops, so the
// shared code (environments, array interface, SMI-S access) notes freely.
#ifndef DRIF_DECISION_RECORD_H
#define DRIF_DECISION_RECORD_H

#include <ctime>
#include <string>

#include <nlohmann/json.hpp>

// The record's field names: monitors and drenable -explain rely on them.
namespace record {
constexpr char TIME[] = "time";                  // ISO 8601, UTC
constexpr char DURATION_MS[] = "duration_ms";
constexpr char NODE[] = "node";                  // short host name
constexpr char SITE[] = "site";                  // "DC1" or "DC2"
constexpr char PACKAGE[] = "package";
constexpr char DR_GROUP[] = "dr_group";
constexpr char POLICY[] = "policy";
constexpr char WAIT_TIME[] = "wait_time";        // minutes
constexpr char PREVIEW[] = "preview";
constexpr char FORCEFLAG[] = "forceflag";        // absent, present, used
constexpr char TIME_LIMIT[] = "time_limit";      // seconds, when one applied
constexpr char LOCAL[] = "local";                // raw properties, or error
constexpr char REMOTE[] = "remote";
constexpr char STATE[] = "state";                // the mapped state
constexpr char RULE[] = "rule";
constexpr char ACTION[] = "action";
constexpr char WAITS[] = "waits";
constexpr char FAILOVERS[] = "failovers";
constexpr char SERVERS[] = "servers";
constexpr char FAILURES[] = "failures";          // requests that failed
constexpr char WRITES_OUTSTANDING[] = "writes_outstanding";
constexpr char WRITES_GIVEN_UP[] = "writes_given_up";
constexpr char SOURCE_SITE[] = "source_site";    // after the run
constexpr char TIME_LIMIT_HIT[] = "time_limit_reached";
constexpr char PREPARATION[] = "preparation";    // farspan disk groups
constexpr char MESSAGE[] = "message";            // the last message, one line
constexpr char FIRST_ERROR[] = "first_error";    // the first "Error - " one
constexpr char REASON[] = "reason";              // short, at most 128 bytes
constexpr char EXIT[] = "exit";
// Inside a side's object: the text of a side that could not be read, or
// why it was not asked.
constexpr char ERROR[] = "error";
constexpr char NOT_READ[] = "not_read";
}  // namespace record

// The FORCEFLAG values.
constexpr char FORCEFLAG_ABSENT[] = "absent";
constexpr char FORCEFLAG_PRESENT[] = "present";
constexpr char FORCEFLAG_USED[] = "used";

class DecisionRecord {
 public:
  DecisionRecord() : fields_(nlohmann::json::object()) {}
  DecisionRecord(const DecisionRecord&) = delete;
  DecisionRecord& operator=(const DecisionRecord&) = delete;

  // The record of this process; null when none is kept.
  static DecisionRecord* current();
  // Installs record (null: none) and returns the one it replaces.
  static DecisionRecord* install(DecisionRecord* record);

  void set(const char* field, nlohmann::json value);
  // Appends entry to the array field (made on first use).
  void add(const char* field, nlohmann::json entry);
  bool has(const char* field) const { return fields_.contains(field); }
  const nlohmann::json& fields() const { return fields_; }

  // Every normal message the run logs on its standard output passes here:
  // the last one is kept as the record's message, on one line, and the
  // first error ("Error - ...") as its first_error.
  void noteMessage(const std::string& text);

  // The package directory, where the record is written; empty until the
  // package environment named one.
  void setPackageDir(const std::string& dir) { packageDir_ = dir; }
  const std::string& getPackageDir() const { return packageDir_; }

 private:
  nlohmann::json fields_;
  std::string packageDir_;
};

// Notes for the current record, if any.
namespace decision {
inline void note(const char* field, nlohmann::json value) {
  if (DecisionRecord* r = DecisionRecord::current()) r->set(field, std::move(value));
}
inline void add(const char* field, nlohmann::json entry) {
  if (DecisionRecord* r = DecisionRecord::current()) r->add(field, std::move(entry));
}
}  // namespace decision

// "2026-12-09T05:12:03Z".
std::string isoTimeUtc(std::time_t when);
// A message as one line: line feeds and tabs (the continuation lines of the
// package log) become single blanks, runs of blanks one.
std::string oneLine(const std::string& text);

#endif  // DRIF_DECISION_RECORD_H
