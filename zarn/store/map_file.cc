#include "zarn/store/map_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <set>
#include <string>

#include "drif/file_descriptor.h"
#include "drif/platform.h"

bool MapReader::getLine(std::string* line) {
  line->clear();
  if (!good() || pos_ >= text_.size()) {
    eof_ = eof_ || pos_ >= text_.size();
    fail_ = true;
    return false;
  }
  size_t end = text_.find('\n', pos_);
  if (end == std::string::npos) {
    line->assign(text_, pos_, std::string::npos);
    pos_ = text_.size();
    eof_ = true;
    return true;
  }
  line->assign(text_, pos_, end - pos_);
  pos_ = end + 1;
  return true;
}

size_t MapReader::read(size_t n, std::string* out) {
  out->clear();
  if (!good()) {
    fail_ = true;
    return 0;
  }
  size_t got = std::min(n, text_.size() - pos_);
  out->assign(text_, pos_, got);
  pos_ += got;
  if (got < n) {
    eof_ = true;
    fail_ = true;
  }
  return got;
}

size_t findLine(const std::string& text, const std::string& line) {
  size_t pos = 0;
  while ((pos = text.find(line, pos)) != std::string::npos) {
    size_t end = pos + line.size();
    if ((pos == 0 || text[pos - 1] == '\n') &&
        (end == text.size() || text[end] == '\n'))
      return pos;
    ++pos;
  }
  return std::string::npos;
}

namespace {

std::string errnoText() { return std::strerror(errno); }

std::string dirName(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Says once per file, on standard error, that the map file is open to
// group or others. Standard output stays free of it: scripts parse the
// tools' output lines.
void warnAboutMode(const std::string& path, mode_t mode) {
  static std::mutex lock;
  static std::set<std::string> warned;
  std::lock_guard<std::mutex> hold(lock);
  if (!warned.insert(path).second) return;
  char octal[8];
  std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode & 07777));
  std::cerr << "Warning - The map file " << path << " has mode " << octal
            << "; it should be readable and writable by its owner only.\n";
  std::cerr.flush();
}

}  // namespace

bool keepSecretsOutOfCoreDumps() { return ::prctl(PR_SET_DUMPABLE, 0) == 0; }

bool MapFile::read(std::string* contents, int* failure) const {
  keepSecretsOutOfCoreDumps();
  contents->clear();
  struct stat st;
  if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0066) != 0)
    warnAboutMode(path_, st.st_mode);
  int err = sys::platform().files->readAll(path_, contents);
  if (failure != nullptr) *failure = err;
  if (err == 0) return true;
  contents->clear();
  return false;
}

bool MapFile::save(const Builder& build, bool mustExist,
                   std::string* error) const {
  const std::string cannotRead = "Could not open the file " + path_ + " for read";
  if (mustExist && ::access(path_.c_str(), R_OK) != 0) {
    *error = cannotRead;
    return false;
  }

  // The lock covers reading the section carried over, so that it is the
  // one on disk at the moment of the save.
  // Failing to make a file in the map file's folder is failing to write
  // the map file.
  sys::FileDescriptor lock(::open(lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) {
    *error = "Could not open the file " + path_ + " for write";
    return false;
  }
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    *error = "Could not lock the file " + path_ + ": " + errnoText();
    return false;
  }

  // Only a file that is not there counts as no file: a file that is there
  // but cannot be read would otherwise be replaced by one that has lost
  // the other section.
  std::string current;
  int failure = 0;
  bool exists = read(&current, &failure);
  if (!exists && (mustExist || failure != ENOENT)) {
    *error = cannotRead;
    return false;
  }
  std::string next;
  if (!build(exists ? &current : nullptr, &next, error)) return false;
  current.clear();
  current.shrink_to_fit();

  // A symbolic link keeps pointing at the file: the new file replaces the
  // link's target.
  std::string target = path_;
  struct stat link;
  if (::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path_.c_str(), resolved) != nullptr) target = resolved;
  }
  const std::string temp = target + ".tmp";

  // Under the lock no other writer uses the temporary file: what is there
  // was left by a writer that died.
  ::unlink(temp.c_str());
  sys::FileDescriptor out(::open(temp.c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (out.get() < 0) {
    *error = "Could not open the file " + path_ + " for write";
    return false;
  }
  // The passwords are for root's eyes only, whatever mode or owner the
  // file had before.
  bool ok = ::fchmod(out.get(), 0600) == 0 &&
            (::geteuid() != 0 || ::fchown(out.get(), 0, 0) == 0);
  if (!ok) {
    *error = "Failed to set the acess permission of the file " + path_ + ".";
  } else if (!sys::writeAll(out.get(), next) || ::fsync(out.get()) != 0 ||
             !out.close()) {
    *error = "Could not write the file " + path_ + ": " + errnoText();
    ok = false;
  } else if (::rename(temp.c_str(), target.c_str()) != 0) {
    *error = "Could not replace the file " + path_ + ": " + errnoText();
    ok = false;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  sys::syncFolder(dirName(target));
  return true;
}
