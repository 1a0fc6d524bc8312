// Whole-file access to the map file that SMISManager and ZARNIDMap share.
// Readers take a snapshot of the file without locking; a save replaces the
// file atomically (a temporary file beside it, flushed to disk, renamed over
// it) while holding an advisory lock on a lock file beside it, so that two
// writers of different sections never lose each other's changes and a crash
// leaves either the old or the new file, never a mix.
#ifndef ZARN_MAP_FILE_H
#define ZARN_MAP_FILE_H

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

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

class MapFile {
 public:
  // Who may read and write the saved file.
  enum ModePolicy {
    OWNER_ONLY,     // 0600, whatever the file had before
    KEEP_EXISTING,  // the mode (and owner) the file has now
  };

  // Builds the new contents from the current ones (nullptr when the file
  // does not exist). Returns false, with *error set, to leave the file as
  // it is.
  using Builder = std::function<bool(const std::string* current,
                                     std::string* next, std::string* error)>;

  explicit MapFile(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  std::string lockPath() const { return path_ + ".lock"; }

  // Reads the whole file; false when it cannot be opened or read.
  bool read(std::string* contents) const;

  // Read-modify-write of the whole file under the writers' lock. With
  // mustExist the file is never created: a missing or unreadable file fails
  // with "Could not open the file <path> for read" before anything is made.
  // False on any failure, with *error set; the file then keeps its old
  // contents and mode.
  bool save(const Builder& build, ModePolicy mode, bool mustExist,
            std::string* error) const;

 private:
  std::string path_;
};

#endif  // ZARN_MAP_FILE_H
