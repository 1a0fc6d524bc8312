// What drenable makes of its decision record: the record completed when
// the run ends (exit code, duration, FORCEFLAG, where the source now is and
// the short reason), written to the package's decision log and the system
// journal, and read back in words by drenable -explain.
#ifndef SFCORE_DECISION_REPORT_H
#define SFCORE_DECISION_REPORT_H

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

class DecisionRecord;

// The MESSAGE_ID of every journal entry drenable sends for a decision.
constexpr char DECISION_MESSAGE_ID[] = "a03ebe107da641489bf7b3d7daaa0983";
// Pacemaker keeps this many bytes of an exit reason; the short reason fits.
constexpr std::size_t MAX_REASON = 128;

// Adds what is known only at the end of the run: the start time and
// duration, the preview flag, the exit code, the FORCEFLAG file's fate when
// the decision did not consult it, the site that holds the source once the
// run ended, and the short reason.
void completeRecord(DecisionRecord& record, std::time_t started, long durationMs,
                    int exitCode);

// The outcome, the cause, the policy or the way out, in at most MAX_REASON
// bytes on one line, e.g. "refused: data here may not be current (17 writes
// behind); DATA_CURRENCY_PREFERRED; FORCEFLAG overrides".
std::string shortReason(const nlohmann::json& record);

// Why a failover (or a wait before one) did not get the package started,
// in a few words: the time limit, WAIT_TIME, the array's refusal, a lost
// answer...
std::string failedActionCause(const nlohmann::json& record);

// Writes the record as one line to the package's decision log and sends it
// to the journal. A record that cannot be written costs a warning in the
// package log; one without a package directory is not written, and the
// package log says so.
void writeRecord(const DecisionRecord& record);

// The journal entry's fields: MESSAGE, MESSAGE_ID, PRIORITY,
// SYSLOG_IDENTIFIER, DRENABLE_<FIELD> for each plain field of the record,
// and DRENABLE_RECORD, the whole record.
std::vector<std::string> journalFields(const nlohmann::json& record);

// The record as one line of JSON (invalid UTF-8 from an array replaced).
std::string recordLine(const nlohmann::json& record);

#endif  // SFCORE_DECISION_REPORT_H
