// The package's decision log on a real folder: one line a record, mode
// 0600, nothing planted at its name ever written through, and the oldest
// records trimmed, whole, past the size limit.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "drif/decision_log.h"
#include "tests/support/files.h"

namespace {

using support::TempDir;

TEST(DecisionLogTest, AppendsOneLineARecordPrivateToRoot) {
  TempDir dir;
  const std::string path = decisionLogPath(dir.path() + "/");
  EXPECT_EQ(path, dir.path() + "/decisions.jsonl");
  EXPECT_EQ(appendDecision(path, R"({"exit":0})"), "");
  EXPECT_EQ(appendDecision(path, R"({"exit":1})"), "");
  EXPECT_EQ(support::slurp(path), "{\"exit\":0}\n{\"exit\":1}\n");
  EXPECT_EQ(support::modeOf(path), 0600u);

  // A log someone opened up is closed again at the next record.
  ::chmod(path.c_str(), 0644);
  EXPECT_EQ(appendDecision(path, "{}"), "");
  EXPECT_EQ(support::modeOf(path), 0600u);

  std::string contents;
  bool missing = true;
  EXPECT_EQ(readDecisionLog(path, &contents, &missing), "");
  EXPECT_FALSE(missing);
  EXPECT_EQ(contents, "{\"exit\":0}\n{\"exit\":1}\n{}\n");
  EXPECT_NE(readDecisionLog(dir.path() + "/none.jsonl", &contents, &missing), "");
  EXPECT_TRUE(missing);
}

// Given something planted at the log's name, no record is written through
// it (and a FIFO never blocks the run).
TEST(DecisionLogTest, WhatIsPlantedAtItsNameIsNeverWrittenThrough) {
  struct Case {
    const char* name;
    void (*plant)(const std::string& path, const std::string& target);
    const char* problem;
  };
  const Case cases[] = {
      {"symbolic link",
       [](const std::string& p, const std::string& t) { ASSERT_EQ(::symlink(t.c_str(), p.c_str()), 0); },
       "it is a symbolic link"},
      {"hard link",
       [](const std::string& p, const std::string& t) { ASSERT_EQ(::link(t.c_str(), p.c_str()), 0); },
       "it has other hard links"},
      {"fifo", [](const std::string& p, const std::string&) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
       "it is a FIFO"},
      {"folder", [](const std::string& p, const std::string&) { ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); },
       "it is a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string target = dir.path() + "/shadow";
    support::spit(target, "secret\n", 0600);
    const std::string path = decisionLogPath(dir.path());
    c.plant(path, target);
    EXPECT_EQ(appendDecision(path, "{}"), c.problem);
    EXPECT_EQ(support::slurp(target), "secret\n");
    std::string contents;
    bool missing = false;
    EXPECT_EQ(readDecisionLog(path, &contents, &missing).empty(),
              std::string(c.name) == "hard link");
  }
}

TEST(DecisionLogTest, OldestRecordsGoWholePastTheLimit) {
  TempDir dir;
  const std::string path = decisionLogPath(dir.path());
  const size_t limit = 1000;
  for (int i = 0; i < 200; ++i) {
    std::string line = "{\"n\":" + std::to_string(i) + ",\"pad\":\"" + std::string(30, 'x') + "\"}";
    ASSERT_EQ(appendDecision(path, line, limit), "") << i;
    ASSERT_LE(support::slurp(path).size(), limit) << i;
  }
  const std::string contents = support::slurp(path);
  // Whole lines only, the newest last, in order.
  EXPECT_EQ(contents.front(), '{');
  EXPECT_EQ(contents.back(), '\n');
  EXPECT_NE(contents.find("{\"n\":199,"), std::string::npos);
  EXPECT_EQ(contents.find("{\"n\":0,"), std::string::npos);
  EXPECT_LT(contents.find("{\"n\":198,"), contents.find("{\"n\":199,"));
  EXPECT_EQ(support::modeOf(path), 0600u);
}

}  // namespace
