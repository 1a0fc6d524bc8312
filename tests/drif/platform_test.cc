// The real file seam against a temporary folder: what lstat sees, and the
// bounded read that never opens a FIFO for blocking nor reads a device.
#include "drif/platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

class RealFilesTest : public ::testing::Test {
 protected:
  RealFilesTest() {
    char name[] = "/tmp/realfiles.XXXXXX";
    folder_ = mkdtemp(name) != nullptr ? name : "";
  }
  ~RealFilesTest() override {
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }
  std::string path(const char* name) const { return folder_ + "/" + name; }
  void write(const char* name, const std::string& text) {
    std::ofstream(path(name), std::ios::binary) << text;
  }

  sys::RealFiles files;
  std::string folder_;
};

TEST_F(RealFilesTest, KindOfDoesNotFollowTheLastLink) {
  ASSERT_FALSE(folder_.empty());
  write("file", "x");
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink(path("file").c_str(), path("link").c_str()), 0);
  ASSERT_EQ(mkdir(path("dir").c_str(), 0700), 0);
  const struct {
    std::string path;
    sys::FileKind kind;
  } cases[] = {{path("file"), sys::FileKind::REGULAR},
               {path("fifo"), sys::FileKind::FIFO},
               {path("link"), sys::FileKind::LINK},
               {path("dir"), sys::FileKind::DIRECTORY},
               {"/dev/null", sys::FileKind::DEVICE},
               {path("none"), sys::FileKind::MISSING}};
  for (const auto& c : cases) EXPECT_EQ(files.kindOf(c.path), c.kind) << c.path;
  // Opening a FIFO nobody writes to returns at once.
  EXPECT_TRUE(files.canOpenForRead(path("fifo")));
}

TEST_F(RealFilesTest, ReadRegularReadsOnlySmallRegularFiles) {
  ASSERT_FALSE(folder_.empty());
  write("small", "A=1\n");
  write("limit", std::string(4096, 'x'));
  write("over", std::string(4097, 'x'));
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink(path("small").c_str(), path("link").c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", path("zero").c_str()), 0);
  ASSERT_EQ(mkdir(path("dir").c_str(), 0700), 0);
  const struct {
    std::string path;
    sys::ReadFailure result;
    size_t size;
  } cases[] = {{path("small"), sys::ReadFailure::NONE, 4},
               {path("link"), sys::ReadFailure::NONE, 4},
               {path("limit"), sys::ReadFailure::NONE, 4096},
               {path("over"), sys::ReadFailure::TOO_LARGE, 0},
               {path("fifo"), sys::ReadFailure::NOT_REGULAR, 0},
               {path("zero"), sys::ReadFailure::NOT_REGULAR, 0},
               {"/dev/zero", sys::ReadFailure::NOT_REGULAR, 0},
               {path("dir"), sys::ReadFailure::NOT_REGULAR, 0},
               {path("none"), sys::ReadFailure::CANNOT_OPEN, 0}};
  for (const auto& c : cases) {
    std::string text = "untouched";
    EXPECT_EQ(files.readRegular(c.path, 4096, &text), c.result) << c.path;
    if (c.result == sys::ReadFailure::NONE)
      EXPECT_EQ(text.size(), c.size) << c.path;
    else
      EXPECT_EQ(text, "untouched") << c.path;
  }
}

}  // namespace
