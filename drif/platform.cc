#include "drif/platform.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sys {

// popen, except that the command gets no descriptor above 2: whatever the
// program and its libraries hold open (libcurl's sockets, the map file)
// stays with the program.
CommandResult RealShell::run(const std::string& command, size_t maxLines,
                             size_t maxLineLength) {
  CommandResult result;
  std::fflush(nullptr);  // the child must not inherit unwritten output
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, "/bin/sh", &actions, nullptr,
                            const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  FILE* pipe = spawned == 0 ? fdopen(ends[0], "r") : nullptr;
  if (pipe == nullptr) {
    ::close(ends[0]);
    if (spawned == 0) waitpid(pid, nullptr, 0);
    return result;
  }
  result.started = true;
  std::string line;
  int c;
  auto finish = [&]() {
    if (result.lines.size() < maxLines) {
      if (line.size() > maxLineLength) line.resize(maxLineLength);
      result.lines.push_back(line);
    }
    line.clear();
  };
  while ((c = std::fgetc(pipe)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') finish();
  }
  if (!line.empty()) finish();
  std::fclose(pipe);
  int status = 0;
  pid_t waited;
  while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  result.status = waited == pid ? status : -1;
  return result;
}

bool RealFiles::exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

bool RealFiles::canOpenForRead(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool RealFiles::remove(const std::string& path) {
  return unlink(path.c_str()) == 0;
}

int RealFiles::readAll(const std::string& path, std::string* contents) {
  contents->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    contents->reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  int failure = 0;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failure = errno;
    if (n <= 0) break;
    contents->append(buf, static_cast<size_t>(n));
  }
  close(fd);
  if (failure != 0) contents->clear();
  return failure;
}

FileKind RealFiles::kindOf(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return FileKind::MISSING;
  if (S_ISREG(st.st_mode)) return FileKind::REGULAR;
  if (S_ISDIR(st.st_mode)) return FileKind::DIRECTORY;
  if (S_ISLNK(st.st_mode)) return FileKind::LINK;
  if (S_ISFIFO(st.st_mode)) return FileKind::FIFO;
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return FileKind::DEVICE;
  return FileKind::OTHER;
}

ReadFailure RealFiles::readRegular(const std::string& path, size_t maxBytes,
                                   std::string* contents) {
  // A device is not even opened (opening some has effects of its own); what
  // is opened is checked again, as the path may have changed in between.
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return ReadFailure::NOT_REGULAR;
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return ReadFailure::CANNOT_OPEN;
  ReadFailure result = ReadFailure::NONE;
  if (fstat(fd, &st) != 0) {
    result = ReadFailure::READ_ERROR;
  } else if (!S_ISREG(st.st_mode)) {
    result = ReadFailure::NOT_REGULAR;
  } else if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
    result = ReadFailure::TOO_LARGE;
  }
  // The limit holds for what is read, also when the file grows meanwhile.
  std::string text;
  char buffer[8192];
  while (result == ReadFailure::NONE) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = ReadFailure::READ_ERROR;
    } else if (n == 0) {
      break;
    } else if (text.size() + static_cast<size_t>(n) > maxBytes) {
      result = ReadFailure::TOO_LARGE;
    } else {
      text.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  if (result == ReadFailure::NONE) *contents = text;
  return result;
}

bool RealHost::hostName(std::string* name) {
  char buffer[65];
  std::memset(buffer, 0, sizeof buffer);
  if (gethostname(buffer, 64) != 0) return false;
  buffer[63] = '\0';  // a name of 64 or more characters may lack its NUL
  *name = buffer;
  return true;
}

std::time_t RealClock::now() { return std::time(nullptr); }

void RealClock::sleep(unsigned seconds) {
  // sleep() may return early on a signal; finish the interval.
  unsigned left = seconds;
  while (left > 0) left = ::sleep(left);
}

void RealSysLog::open(const std::string& ident) {
  ident_ = ident;
  openlog(ident_.c_str(), 0, 0);
}

void RealSysLog::write(int priority, const std::string& text) {
  syslog(priority, "%s", text.c_str());
}

void RealSysLog::close() { closelog(); }

void RealConsole::write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

int RealJournal::send(const std::vector<std::string>& fields) {
  std::vector<iovec> parts;
  parts.reserve(fields.size());
  for (const std::string& f : fields)
    parts.push_back({const_cast<char*>(f.data()), f.size()});
  return sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
}

namespace {

Platform& realPlatform() {
  static RealShell shell;
  static RealFiles files;
  static RealHost host;
  static RealClock clock;
  static RealSysLog syslog;
  static RealConsole console;
  static RealJournal journal;
  static Platform real{&shell, &files, &host, &clock, &syslog, &console, &journal};
  return real;
}

Platform& current() {
  static Platform p = realPlatform();
  return p;
}

}  // namespace

Platform& platform() { return current(); }

Platform setPlatform(const Platform* p) {
  Platform previous = current();
  current() = (p != nullptr) ? *p : realPlatform();
  return previous;
}

}  // namespace sys
