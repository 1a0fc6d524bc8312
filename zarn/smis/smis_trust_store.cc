#include "zarn/smis/smis_trust_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cim/certificate.h"
#include "drif/file_descriptor.h"
#include "drif/platform.h"

namespace {

const char SUFFIX[] = ".pem";

std::string errnoText() { return std::strerror(errno); }

bool isHexOrColon(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.';
}

// Makes the folder and its missing parents (0755); true when it exists.
bool makeFolder(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeFolder(path.substr(0, slash)))
    return false;
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
  // mkdir applies the umask; the folder is meant to be readable by all.
  return ::chmod(path.c_str(), 0755) == 0;
}

}  // namespace

SMISTrustStore::SMISTrustStore(std::string folder) : folder_(std::move(folder)) {}

std::string SMISTrustStore::fileHost(const std::string& host) {
  std::string name = host;
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (name.empty() || name.size() > 255) return "";
  bool bracketed = name.front() == '[' && name.back() == ']' && name.size() > 2;
  std::string inner = bracketed ? name.substr(1, name.size() - 2) : name;
  if (bracketed || inner.find(':') != std::string::npos) {
    // An IPv6 address, always bracketed in the file name.
    if (inner.find(':') == std::string::npos ||
        !std::all_of(inner.begin(), inner.end(), isHexOrColon))
      return "";
    return "[" + inner + "]";
  }
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'))
      return "";
  // No hidden file, and nothing that reads as an option.
  if (name.front() == '.' || name.front() == '-') return "";
  return name;
}

std::string SMISTrustStore::pathFor(const std::string& host) const {
  std::string name = fileHost(host);
  return name.empty() ? std::string() : folder_ + "/" + name + SUFFIX;
}

int SMISTrustStore::load(const std::string& host, std::string* pem, std::string* error) const {
  const std::string path = pathFor(host);
  if (path.empty()) return 1;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return 1;
  // A trust file is public and meant to be 0644: it is read as it is,
  // without the map file's check for a mode open to others.
  if (int failure = sys::platform().files->readAll(path, pem)) {
    *error = "Cannot read the trusted certificate " + path + ": " + std::strerror(failure);
    return -1;
  }
  cim::Certificate cert;
  if (!cim::readCertificatePem(*pem, &cert)) {
    *error = "The trusted certificate " + path + " holds no certificate";
    return -1;
  }
  return 0;
}

bool SMISTrustStore::save(const std::string& host, const std::string& pem,
                          std::string* error) const {
  const std::string path = pathFor(host);
  if (path.empty()) {
    *error = "Not a valid SMI-S server host name: " + host;
    return false;
  }
  if (!makeFolder(folder_)) {
    *error = "Cannot make the trust folder " + folder_ + ": " + errnoText();
    return false;
  }
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(&temp[0]);
  if (fd < 0) {
    *error = "Cannot write the trusted certificate " + path + ": " + errnoText();
    return false;
  }
  bool ok = ::fchmod(fd, 0644) == 0 && sys::writeAll(fd, pem);
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    *error = "Cannot write the trusted certificate " + path + ": " + errnoText();
    ::unlink(temp.c_str());
    return false;
  }
  sys::syncFolder(folder_);
  return true;
}

int SMISTrustStore::remove(const std::string& host, std::string* error) const {
  const std::string path = pathFor(host);
  if (path.empty()) {
    *error = "Not a valid SMI-S server host name: " + host;
    return -1;
  }
  if (::unlink(path.c_str()) == 0) return 0;
  if (errno == ENOENT) return 1;
  *error = "Cannot remove the trusted certificate " + path + ": " + errnoText();
  return -1;
}

bool SMISTrustStore::hosts(std::vector<std::string>* out, std::string* error) const {
  out->clear();
  DIR* dir = ::opendir(folder_.c_str());
  if (dir == nullptr) {
    if (errno == ENOENT) return true;
    *error = "Cannot read the trust folder " + folder_ + ": " + errnoText();
    return false;
  }
  const size_t suffix = sizeof SUFFIX - 1;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() <= suffix || name.compare(name.size() - suffix, suffix, SUFFIX) != 0)
      continue;
    std::string host = name.substr(0, name.size() - suffix);
    // Only files this store could have written (no temporary files).
    if (fileHost(host) == host) out->push_back(host);
  }
  ::closedir(dir);
  std::sort(out->begin(), out->end());
  return true;
}
