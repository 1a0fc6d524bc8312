// Fakes of the platform seams and a scoped installer, so that unit tests run
// the engine without a shell, real files, a real clock or the system log.
#ifndef TESTS_SUPPORT_FAKE_PLATFORM_H
#define TESTS_SUPPORT_FAKE_PLATFORM_H

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "drif/decision_record.h"
#include "drif/logger.h"
#include "drif/platform.h"

namespace fake {

// Answers from a map keyed by the exact command text and records every
// command run. An unknown command answers exit status 0 with no output,
// unless strict is set, in which case it counts as not started.
class Shell : public sys::Shell {
 public:
  sys::CommandResult run(const std::string& command, size_t maxLines,
                         size_t maxLineLength) override {
    commandsRan.push_back(command);
    auto it = answers.find(command);
    if (it == answers.end()) {
      sys::CommandResult r;
      r.started = !strict;
      r.status = strict ? -1 : 0;
      return r;
    }
    sys::CommandResult r = it->second;
    if (r.lines.size() > maxLines) r.lines.resize(maxLines);
    for (auto& l : r.lines)
      if (l.size() > maxLineLength) l.resize(maxLineLength);
    return r;
  }
  // Exit code (not the wait status) and output lines (line feeds added).
  void answer(const std::string& command, int exitCode,
              std::vector<std::string> lines = {}) {
    sys::CommandResult r;
    r.started = true;
    r.status = exitCode << 8;
    for (auto& l : lines) r.lines.push_back(l + "\n");
    answers[command] = r;
  }
  void answerRaw(const std::string& command, sys::CommandResult r) {
    answers[command] = std::move(r);
  }

  std::map<std::string, sys::CommandResult> answers;
  std::vector<std::string> commandsRan;
  bool strict = false;
};

class Files : public sys::Files {
 public:
  bool exists(const std::string& path) override {
    return contents.count(path) > 0 || dirs.count(path) > 0;
  }
  bool canOpenForRead(const std::string& path) override {
    opened.push_back(path);
    return contents.count(path) > 0 && unreadable.count(path) == 0;
  }
  bool remove(const std::string& path) override {
    removed.push_back(path);
    if (undeletable.count(path)) return false;
    return contents.erase(path) > 0;
  }
  // A path the fake does not hold is read from the disk, so that a test
  // keeping its map file in a temporary folder still reads it.
  int readAll(const std::string& path, std::string* out) override {
    out->clear();
    if (contents.count(path) == 0 && dirs.count(path) == 0)
      return sys::RealFiles().readAll(path, out);
    if (!canOpenForRead(path)) return contents.count(path) > 0 ? EACCES : EISDIR;
    *out = contents[path];
    return 0;
  }
  sys::FileKind kindOf(const std::string& path) override {
    looked.push_back(path);
    auto it = kinds.find(path);
    if (it != kinds.end()) return it->second;
    if (contents.count(path) > 0) return sys::FileKind::REGULAR;
    if (dirs.count(path) > 0) return sys::FileKind::DIRECTORY;
    return sys::FileKind::MISSING;
  }
  sys::ReadFailure readRegular(const std::string& path, size_t maxBytes,
                               std::string* out) override {
    // A link is followed to the contents of its path.
    auto it = kinds.find(path);
    bool link = it != kinds.end() && it->second == sys::FileKind::LINK;
    if ((it != kinds.end() && !link) || dirs.count(path) > 0)
      return sys::ReadFailure::NOT_REGULAR;
    if (!canOpenForRead(path)) return sys::ReadFailure::CANNOT_OPEN;
    if (readErrors.count(path) > 0) return sys::ReadFailure::READ_ERROR;
    if (contents[path].size() > maxBytes) return sys::ReadFailure::TOO_LARGE;
    *out = contents[path];
    return sys::ReadFailure::NONE;
  }

  std::map<std::string, std::string> contents;  // regular files
  std::set<std::string> dirs;
  std::set<std::string> unreadable;
  std::set<std::string> undeletable;
  std::vector<std::string> removed;
  std::vector<std::string> opened;  // canOpenForRead calls, in order
  // Paths that are something other than a regular file or a folder (a
  // link, a FIFO, a device), whatever contents says.
  std::map<std::string, sys::FileKind> kinds;
  std::set<std::string> readErrors;  // regular files that fail when read
  std::vector<std::string> looked;   // kindOf calls, in order
};

class Host : public sys::Host {
 public:
  bool hostName(std::string* out) override {
    if (!name) return false;
    *out = *name;
    return true;
  }
  std::optional<std::string> name = std::string("node1");
};

// Time stands still until sleep() moves it on.
class Clock : public sys::Clock {
 public:
  std::time_t now() override {
    ++nowCalls;
    return time;
  }
  void sleep(unsigned seconds) override {
    sleeps.push_back(seconds);
    time += seconds;
  }
  std::time_t time = 1700000000;
  std::vector<unsigned> sleeps;
  int nowCalls = 0;
};

class SysLog : public sys::SysLog {
 public:
  void open(const std::string& ident) override { idents.push_back(ident); }
  void write(int priority, const std::string& text) override {
    entries.emplace_back(priority, text);
  }
  void close() override { ++closes; }
  std::vector<std::string> idents;
  std::vector<std::pair<int, std::string>> entries;
  int closes = 0;
};

class Console : public sys::Console {
 public:
  void write(const std::string& text) override { writes.push_back(text); }
  std::vector<std::string> writes;
};

// Keeps each entry sent, as its fields.
class Journal : public sys::Journal {
 public:
  int send(const std::vector<std::string>& fields) override {
    entries.push_back(fields);
    return answer;
  }
  std::vector<std::vector<std::string>> entries;
  int answer = 0;
};

// Installs one fake of each concern for the life of the object.
// The real files, except that every whole-file read fails with the given
// errno: what a disk gives only by accident (an I/O error).
class FailingReads : public sys::RealFiles {
 public:
  explicit FailingReads(int error) : error_(error) {}
  int readAll(const std::string&, std::string* out) override {
    out->clear();
    return error_;
  }

 private:
  int error_;
};

// Puts files in place of the platform's for the scope; the other seams stay.
class ScopedFiles {
 public:
  explicit ScopedFiles(sys::Files* files) {
    sys::Platform p = sys::platform();
    p.files = files;
    previous_ = sys::setPlatform(&p);
  }
  ~ScopedFiles() { sys::setPlatform(&previous_); }
  ScopedFiles(const ScopedFiles&) = delete;
  ScopedFiles& operator=(const ScopedFiles&) = delete;

 private:
  sys::Platform previous_;
};

class ScopedPlatform {
 public:
  ScopedPlatform() {
    sys::Platform p{&shell, &files, &host, &clock, &syslog, &console, &journal};
    previous_ = sys::setPlatform(&p);
  }
  ~ScopedPlatform() { sys::setPlatform(&previous_); }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

  // The message part of every standard-output line (after " : "), with the
  // line feed removed; debug lines are prefixed "DEBUG ".
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const auto& w : console.writes) {
      std::string line = w;
      if (!line.empty() && line.back() == '\n') line.pop_back();
      bool debug = line.rfind("DEBUG ", 0) == 0;
      size_t at = line.find(" : ");
      std::string msg = at == std::string::npos ? line : line.substr(at + 3);
      out.push_back(debug ? "DEBUG " + msg : msg);
    }
    return out;
  }
  // Only the normal (non-debug) messages.
  std::vector<std::string> normalMessages() const {
    std::vector<std::string> out;
    for (const auto& m : messages())
      if (m.rfind("DEBUG ", 0) != 0) out.push_back(m);
    return out;
  }
  std::vector<std::string> sysLogTexts() const {
    std::vector<std::string> out;
    for (const auto& e : syslog.entries) out.push_back(e.second);
    return out;
  }

  Shell shell;
  Files files;
  Host host;
  Clock clock;
  SysLog syslog;
  Console console;
  Journal journal;

 private:
  sys::Platform previous_;
};

// Sets (or unsets, for nullopt) one environment variable for the life of
// the object and restores the earlier value afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = std::string(old);
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Creates the process logger for the life of the object (after the
// platform and the environment variables it reads are in place).
class ScopedLogger {
 public:
  ScopedLogger() : logger_(::Logger::createInstance()) {}
  ~ScopedLogger() { ::Logger::removeInstance(&logger_); }
  ScopedLogger(const ScopedLogger&) = delete;
  ScopedLogger& operator=(const ScopedLogger&) = delete;
  ::Logger* get() const { return logger_; }

 private:
  ::Logger* logger_;
};

// Keeps a decision record for the life of the object, as drenable does for
// a run.
class ScopedRecord {
 public:
  ScopedRecord() : previous_(DecisionRecord::install(&record)) {}
  ~ScopedRecord() { DecisionRecord::install(previous_); }
  ScopedRecord(const ScopedRecord&) = delete;
  ScopedRecord& operator=(const ScopedRecord&) = delete;

  const nlohmann::json& fields() const { return record.fields(); }
  // A field's value, or null when it was not noted.
  nlohmann::json operator[](const char* field) const {
    return record.has(field) ? record.fields()[field] : nlohmann::json();
  }

  DecisionRecord record;

 private:
  DecisionRecord* previous_;
};

}  // namespace fake

#endif  // TESTS_SUPPORT_FAKE_PLATFORM_H
