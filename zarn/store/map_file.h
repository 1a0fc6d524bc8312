// Whole-file access to the map file that SMISManager and ZARNIDMap share.
// Readers take a snapshot of the file without locking; a save replaces the
// file atomically (a temporary file beside it, flushed to disk, renamed over
// it) while holding an advisory lock on a lock file beside it, so that two
// writers of different sections never lose each other's changes and a crash
// leaves either the old or the new file, never a mix.
//
// The map file holds the SMI-S passwords in the clear: every save leaves it
// readable and writable by its owner only (owned by root when root saves
// it), a reader says so when it finds it open to others, and a process is
// marked not dumpable before any of its bytes are read, so that no core
// file carries a password.
#ifndef ZARN_STORE_MAP_FILE_H
#define ZARN_STORE_MAP_FILE_H

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

// The map file: the SMI-S server list and the device ID map of every
// program.
constexpr char MAP_FILE[] = "/opt/kxcluster/conf/sfyrzarn/yrzarn.map";

// The layout of the map file: the device ID map section, a separator line,
// the SMI-S server list section.
constexpr char SECTION_SEPARATOR[] = "#";
constexpr char MAP_BEGIN_TAG[] = "<zarnmap>";
constexpr char MAP_END_TAG[] = "</zarnmap>";
constexpr char DRGROUP_BEGIN_TAG[] = "<drgroup>";
constexpr char DRGROUP_END_TAG[] = "</drgroup>";
constexpr char WWIDLIST_BEGIN_TAG[] = "<wwidlist>";
constexpr char WWIDLIST_END_TAG[] = "</wwidlist>";
constexpr char ID_JOINT[] = ":";  // DR group name and ID on a line
constexpr char SMIS_BEGIN_TAG[] = "<smisdata>";
constexpr char SMIS_END_TAG[] = "</smisdata>";
constexpr char DELIMITER[] = "&";  // the fields of a server entry

// Every line of the map file is meant to fit a reader's line buffer of this
// many bytes (255 characters and the terminator). The readers here take
// lines of any length, so a longer line is never lost or cut.
constexpr int MAX_BUFFER_SIZE = 256;

// A read cursor over the text of a map file that behaves like an input
// stream: reading past the end sets eof, and a read that gets nothing sets
// fail. Lines may have any length. The text must outlive the reader.
class MapReader {
 public:
  explicit MapReader(const std::string& text) : text_(text) {}

  bool good() const { return !eof_ && !fail_; }
  bool eof() const { return eof_; }

  // Reads up to the next line feed, which is consumed but not stored. At
  // the end of the text without a line feed, sets eof; false (and fail)
  // when nothing at all could be read.
  bool getLine(std::string* line);
  // Reads up to n bytes into out; fewer than n set eof and fail. Returns the
  // number of bytes read.
  size_t read(size_t n, std::string* out);
  // Reads lines up to the first that is exactly wanted; false when the
  // text ends before one.
  bool skipTo(const std::string& wanted) {
    std::string line;
    while (good() && !eof()) {
      getLine(&line);
      if (line == wanted) return true;
    }
    return false;
  }
  // The bytes not read yet.
  std::string rest() const { return text_.substr(pos_); }

 private:
  const std::string& text_;
  size_t pos_ = 0;
  bool eof_ = false;
  bool fail_ = false;
};

// Where the first line of text that is exactly line starts (a line ends at a
// line feed or at the end of the text), or std::string::npos.
size_t findLine(const std::string& text, const std::string& line);

// Marks the process not dumpable (no core file, no tracing by other users)
// for the rest of its life; false when the system refused. Programs that
// hold an SMI-S password call it before the password is in memory.
bool keepSecretsOutOfCoreDumps();

class MapFile {
 public:
  // Builds the new contents from the current ones (nullptr when the file
  // does not exist). Returns false, with *error set, to leave the file as
  // it is.
  using Builder = std::function<bool(const std::string* current,
                                     std::string* next, std::string* error)>;

  explicit MapFile(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  std::string lockPath() const { return path_ + ".lock"; }

  // Reads the whole file; false when it cannot be opened or read, with
  // *failure (when given) set to the errno: only ENOENT means that there
  // is no file. The first file found readable or writable by group or
  // others is reported once on standard error (path and mode) and read all
  // the same.
  bool read(std::string* contents, int* failure = nullptr) const;

  // Read-modify-write of the whole file under the writers' lock; the saved
  // file has mode 0600 (and owner root when root saves). A missing file is
  // created unless mustExist; any other failure to read the current file
  // (a folder in its place, an I/O error) fails with "Could not open the
  // file <path> for read" before the builder runs, as does a missing file
  // with mustExist. False on any failure, with *error set; the file then
  // keeps its old contents and mode.
  bool save(const Builder& build, bool mustExist, std::string* error) const;

 private:
  std::string path_;
};

#endif  // ZARN_STORE_MAP_FILE_H
