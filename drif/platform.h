// The operating system as the programs see it: shell commands, files, the
// host name, the wall clock and sleeping, the system log, standard output
// and the system journal.
// Each concern is a small interface with a Real... implementation; the
// process-wide Platform bundle holds one of each and defaults to the real
// ones. Tests install fakes with ScopedPlatform (tests/support/fake_platform.h)
// so that the engine runs fast and deterministically.
#ifndef DRIF_PLATFORM_H
#define DRIF_PLATFORM_H

#include <ctime>
#include <string>
#include <vector>

namespace sys {

// Outcome of one shell command.
struct CommandResult {
  bool started = false;  // false when the shell could not be started
  int status = -1;       // wait status as pclose returns it (-1: error)
  std::vector<std::string> lines;  // standard output, one entry per line,
                                   // each with its line feed if it had one
};

// Runs a command through /bin/sh in read mode, as popen/pclose do, with no
// descriptor above 2 left open in the command.
class Shell {
 public:
  virtual ~Shell() = default;
  // Runs the text as it stands; the caller adds "2>&1" where wanted. At most
  // maxLines output lines are kept (the rest is read and dropped, so the
  // command never blocks on a full pipe); each line is cut at maxLineLength.
  virtual CommandResult run(const std::string& command, size_t maxLines = 1,
                            size_t maxLineLength = 1023) = 0;
};

class RealShell : public Shell {
 public:
  CommandResult run(const std::string& command, size_t maxLines,
                    size_t maxLineLength) override;
};

// What a path names, the path itself (a final symbolic link not followed).
enum class FileKind { MISSING, REGULAR, DIRECTORY, LINK, FIFO, DEVICE, OTHER };

// Why a bounded read of a regular file gave nothing.
enum class ReadFailure { NONE, CANNOT_OPEN, NOT_REGULAR, TOO_LARGE, READ_ERROR };

// File queries the engine makes on paths it does not own.
class Files {
 public:
  virtual ~Files() = default;
  virtual bool exists(const std::string& path) = 0;  // access(F_OK)
  // Opens without blocking (a FIFO never holds the caller up) and closes.
  virtual bool canOpenForRead(const std::string& path) = 0;
  virtual bool remove(const std::string& path) = 0;  // unlink
  // Whole contents of a file: 0, or the errno of the failure (ENOENT only
  // when there is no such file); contents is left empty on failure.
  virtual int readAll(const std::string& path, std::string* contents) = 0;
  virtual FileKind kindOf(const std::string& path) = 0;  // lstat
  // Whole contents of a regular file of at most maxBytes. The file is
  // opened without blocking and checked with fstat before anything is read,
  // so a FIFO or a device is refused, never read.
  virtual ReadFailure readRegular(const std::string& path, size_t maxBytes,
                                  std::string* contents) = 0;
};

class RealFiles : public Files {
 public:
  bool exists(const std::string& path) override;
  bool canOpenForRead(const std::string& path) override;
  bool remove(const std::string& path) override;
  int readAll(const std::string& path, std::string* contents) override;
  FileKind kindOf(const std::string& path) override;
  ReadFailure readRegular(const std::string& path, size_t maxBytes,
                          std::string* contents) override;
};

class Host {
 public:
  virtual ~Host() = default;
  // This node's host name (gethostname, at most 63 characters); false when
  // it cannot be read.
  virtual bool hostName(std::string* name) = 0;
};

class RealHost : public Host {
 public:
  bool hostName(std::string* name) override;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::time_t now() = 0;
  virtual void sleep(unsigned seconds) = 0;
};

class RealClock : public Clock {
 public:
  std::time_t now() override;
  void sleep(unsigned seconds) override;
};

class SysLog {
 public:
  virtual ~SysLog() = default;
  virtual void open(const std::string& ident) = 0;  // openlog(ident, 0, 0)
  // Logs the text literally (never as a format).
  virtual void write(int priority, const std::string& text) = 0;
  virtual void close() = 0;
};

class RealSysLog : public SysLog {
 public:
  void open(const std::string& ident) override;
  void write(int priority, const std::string& text) override;
  void close() override;

 private:
  std::string ident_;  // openlog keeps the pointer, so the text lives here
};

// Standard output: each call is one write, flushed at once.
class Console {
 public:
  virtual ~Console() = default;
  virtual void write(const std::string& text) = 0;
};

class RealConsole : public Console {
 public:
  void write(const std::string& text) override;
};

// The system journal, for entries with fields of their own.
class Journal {
 public:
  virtual ~Journal() = default;
  // Sends one entry made of "NAME=value" texts (a value may hold line
  // feeds); 0, or a negative errno when it could not be sent (no journal
  // runs on this node, for one).
  virtual int send(const std::vector<std::string>& fields) = 0;
};

class RealJournal : public Journal {
 public:
  int send(const std::vector<std::string>& fields) override;
};

struct Platform {
  Shell* shell;
  Files* files;
  Host* host;
  Clock* clock;
  SysLog* syslog;
  Console* console;
  Journal* journal;
};

// The platform in force: the real one unless a test installed another.
Platform& platform();
// Installs p (or the real platform for nullptr); returns the previous one.
Platform setPlatform(const Platform* p);

}  // namespace sys

#endif  // DRIF_PLATFORM_H
