#include "zarn/map_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/zarn/map_test_support.h"

namespace {

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

class MapFileTest : public testing::Test {
 protected:
  MapFileTest() : path(dir.file("yrzarn.map")), file(path) {}

  // A builder that writes the given text, recording what it was handed.
  MapFile::Builder writes(const std::string& text) {
    return [this, text](const std::string* current, std::string* next,
                        std::string*) {
      seen = current == nullptr ? "<none>" : *current;
      *next = text;
      return true;
    };
  }

  maptest::TempDir dir;
  std::string path;
  MapFile file;
  std::string seen;
  std::string error;
};

TEST_F(MapFileTest, ReadsWholeFilesWithAnyBytes) {
  std::string contents;
  EXPECT_FALSE(file.read(&contents));
  std::string bytes(200000, 'x');
  bytes[7] = '\0';
  bytes[8] = '\n';
  maptest::spit(path, bytes);
  ASSERT_TRUE(file.read(&contents));
  EXPECT_EQ(bytes, contents);
}

TEST_F(MapFileTest, CreatesTheFileOwnerOnlyWhateverTheUmask) {
  mode_t old = umask(0);
  bool saved = file.save(writes("new\n"), MapFile::OWNER_ONLY, false, &error);
  umask(0277);
  std::string path2 = dir.file("second.map");
  bool saved2 =
      MapFile(path2).save(writes("x"), MapFile::OWNER_ONLY, false, &error);
  umask(old);
  ASSERT_TRUE(saved) << error;
  ASSERT_TRUE(saved2) << error;
  EXPECT_EQ("<none>", seen);
  EXPECT_EQ("new\n", maptest::slurp(path));
  EXPECT_EQ(0600u, maptest::modeOf(path));
  EXPECT_EQ(0600u, maptest::modeOf(path2));
}

TEST_F(MapFileTest, ModePolicies) {
  maptest::spit(path, "old", 0644);
  ASSERT_TRUE(file.save(writes("a"), MapFile::KEEP_EXISTING, true, &error));
  EXPECT_EQ("old", seen);
  EXPECT_EQ(0644u, maptest::modeOf(path));
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(file.save(writes("b"), MapFile::KEEP_EXISTING, true, &error));
  EXPECT_EQ(0640u, maptest::modeOf(path));
  ASSERT_TRUE(file.save(writes("c"), MapFile::OWNER_ONLY, false, &error));
  EXPECT_EQ(0600u, maptest::modeOf(path));
  EXPECT_EQ("c", maptest::slurp(path));
}

TEST_F(MapFileTest, MustExistCreatesNothing) {
  EXPECT_FALSE(file.save(writes("a"), MapFile::KEEP_EXISTING, true, &error));
  EXPECT_EQ("Could not open the file " + path + " for read", error);
  EXPECT_TRUE(dir.files().empty());
}

TEST_F(MapFileTest, RefusingBuilderLeavesTheFileAlone) {
  maptest::spit(path, "old", 0600);
  bool saved = file.save(
      [](const std::string*, std::string* next, std::string* why) {
        *next = "half";
        *why = "refused";
        return false;
      },
      MapFile::OWNER_ONLY, false, &error);
  EXPECT_FALSE(saved);
  EXPECT_EQ("refused", error);
  EXPECT_EQ("old", maptest::slurp(path));
  EXPECT_EQ((std::vector<std::string>{"yrzarn.map", "yrzarn.map.lock"}),
            dir.files());
}

TEST_F(MapFileTest, LeftoverTemporaryFileIsReplacedNotFollowed) {
  maptest::spit(path, "old", 0600);
  std::string victim = dir.file("victim");
  maptest::spit(victim, "keep me", 0644);
  ASSERT_EQ(0, symlink(victim.c_str(), (path + ".tmp").c_str()));
  ASSERT_TRUE(file.save(writes("new"), MapFile::OWNER_ONLY, false, &error))
      << error;
  EXPECT_EQ("new", maptest::slurp(path));
  EXPECT_EQ("keep me", maptest::slurp(victim));
  EXPECT_FALSE(maptest::exists(path + ".tmp"));
}

TEST_F(MapFileTest, SymbolicLinkKeepsPointingAtTheNewFile) {
  std::string target = dir.file("real.map");
  maptest::spit(target, "old", 0600);
  ASSERT_EQ(0, symlink(target.c_str(), path.c_str()));
  ASSERT_TRUE(file.save(writes("new"), MapFile::OWNER_ONLY, false, &error));
  struct stat st;
  ASSERT_EQ(0, lstat(path.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ("new", maptest::slurp(target));
}

TEST_F(MapFileTest, UnwritableFolderFailsWithTheWriteMessage) {
  MapFile elsewhere("/proc/yrzarn.map");
  EXPECT_FALSE(elsewhere.save(writes("a"), MapFile::OWNER_ONLY, false, &error));
  EXPECT_EQ("Could not open the file /proc/yrzarn.map for write", error);
}

// A full disk (here: a file size limit) in the middle of a save leaves the
// old file whole and no temporary file behind.
TEST_F(MapFileTest, FailedWriteKeepsTheOldFile) {
  maptest::spit(path, "old contents\n", 0600);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string why;
    bool saved = MapFile(path).save(
        [](const std::string*, std::string* next, std::string*) {
          next->assign(100000, 'n');
          return true;
        },
        MapFile::OWNER_ONLY, false, &why);
    _exit(!saved && why.find("Could not write the file " + path + ": ") == 0
              ? 0
              : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_EQ("old contents\n", maptest::slurp(path));
  EXPECT_EQ((std::vector<std::string>{"yrzarn.map", "yrzarn.map.lock"}),
            dir.files());
}

// While another writer holds the lock, a save waits and then sees the
// other writer's result as the current contents.
TEST_F(MapFileTest, SaveWaitsForTheLockAndReadsUnderIt) {
  maptest::spit(path, "first", 0600);
  int fd = open(file.lockPath().c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, flock(fd, LOCK_EX));
  std::atomic<bool> done{false};
  std::thread writer([&] {
    file.save(writes("second"), MapFile::OWNER_ONLY, false, &error);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(done);
  maptest::spit(path, "changed meanwhile", 0600);
  flock(fd, LOCK_UN);
  close(fd);
  writer.join();
  EXPECT_TRUE(done);
  EXPECT_EQ("changed meanwhile", seen);
  EXPECT_EQ("second", maptest::slurp(path));
}

}  // namespace
