// Files for tests: a temporary folder removed with its contents at the end,
// and whole-file reads and writes.
#ifndef TESTS_SUPPORT_FILES_H
#define TESTS_SUPPORT_FILES_H

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace support {

// The whole file ("" when it cannot be read).
inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Replaces the file with contents and gives it mode.
inline void spit(const std::string& path, const std::string& contents,
                 mode_t mode = 0600) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
  }
  ::chmod(path.c_str(), mode);
}

inline bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The permission bits (0 when missing).
inline mode_t modeOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/drtest.XXXXXX";
    path_ = ::mkdtemp(name) != nullptr ? name : "";
  }
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& text) const {
    std::ofstream(file(name), std::ios::binary | std::ios::trunc) << text;
  }
  // "" when missing.
  std::string read(const std::string& name) const { return slurp(file(name)); }
  // Names in the folder, sorted.
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(path_, ec))
      out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::string path_;
};

}  // namespace support

#endif  // TESTS_SUPPORT_FILES_H
