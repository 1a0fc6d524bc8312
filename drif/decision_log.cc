#include "drif/decision_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "drif/file_descriptor.h"

namespace {

// How long a run waits for another run's turn at the log.
constexpr auto LOCK_WAIT = std::chrono::seconds(2);

std::string reason(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

// What makes an open log unfit to be written or read; empty when it is fit.
std::string unfit(const struct stat& st, bool forWriting) {
  if (S_ISDIR(st.st_mode)) return "it is a folder";
  if (S_ISFIFO(st.st_mode)) return "it is a FIFO";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "it is a device";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  if (!forWriting) return "";
  if (st.st_nlink != 1) return "it has other hard links";
  if (st.st_uid != geteuid())
    return "it is owned by user " + std::to_string(st.st_uid) + ", not by " +
           std::to_string(geteuid());
  return "";
}

std::string openProblem(int error) {
  if (error == ELOOP) return "it is a symbolic link";
  if (error == EISDIR) return "it is a folder";
  if (error == ENXIO) return "it is a FIFO";
  return reason("cannot open it", error);
}

bool readAll(int fd, off_t from, size_t size, std::string* out) {
  out->assign(size, '\0');
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(fd, &(*out)[done], size - done, from + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  out->resize(done);
  return true;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The newest whole lines of text that fit in budget bytes.
std::string newestLines(const std::string& text, size_t budget) {
  if (text.size() <= budget) return text;
  size_t start = text.size() - budget;
  // Start at the beginning of a line, never inside one.
  if (start > 0 && text[start - 1] != '\n') {
    size_t next = text.find('\n', start);
    start = next == std::string::npos ? text.size() : next + 1;
  }
  return text.substr(start);
}

// Replaces the log at path by kept + line through a new file and a rename.
std::string trimAndAppend(int fd, const struct stat& st, const std::string& path,
                          const std::string& line, size_t keep) {
  std::string old;
  if (!readAll(fd, 0, static_cast<size_t>(st.st_size), &old))
    return reason("cannot read it to trim it", errno);
  size_t budget = keep > line.size() ? keep - line.size() : 0;
  std::string kept = newestLines(old, budget);
  if (!kept.empty() && kept.back() != '\n') kept += '\n';

  std::string pattern = path + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  sys::FileDescriptor fresh(::mkostemp(name.data(), O_CLOEXEC));  // mode 0600
  if (fresh.get() < 0) return reason("cannot make a new file to trim it", errno);
  const std::string freshPath = name.data();
  const bool written = sys::writeAll(fresh.get(), kept + line) && ::fsync(fresh.get()) == 0;
  const int error = errno;
  if (!written || ::rename(freshPath.c_str(), path.c_str()) != 0) {
    const int failure = written ? errno : error;
    ::unlink(freshPath.c_str());
    return reason("cannot write the trimmed log", failure);
  }
  sys::syncFolder(folderOf(path));
  return "";
}

}  // namespace

std::string decisionLogPath(const std::string& packageDir) {
  std::string dir = packageDir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir + "/" + DECISION_LOG_FILE;
}

std::string appendDecision(const std::string& path, const std::string& line,
                           std::size_t limit) {
  const std::string text = line + "\n";
  const auto giveUp = std::chrono::steady_clock::now() + LOCK_WAIT;
  for (;;) {
    sys::FileDescriptor fd(::open(path.c_str(),
                             O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK |
                                 O_NOCTTY | O_CLOEXEC,
                             0600));
    if (fd.get() < 0) return openProblem(errno);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return reason("cannot examine it", errno);
    std::string problem = unfit(st, true);
    if (!problem.empty()) return problem;

    // Another run may be writing, or trimming: wait for its turn.
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) return reason("cannot lock it", errno);
      if (std::chrono::steady_clock::now() >= giveUp)
        return "another run held it for more than 2 seconds";
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // A trim by that run put a new file in place of the one opened here.
    struct stat now;
    if (::lstat(path.c_str(), &now) != 0 || now.st_ino != st.st_ino ||
        now.st_dev != st.st_dev) {
      if (std::chrono::steady_clock::now() >= giveUp)
        return "it kept being replaced by another run";
      continue;
    }
    if (::fstat(fd.get(), &st) != 0) return reason("cannot examine it", errno);
    if ((st.st_mode & 07777) != 0600) ::fchmod(fd.get(), 0600);

    if (static_cast<std::size_t>(st.st_size) + text.size() > limit)
      return trimAndAppend(fd.get(), st, path, text, limit / 4 * 3);
    ssize_t n = ::write(fd.get(), text.data(), text.size());
    if (n == static_cast<ssize_t>(text.size())) return "";
    const int error = n < 0 ? errno : ENOSPC;
    // Never leave half a record behind: it would hide the ones before it.
    if (n > 0) (void)!::ftruncate(fd.get(), st.st_size);
    return reason("cannot write it", error);
  }
}

std::string readDecisionLog(const std::string& path, std::string* contents,
                            bool* missing) {
  contents->clear();
  *missing = false;
  sys::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    *missing = errno == ENOENT;
    return openProblem(errno);
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return reason("cannot examine it", errno);
  std::string problem = unfit(st, false);
  if (!problem.empty()) return problem;
  const size_t most = 4 * MAX_DECISION_LOG;
  const size_t size = static_cast<size_t>(st.st_size);
  const off_t from = size > most ? static_cast<off_t>(size - most) : 0;
  if (!readAll(fd.get(), from, size - static_cast<size_t>(from), contents))
    return reason("cannot read it", errno);
  if (from > 0) {
    size_t first = contents->find('\n');
    contents->erase(0, first == std::string::npos ? contents->size() : first + 1);
  }
  return "";
}
