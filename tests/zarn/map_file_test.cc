#include "zarn/store/map_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"
#include "tests/support/map_store.h"
#include "tests/zarn/map_file_fixture.h"

namespace {

using support::MapFileTest;

TEST(MapReaderTest, BehavesLikeAnInputStream) {
  const std::string text = "one\n\nlast";
  MapReader in(text);
  std::string line;
  EXPECT_TRUE(in.getLine(&line));
  EXPECT_EQ("one", line);
  EXPECT_TRUE(in.getLine(&line));
  EXPECT_EQ("", line);
  EXPECT_TRUE(in.good());
  EXPECT_TRUE(in.getLine(&line));
  EXPECT_EQ("last", line);
  EXPECT_TRUE(in.eof());
  EXPECT_FALSE(in.getLine(&line));
  EXPECT_EQ("", line);

  const std::string ended = "a\n";
  MapReader atEnd(ended);
  atEnd.getLine(&line);
  EXPECT_FALSE(atEnd.eof());  // like a stream: the end is seen on next read
  EXPECT_FALSE(atEnd.getLine(&line));
  EXPECT_TRUE(atEnd.eof());
  EXPECT_FALSE(atEnd.good());
}

TEST(MapReaderTest, ShortReadSetsEndAndFailure) {
  const std::string text = "abc";
  MapReader in(text);
  std::string bytes;
  EXPECT_EQ(2u, in.read(2, &bytes));
  EXPECT_EQ("ab", bytes);
  EXPECT_EQ("c", in.rest());
  EXPECT_EQ(1u, in.read(5, &bytes));
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(0u, in.read(1, &bytes));
}

TEST_F(MapFileTest, ReadsWholeFilesWithAnyBytes) {
  std::string contents;
  EXPECT_FALSE(file.read(&contents));
  std::string bytes(200000, 'x');
  bytes[7] = '\0';
  bytes[8] = '\n';
  support::spit(path, bytes);
  ASSERT_TRUE(file.read(&contents));
  EXPECT_EQ(bytes, contents);
}

TEST_F(MapFileTest, CreatesTheFileOwnerOnlyWhateverTheUmask) {
  mode_t old = umask(0);
  bool saved = file.save(writes("new\n"), false, &error);
  umask(0277);
  std::string path2 = dir.file("second.map");
  bool saved2 =
      MapFile(path2).save(writes("x"), false, &error);
  umask(old);
  ASSERT_TRUE(saved) << error;
  ASSERT_TRUE(saved2) << error;
  EXPECT_EQ("<none>", seen);
  EXPECT_EQ("new\n", support::slurp(path));
  EXPECT_EQ(0600u, support::modeOf(path));
  EXPECT_EQ(0600u, support::modeOf(path2));
}

// Whatever mode and owner the file had, a save leaves it readable and
// writable by its owner only, and owned by root when root saves it.
TEST_F(MapFileTest, EverySaveLeavesTheFileOwnerOnly) {
  for (mode_t before : {0644, 0666, 0640, 0604, 0400}) {
    for (bool mustExist : {true, false}) {
      support::spit(path, "old", before);
      ASSERT_EQ(0, chown(path.c_str(), 65534, 65534));
      ASSERT_TRUE(file.save(writes("new"), mustExist, &error)) << error;
      EXPECT_EQ("old", seen);
      EXPECT_EQ(0600u, support::modeOf(path)) << std::oct << before;
      struct stat st;
      ASSERT_EQ(0, stat(path.c_str(), &st));
      EXPECT_EQ(geteuid() == 0 ? 0u : geteuid(), st.st_uid) << std::oct << before;
      if (geteuid() == 0) {
        EXPECT_EQ(0u, st.st_gid);
      }
    }
  }
}

TEST_F(MapFileTest, MustExistCreatesNothing) {
  EXPECT_FALSE(file.save(writes("a"), true, &error));
  EXPECT_EQ("Could not open the file " + path + " for read", error);
  EXPECT_TRUE(dir.files().empty());
}

// Only a file that is not there counts as no file. A folder in its place
// or an I/O error fails the save before the builder runs, so that the
// section the builder carries over is never lost.
TEST_F(MapFileTest, ReadFailuresOtherThanNoFileFailTheSave) {
  struct Case {
    const char* what;
    bool folder;
    int readError;  // 0: the real reads
  } cases[] = {
      {"a folder in its place", true, 0},
      {"an I/O error", false, EIO},
  };
  for (const Case& c : cases) {
    for (bool mustExist : {true, false}) {
      if (c.folder) {
        ASSERT_EQ(0, mkdir(path.c_str(), 0700));
      } else {
        support::spit(path, "old", 0600);
      }
      fake::FailingReads failing(c.readError);
      std::optional<fake::ScopedFiles> reads;
      if (c.readError != 0) reads.emplace(&failing);
      std::string contents;
      int failure = 0;
      EXPECT_FALSE(file.read(&contents, &failure)) << c.what;
      EXPECT_EQ(c.folder ? EISDIR : EIO, failure) << c.what;
      seen = "<not built>";
      EXPECT_FALSE(file.save(writes("new"), mustExist, &error)) << c.what;
      reads.reset();
      EXPECT_EQ("Could not open the file " + path + " for read", error) << c.what;
      EXPECT_EQ("<not built>", seen) << c.what;
      if (c.folder) {
        EXPECT_EQ(0, rmdir(path.c_str())) << c.what;
      } else {
        EXPECT_EQ("old", support::slurp(path)) << c.what;
        unlink(path.c_str());
      }
    }
  }
  std::string contents;
  int failure = 0;
  EXPECT_FALSE(file.read(&contents, &failure));
  EXPECT_EQ(ENOENT, failure);
}

// A reader says once per file, on standard error, that the file is open
// to group or others, and reads it all the same.
TEST_F(MapFileTest, ReaderReportsAModeOpenToOthersOnce) {
  struct Case {
    mode_t mode;
    bool reported;
  } cases[] = {{0600, false}, {0700, false}, {0610, false}, {0640, true},
               {0620, true},  {0604, true},  {0602, true},  {0666, true}};
  for (const Case& c : cases) {
    char name[16];
    std::snprintf(name, sizeof name, "m%04o.map", static_cast<unsigned>(c.mode));
    const std::string p = dir.file(name);
    support::spit(p, "text", c.mode);
    testing::internal::CaptureStderr();
    std::string contents;
    EXPECT_TRUE(MapFile(p).read(&contents));
    EXPECT_TRUE(MapFile(p).read(&contents));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ("text", contents);
    EXPECT_EQ(c.reported ? "Warning - The map file " + p + " has mode " +
                               std::string(name).substr(1, 4) +
                               "; it should be readable and writable by its "
                               "owner only.\n"
                         : "",
              err)
        << std::oct << c.mode;
  }
}

// No core file may carry a password: the programs mark themselves not
// dumpable first thing, and any read of the map file does so too.
TEST_F(MapFileTest, PasswordHoldersAreNotDumpable) {
  ASSERT_EQ(0, prctl(PR_SET_DUMPABLE, 1));
  EXPECT_TRUE(keepSecretsOutOfCoreDumps());
  EXPECT_EQ(0, prctl(PR_GET_DUMPABLE));
  ASSERT_EQ(0, prctl(PR_SET_DUMPABLE, 1));
  std::string contents;
  file.read(&contents);
  EXPECT_EQ(0, prctl(PR_GET_DUMPABLE));
}

TEST_F(MapFileTest, RefusingBuilderLeavesTheFileAlone) {
  support::spit(path, "old", 0600);
  bool saved = file.save(
      [](const std::string*, std::string* next, std::string* why) {
        *next = "half";
        *why = "refused";
        return false;
      },
      false, &error);
  EXPECT_FALSE(saved);
  EXPECT_EQ("refused", error);
  EXPECT_EQ("old", support::slurp(path));
  EXPECT_EQ((std::vector<std::string>{"yrzarn.map", "yrzarn.map.lock"}),
            dir.files());
}

TEST_F(MapFileTest, LeftoverTemporaryFileIsReplacedNotFollowed) {
  support::spit(path, "old", 0600);
  std::string victim = dir.file("victim");
  support::spit(victim, "keep me", 0644);
  ASSERT_EQ(0, symlink(victim.c_str(), (path + ".tmp").c_str()));
  ASSERT_TRUE(file.save(writes("new"), false, &error))
      << error;
  EXPECT_EQ("new", support::slurp(path));
  EXPECT_EQ("keep me", support::slurp(victim));
  EXPECT_FALSE(support::exists(path + ".tmp"));
}

TEST_F(MapFileTest, SymbolicLinkKeepsPointingAtTheNewFile) {
  std::string target = dir.file("real.map");
  support::spit(target, "old", 0600);
  ASSERT_EQ(0, symlink(target.c_str(), path.c_str()));
  ASSERT_TRUE(file.save(writes("new"), false, &error));
  struct stat st;
  ASSERT_EQ(0, lstat(path.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ("new", support::slurp(target));
}

TEST_F(MapFileTest, UnwritableFolderFailsWithTheWriteMessage) {
  MapFile elsewhere("/proc/yrzarn.map");
  EXPECT_FALSE(elsewhere.save(writes("a"), false, &error));
  EXPECT_EQ("Could not open the file /proc/yrzarn.map for write", error);
}

}  // namespace
