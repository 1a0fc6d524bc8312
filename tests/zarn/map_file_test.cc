#include "zarn/map_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

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
  bool saved = file.save(writes("new\n"), MapFile::OWNER_ONLY, false, &error);
  umask(0277);
  std::string path2 = dir.file("second.map");
  bool saved2 =
      MapFile(path2).save(writes("x"), MapFile::OWNER_ONLY, false, &error);
  umask(old);
  ASSERT_TRUE(saved) << error;
  ASSERT_TRUE(saved2) << error;
  EXPECT_EQ("<none>", seen);
  EXPECT_EQ("new\n", support::slurp(path));
  EXPECT_EQ(0600u, support::modeOf(path));
  EXPECT_EQ(0600u, support::modeOf(path2));
}

TEST_F(MapFileTest, ModePolicies) {
  support::spit(path, "old", 0644);
  ASSERT_TRUE(file.save(writes("a"), MapFile::KEEP_EXISTING, true, &error));
  EXPECT_EQ("old", seen);
  EXPECT_EQ(0644u, support::modeOf(path));
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(file.save(writes("b"), MapFile::KEEP_EXISTING, true, &error));
  EXPECT_EQ(0640u, support::modeOf(path));
  ASSERT_TRUE(file.save(writes("c"), MapFile::OWNER_ONLY, false, &error));
  EXPECT_EQ(0600u, support::modeOf(path));
  EXPECT_EQ("c", support::slurp(path));
}

TEST_F(MapFileTest, MustExistCreatesNothing) {
  EXPECT_FALSE(file.save(writes("a"), MapFile::KEEP_EXISTING, true, &error));
  EXPECT_EQ("Could not open the file " + path + " for read", error);
  EXPECT_TRUE(dir.files().empty());
}

TEST_F(MapFileTest, RefusingBuilderLeavesTheFileAlone) {
  support::spit(path, "old", 0600);
  bool saved = file.save(
      [](const std::string*, std::string* next, std::string* why) {
        *next = "half";
        *why = "refused";
        return false;
      },
      MapFile::OWNER_ONLY, false, &error);
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
  ASSERT_TRUE(file.save(writes("new"), MapFile::OWNER_ONLY, false, &error))
      << error;
  EXPECT_EQ("new", support::slurp(path));
  EXPECT_EQ("keep me", support::slurp(victim));
  EXPECT_FALSE(support::exists(path + ".tmp"));
}

TEST_F(MapFileTest, SymbolicLinkKeepsPointingAtTheNewFile) {
  std::string target = dir.file("real.map");
  support::spit(target, "old", 0600);
  ASSERT_EQ(0, symlink(target.c_str(), path.c_str()));
  ASSERT_TRUE(file.save(writes("new"), MapFile::OWNER_ONLY, false, &error));
  struct stat st;
  ASSERT_EQ(0, lstat(path.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ("new", support::slurp(target));
}

TEST_F(MapFileTest, UnwritableFolderFailsWithTheWriteMessage) {
  MapFile elsewhere("/proc/yrzarn.map");
  EXPECT_FALSE(elsewhere.save(writes("a"), MapFile::OWNER_ONLY, false, &error));
  EXPECT_EQ("Could not open the file /proc/yrzarn.map for write", error);
}

}  // namespace
