#include "drif/logger.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include "tests/support/fake_platform.h"

namespace {

class LoggerTest : public ::testing::Test {
 protected:
  fake::ScopedPlatform sys;
};

TEST_F(LoggerTest, StandardOutputLineFormat) {
  fake::ScopedEnv debug("DATAREP_DEBUG", std::nullopt);
  fake::ScopedEnv tz("TZ", std::string("UTC"));
  tzset();
  sys.clock.time = 1700000000;  // Tue Nov 14 22:13:20 UTC 2023
  sys.host.name = "alpha";
  fake::ScopedLogger logger;
  logger.get()->log("hello");
  ASSERT_EQ(sys.console.writes.size(), 1u);
  EXPECT_EQ(sys.console.writes[0], "Nov 14 22:13:20 - Node alpha : hello\n");
  EXPECT_TRUE(sys.syslog.entries.empty());
}

TEST_F(LoggerTest, DebugLineStartsWithDebugAndTimeStamp) {
  fake::ScopedEnv debug("DATAREP_DEBUG", std::string(""));  // empty counts
  fake::ScopedEnv tz("TZ", std::string("UTC"));
  tzset();
  sys.clock.time = 1700000000;
  fake::ScopedLogger logger;
  logger.get()->logDebug("detail");
  ASSERT_EQ(sys.console.writes.size(), 1u);
  EXPECT_EQ(sys.console.writes[0],
            "DEBUG Nov 14 22:13:20 - Node node1 : detail\n");
}

TEST_F(LoggerTest, NoDebugWithoutVariableNotEvenToSysLog) {
  fake::ScopedEnv debug("DATAREP_DEBUG", std::nullopt);
  fake::ScopedLogger logger;
  logger.get()->setOutput(LOG_FILE | SYS_FILE);
  logger.get()->logDebug("hidden");
  logger.get()->logDebug(SYS_FILE, "hidden too");
  EXPECT_TRUE(sys.console.writes.empty());
  EXPECT_TRUE(sys.syslog.entries.empty());
}

TEST_F(LoggerTest, UnknownHostName) {
  sys.host.name.reset();
  fake::ScopedLogger logger;
  logger.get()->log("x");
  EXPECT_NE(sys.console.writes.at(0).find(" - Node Unknown : x"),
            std::string::npos);
}

TEST_F(LoggerTest, DeviceSwitchIsTemporaryAndSysLogIsLiteral) {
  fake::ScopedEnv debug("DATAREP_DEBUG", std::string("1"));
  fake::ScopedLogger logger;
  logger.get()->log(SYS_FILE, "100%s done %d%n");
  logger.get()->logDebug(SYS_FILE, "dbg");
  EXPECT_EQ(logger.get()->getOutput(), LOG_FILE);
  EXPECT_TRUE(sys.console.writes.empty());
  ASSERT_EQ(sys.syslog.entries.size(), 2u);
  EXPECT_EQ(sys.syslog.entries[0].first, LOG_ERR);
  EXPECT_EQ(sys.syslog.entries[0].second, "100%s done %d%n");
  EXPECT_EQ(sys.syslog.entries[1].second, "DEBUG - dbg");
}

TEST_F(LoggerTest, OutputZeroWritesNothingAndBothWritesTwice) {
  fake::ScopedLogger logger;
  logger.get()->setOutput(0);
  logger.get()->log("nothing");
  EXPECT_TRUE(sys.console.writes.empty());
  logger.get()->setOutput(LOG_FILE | SYS_FILE);
  logger.get()->log("both");
  EXPECT_EQ(sys.console.writes.size(), 1u);
  EXPECT_EQ(sys.syslog.entries.size(), 1u);
}

TEST_F(LoggerTest, InvalidDeviceKeepsSettingAndSaysSoInDebug) {
  fake::ScopedEnv debug("DATAREP_DEBUG", std::string(""));
  fake::ScopedLogger logger;
  logger.get()->setOutput(SYS_FILE);
  for (int bad : {4, -1}) {
    sys.console.writes.clear();
    logger.get()->setOutput(bad);
    EXPECT_EQ(logger.get()->getOutput(), SYS_FILE) << bad;
    EXPECT_EQ(sys.messages(),
              std::vector<std::string>{"DEBUG Incorrect output device assigned"})
        << bad;
  }
}

TEST_F(LoggerTest, UseCountAndRemoval) {
  Logger* a = Logger::createInstance();
  Logger* b = Logger::createInstance();
  EXPECT_EQ(a, b);
  EXPECT_EQ(Logger::getInstance(), a);
  EXPECT_TRUE(Logger::removeInstance(&a));
  EXPECT_EQ(a, nullptr);
  EXPECT_NE(Logger::getInstance(), nullptr);
  EXPECT_TRUE(Logger::removeInstance(&b));
  EXPECT_EQ(Logger::getInstance(), nullptr);
  EXPECT_EQ(sys.syslog.closes, 1);
  Logger* c = nullptr;
  EXPECT_FALSE(Logger::removeInstance(&c));
}

TEST_F(LoggerTest, ProgramNameFromUnderscore) {
  EXPECT_EQ(indexProgName("/usr/sbin/drenable"), 10);
  EXPECT_EQ(indexProgName("drenable"), 0);
  fake::ScopedEnv underscore("_", std::string("/opt/kxcluster/bin/drenable"));
  fake::ScopedLogger logger;
  EXPECT_EQ(sys.syslog.idents, std::vector<std::string>{"drenable"});
}

}  // namespace
