// The map file under stress: writers killed in the middle of a save or
// stopped by a full disk, a save waiting for another writer's lock, and the
// two writers of the file running at the same time in two processes.
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

#include "tests/support/map_store.h"
#include "tests/zarn/map_file_fixture.h"
#include "zarn/store/map_file.h"
#include "zarn/store/smis_manager.h"
#include "zarn/store/zarn_id_map.h"

namespace {

SMISManager serverList(const std::string& path, const std::string& prefix,
                       int count) {
  SMISManager m(false, path);
  for (int i = 0; i < count; ++i)
    m.addOrUpdateSMIS(support::server(prefix + std::to_string(i), 5988,
                                      "root/eva", "N", "admin",
                                      "password-" + std::to_string(i)));
  return m;
}

ZARNIDMap deviceMap(const std::string& path, const std::string& prefix,
                    int count) {
  ZARNIDMap m(false, path);
  for (int i = 0; i < count; ++i) {
    DeviceID d;
    d.instanceID = prefix + "-id-" + std::to_string(i);
    d.wwidList = "6005-08b4-0001-" + std::to_string(i) + ",6005-08b4-0002";
    m.setID("50014380025D7E30", "\\Data Replication\\" + prefix +
                                    std::to_string(i), d);
  }
  return m;
}

// Runs save() over and over in a child process and kills it with SIGKILL
// at a different moment each round, spread over the child's second and
// third saves (timed by the child's own first save). After every kill the
// file holds one of the complete images and its mode is what it should be;
// a temporary file left behind is never more open than that.
template <typename Save>
void killWhileSaving(const std::string& path, Save save,
                     const std::vector<std::string>& images, mode_t mode) {
  using Clock = std::chrono::steady_clock;
  const int rounds = 40;
  int seenNew = 0;
  for (int round = 0; round < rounds; ++round) {
    int progress[2];
    ASSERT_EQ(0, pipe(progress));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(progress[0]);
      for (;;) {  // one byte when ready, then one after each save
        if (write(progress[1], "x", 1) != 1) _exit(1);
        save();
      }
    }
    close(progress[1]);
    char byte;
    ASSERT_EQ(1, read(progress[0], &byte, 1));
    Clock::time_point started = Clock::now();
    ASSERT_EQ(1, read(progress[0], &byte, 1));
    auto oneSave = std::chrono::duration_cast<std::chrono::microseconds>(
                       Clock::now() - started)
                       .count();
    usleep(static_cast<useconds_t>(2 * oneSave * ((round * 7) % rounds) /
                                   rounds));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(progress[0]);

    std::string now = support::slurp(path);
    bool whole = false;
    for (size_t i = 0; i < images.size(); ++i) {
      if (now == images[i]) {
        whole = true;
        if (i > 0) ++seenNew;
      }
    }
    ASSERT_TRUE(whole) << "round " << round << ": " << now.size() << " bytes";
    ASSERT_EQ(mode, support::modeOf(path)) << "round " << round;
    if (support::exists(path + ".tmp")) {
      ASSERT_EQ(0u, support::modeOf(path + ".tmp") & ~mode) << "round " << round;
    }
  }
  EXPECT_GT(seenNew, 0);  // kills landed while the new image was in place
}

TEST(MapFileCrashTest, KilledServerListSaveLeavesOldOrNewFile) {
  support::TempDir dir;
  const std::string path = dir.file("yrzarn.map");
  SMISManager first = serverList(path, "first", 3000);
  SMISManager second = serverList(path, "second", 3000);
  ASSERT_EQ(0, first.writeFile());
  ASSERT_EQ(0, deviceMap(path, "g", 200).writeFile());
  std::vector<std::string> images{support::slurp(path)};
  ASSERT_EQ(0, second.writeFile());
  images.push_back(support::slurp(path));
  ASSERT_EQ(0, first.writeFile());
  ASSERT_EQ(images[0], support::slurp(path));

  bool odd = false;
  killWhileSaving(
      path,
      [&] {
        odd = !odd;
        (odd ? second : first).writeFile();
      },
      images, 0600);
}

TEST(MapFileCrashTest, KilledDeviceMapSaveLeavesOldOrNewFile) {
  support::TempDir dir;
  const std::string path = dir.file("yrzarn.map");
  ASSERT_EQ(0, serverList(path, "s", 50).writeFile());
  ZARNIDMap first = deviceMap(path, "first", 4000);
  ZARNIDMap second = deviceMap(path, "second", 4000);
  ASSERT_EQ(0, first.writeFile());
  chmod(path.c_str(), 0640);  // narrowed again by the next save
  std::vector<std::string> images{support::slurp(path)};
  ASSERT_EQ(0, second.writeFile());
  images.push_back(support::slurp(path));
  ASSERT_EQ(0, first.writeFile());

  bool odd = false;
  killWhileSaving(
      path,
      [&] {
        odd = !odd;
        (odd ? second : first).writeFile();
      },
      images, 0600);
}

// smiscred and zarndiscovery at work at the same time: each process loads
// its own section, changes it and saves, many times over. Every change of
// both must be in the file at the end.
TEST(MapFileConcurrencyTest, TwoWritersLoseNoUpdate) {
  support::TempDir dir;
  const std::string path = dir.file("yrzarn.map");
  ASSERT_EQ(0, serverList(path, "seed", 1).writeFile());
  const int rounds = 150;

  pid_t servers = fork();
  ASSERT_GE(servers, 0);
  if (servers == 0) {
    for (int i = 0; i < rounds; ++i) {
      SMISManager m(false, path);
      if (m.readFile(true) != 0) _exit(1);
      m.addOrUpdateSMIS(support::server("host" + std::to_string(i), 5989, "ns",
                                        "Y", "u", "p" + std::to_string(i)));
      if (m.writeFile() != 0) _exit(2);
    }
    _exit(0);
  }
  pid_t groups = fork();
  ASSERT_GE(groups, 0);
  if (groups == 0) {
    for (int i = 0; i < rounds; ++i) {
      ZARNIDMap m(false, path);
      if (m.readFile() != 0) _exit(1);
      DeviceID d;
      d.instanceID = "id" + std::to_string(i);
      m.setID("S", "g" + std::to_string(i), d);
      if (m.writeFile() != 0) _exit(2);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(servers, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  waitpid(groups, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  SMISManager m(true, path);
  EXPECT_FALSE(m.validate()) << m.getErrorMessage();
  EXPECT_EQ(static_cast<size_t>(rounds + 1), support::listOf(m).size());
  ZARNIDMap z(true, path);
  EXPECT_FALSE(z.validate()) << z.getErrorMessage();
  std::list<EDStorageCell> cells;
  z.getList(cells);
  ASSERT_EQ(1u, cells.size());
  EXPECT_EQ(static_cast<size_t>(rounds), cells.front().drgList.size());
  EXPECT_EQ(0600u, support::modeOf(path));
}

using support::MapFileTest;

// A full disk (here: a file size limit) in the middle of a save leaves the
// old file whole and no temporary file behind.
TEST_F(MapFileTest, FailedWriteKeepsTheOldFile) {
  support::spit(path, "old contents\n", 0600);
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
        false, &why);
    _exit(!saved && why.find("Could not write the file " + path + ": ") == 0
              ? 0
              : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_EQ("old contents\n", support::slurp(path));
  EXPECT_EQ((std::vector<std::string>{"yrzarn.map", "yrzarn.map.lock"}),
            dir.files());
}

// While another writer holds the lock, a save waits and then sees the
// other writer's result as the current contents.
TEST_F(MapFileTest, SaveWaitsForTheLockAndReadsUnderIt) {
  support::spit(path, "first", 0600);
  int fd = open(file.lockPath().c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, flock(fd, LOCK_EX));
  std::atomic<bool> done{false};
  std::thread writer([&] {
    file.save(writes("second"), false, &error);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(done);
  support::spit(path, "changed meanwhile", 0600);
  flock(fd, LOCK_UN);
  close(fd);
  writer.join();
  EXPECT_TRUE(done);
  EXPECT_EQ("changed meanwhile", seen);
  EXPECT_EQ("second", support::slurp(path));
}

}  // namespace
