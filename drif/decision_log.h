// The package's decision log: DECISION_LOG_FILE in the package directory,
// one decision record (decision_record.h) a line, oldest first. drenable
// appends one line a run; drenable -explain reads it back.
//
// The file is root's (the user drenable runs as), mode 0600, and only ever
// a regular file with one link: a link, a FIFO, a device or a folder
// planted at its name is refused, never followed or opened for writing.
// Each record is added with one write; two runs at once take turns (an
// advisory lock on the file). Past MAX_DECISION_LOG bytes the oldest
// records go: the newest that fit in KEEP_AFTER_TRIM bytes are written to a
// new file that replaces the old one by rename, so a reader sees either.
#ifndef DRIF_DECISION_LOG_H
#define DRIF_DECISION_LOG_H

#include <cstddef>
#include <string>

constexpr char DECISION_LOG_FILE[] = "decisions.jsonl";
constexpr std::size_t MAX_DECISION_LOG = 1u << 20;
constexpr std::size_t KEEP_AFTER_TRIM = 3 * (MAX_DECISION_LOG / 4);

// <packageDir>/decisions.jsonl
std::string decisionLogPath(const std::string& packageDir);

// Appends line and a line feed to the log at path, trimming it first when
// it would grow past limit. Empty on success, else what went wrong (the
// log is then as it was).
std::string appendDecision(const std::string& path, const std::string& line,
                           std::size_t limit = MAX_DECISION_LOG);

// The whole log, or its last 4 x MAX_DECISION_LOG bytes when it is larger
// (cut at a line start). Empty on success, else what went wrong; ENOENT as
// *missing when there is no log yet.
std::string readDecisionLog(const std::string& path, std::string* contents,
                            bool* missing);

#endif  // DRIF_DECISION_LOG_H
