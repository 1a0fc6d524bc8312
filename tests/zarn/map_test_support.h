// Helpers for the tests of the map file store: a temporary folder that
// stands for the map file's folder, whole-file reads and writes, and the
// byte image of server list entries.
#ifndef TESTS_ZARN_MAP_TEST_SUPPORT_H
#define TESTS_ZARN_MAP_TEST_SUPPORT_H

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zarn/smis_manager.h"

namespace maptest {

// A fresh folder under /tmp, removed with its files at the end.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/zarnmap.XXXXXX";
    path_ = mkdtemp(name) != nullptr ? name : "";
  }
  ~TempDir() {
    for (const std::string& f : files()) unlink((path_ + "/" + f).c_str());
    rmdir(path_.c_str());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Names in the folder, sorted.
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    DIR* dir = opendir(path_.c_str());
    if (dir == nullptr) return out;
    while (dirent* e = readdir(dir)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    closedir(dir);
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::string path_;
};

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void spit(const std::string& path, const std::string& contents,
                 mode_t mode = 0600) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
  }
  chmod(path.c_str(), mode);
}

inline bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

inline mode_t modeOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

// A password field as stored: the password, then NULs up to 64 bytes.
inline std::string field(const std::string& password) {
  std::string f = password;
  f.resize(PASSWD_BUF_SIZE, '\0');
  return f;
}

// The two lines of one server list entry as the writer stores them.
inline std::string entry(const std::string& line, const std::string& password) {
  return line + "\n" + field(password) + "\n";
}

inline SMISData server(const std::string& host, int port,
                       const std::string& ns, const std::string& ssl,
                       const std::string& user, const std::string& password) {
  SMISData d;
  d.hostname = host;
  d.port = port;
  d.cimNamespace = ns;
  d.useSSL = ssl;
  d.username = user;
  d.password = password;
  return d;
}

// Everything about a record, for comparisons with a readable diff.
inline std::string show(const SMISData& d) {
  return d.hostname + "@" + std::to_string(d.port) + "&" + d.cimNamespace +
         "&" + d.useSSL + "&" + d.username + "&" + d.password;
}

// The whole list, in order, through the iteration operations.
inline std::vector<std::string> listOf(SMISManager& m) {
  std::vector<std::string> out;
  if (m.resetSMISList() != 0) return out;
  SMISData d;
  while (m.getNextSMIS(d) == 0) out.push_back(show(d));
  return out;
}

}  // namespace maptest

#endif  // TESTS_ZARN_MAP_TEST_SUPPORT_H
