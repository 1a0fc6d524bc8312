// ZARNValidation as the configuration commands run it, on a sandboxed node
// whose local SMI-S servers are zarnsim processes (names resolved through
// the node's /etc/hosts).
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"

namespace {

using Messages = std::vector<std::string>;

const char* const PKGDIR = "/opt/kxcluster/pkg1";
const char* const ENV_FILE = "/opt/kxcluster/pkg1/pkg1.env";
const char* const OUTPUT = "/opt/kxcluster/pkg1/pkg1.env.smis";

// Both arrays of the package; the provider reports DC2's only when
// dc2Managed.
std::string scenario(bool dc2Managed) {
  return std::string(R"({
  "arrays": [
    {"id": "dc1", "wwn": "50014380025B4A80", "volumes": [{"id": "v1", "wwn": "600A0001"}]},
    {"id": "dc2", "wwn": "50014380025B4C20", "managed": )") +
         (dc2Managed ? "true" : "false") + R"(,
     "volumes": [{"id": "v1", "wwn": "600B0001"}]}
  ],
  "drGroups": [{"name": "dg01", "sides": [
    {"array": "dc1", "volumes": ["v1"]}, {"array": "dc2", "volumes": ["v1"]}]}]
})";
}

bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

mode_t modeOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

class ZarnvalidationE2E : public ::testing::Test {
 protected:
  ZarnvalidationE2E() : both(ZARNSIM_BIN, scenario(true)), dc1Only(ZARNSIM_BIN, scenario(false)) {}

  void SetUp() override {
    ASSERT_TRUE(both.ok()) << both.error();
    ASSERT_TRUE(dc1Only.ok()) << dc1Only.error();
    node.writeFile("/etc/hosts",
                   "127.0.0.1 localhost\n127.0.0.1 smis-down smis-one smis-ok\n");
    node.writeFile(support::MAP_FILE,
                   support::mapFileText({support::deadEntry("smis-down"),
                                         support::simEntry(dc1Only, "smis-one"),
                                         support::simEntry(both, "smis-ok")},
                                        {}),
                   0600);
    node.makeDir(PKGDIR);
    array.dc1Smis = "smis-down smis-one smis-nocred smis-ok";
  }

  support::RunResult run(std::vector<std::string> args) {
    node.writeFile(ENV_FILE, support::packageEnvText(PKGDIR, "Availability_Preferred",
                                                 0, array));
    support::RunOptions o;
    o.args = std::move(args);
    support::RunResult r = node.run(ZARNVALIDATION_BIN, o);
    EXPECT_EQ("", r.setupError);
    return r;
  }

  // The three unusable servers of the list give one warning each.
  void expectThreeWarnings(const Messages& m, size_t first, const std::string& timeout) {
    ASSERT_GE(m.size(), first + 3);
    EXPECT_TRUE(startsWith(m[first], "Warning - Failed to connect to SMI-S smis-down. \n"))
        << m[first];
    EXPECT_TRUE(endsWith(m[first], ".\n\t\t\t\tThe response timeout for the SMI-S server is " +
                                       timeout))
        << m[first];
    EXPECT_EQ("Warning - The Local and Remote Storages are not managed by the SMI-S "
              "smis-one.\n\t\t\t\tCheck the SMI-S and fix the problem..\n\t\t\t\t",
              m[first + 1]);
    EXPECT_EQ("Warning - Failed to get SMI-S information for smis-nocred.\n\t\t\t\t"
              "No SMI-S server named smis-nocred found in the list.\n\t\t\t\t"
              "SMI-S data may not be configured properly. Use \n\t\t\t\t"
              "the \"smiscred\" tool to verify the data list.",
              m[first + 2]);
  }

  support::ZarnSim both;
  support::ZarnSim dc1Only;
  support::Sandbox node{"node1"};
  support::ArrayVariables array;
};

TEST_F(ZarnvalidationE2E, CheckModeRecordsTheUsableServers) {
  support::RunResult r = run({ENV_FILE, "kxcheckconf"});
  EXPECT_EQ(0, r.exitCode) << r.describe();
  Messages m = r.normalMessages();
  ASSERT_EQ(4u, m.size()) << r.describe();
  expectThreeWarnings(m, 0, "300 Sec. ");
  EXPECT_TRUE(startsWith(m[3], "Warning - The SMI-S server smis-ok is reached over HTTP")) << m[3];
  EXPECT_EQ("smis-ok\n", node.readFile(OUTPUT).value_or("<none>"));
  EXPECT_EQ(0644u, modeOf(node.hostPath(OUTPUT)));
  EXPECT_EQ(1u, both.requests("EnumerateInstanceNames").size());
  EXPECT_EQ(1u, dc1Only.requests("EnumerateInstanceNames").size());
}

// Apply mode leaves the servers at the client's 20 seconds; a faulty
// variable makes the status 255 but the usable servers are still recorded.
TEST_F(ZarnvalidationE2E, ApplyModeWithAFaultyVariable) {
  array.drGroup = "";
  array.queryTimeout = "0";
  support::RunResult r = run({ENV_FILE, "kxapplyconf"});
  EXPECT_EQ(255, r.exitCode) << r.describe();
  Messages m = r.normalMessages();
  ASSERT_EQ(8u, m.size()) << r.describe();
  EXPECT_EQ("Error - The DR_GROUP_NAME variable has not been set properly.", m[0]);
  EXPECT_EQ("The QUERY_TIMEOUT variable has not been set properly.\n\t\t\t Use "
            "default, 300 seconds, for the query timeout",
            m[1]);
  EXPECT_EQ("Error - One or more environment variables have not been set\n\t\t\t\t "
            "properly.",
            m[2]);
  EXPECT_EQ("For 'kxapplyconf' command,\n\t\t\t\tUse CIMClient default value of 20 "
            "Sec as the Query Timeout value for the SMI-S server.",
            m[3]);
  expectThreeWarnings(m, 4, "20 Sec.");
  EXPECT_TRUE(startsWith(m[7], "Warning - The SMI-S server smis-ok is reached over HTTP")) << m[7];
  EXPECT_EQ("smis-ok\n", node.readFile(OUTPUT).value_or("<none>"));
}

TEST_F(ZarnvalidationE2E, NoUsableServerKeepsTheEarlierOutput) {
  node.writeFile(OUTPUT, "smis-old\n");
  array.dc1Smis = "smis-one";
  support::RunResult r = run({ENV_FILE, "kxcheckconf"});
  EXPECT_EQ(255, r.exitCode) << r.describe();
  EXPECT_EQ((Messages{"Warning - The Local and Remote Storages are not managed by "
                      "the SMI-S smis-one.\n\t\t\t\tCheck the SMI-S and fix the problem..\n\t\t\t\t",
                      "Error - Unable to access QN Stormview ZARN server from the host.",
                      "Error - Cannot find a local usable SMI-S.\n\t\t\t\tCheck the value "
                      "of SMIS-S server(s) configured in DC1_SMIS_LIST attributes "
                      "\n\t\t\t\tin environment file /opt/kxcluster/pkg1/pkg1.env"}),
            r.normalMessages());
  EXPECT_EQ("smis-old\n", node.readFile(OUTPUT).value_or("<none>"));
}

TEST_F(ZarnvalidationE2E, NodeInNoHostListAsksNoServer) {
  node.setHostName("node9");
  support::RunResult r = run({ENV_FILE, "kxcheckconf"});
  EXPECT_EQ(255, r.exitCode) << r.describe();
  EXPECT_EQ((Messages{"Error - The local host node9 is not in the data center host "
                      "lists \n\t\t\t\tnode1 node2 and node3 node4",
                      "Error - One or more environment variables have not been "
                      "set\n\t\t\t\t properly."}),
            r.normalMessages());
  EXPECT_TRUE(both.requests().empty());
  EXPECT_FALSE(node.readFile(OUTPUT).has_value());
}

TEST_F(ZarnvalidationE2E, TooFewArguments) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{ENV_FILE}}) {
    support::RunResult r = run(args);
    EXPECT_EQ(255, r.exitCode) << r.describe();
    EXPECT_EQ("Error - Provide enough Arguments, Environment file & Command Name - "
              "'kxcheckconf/kxapplyconf'\n",
              r.out);
  }
}

// An unprivileged user who can write the package folder plants a link to
// a file of root's, or a FIFO, at the output file's name or the lock
// file's: the run as root replaces the output file with a new one and
// never writes, changes or waits on what was planted.
TEST_F(ZarnvalidationE2E, WhatAUserPlantsInThePackageFolderIsNeverFollowed) {
  const std::string VICTIM = "/etc/victim";
  const std::string LOCK = std::string(OUTPUT) + ".lock";
  ASSERT_EQ(0, chown(node.hostPath(PKGDIR).c_str(), 65534, 65534));
  struct Case {
    const char* what;
    std::vector<std::string> plant;  // run as nobody
    std::string output;              // the output file afterwards
    bool lockRefused;
  } cases[] = {
      {"a link to root's file", {"/bin/ln", "-s", VICTIM, OUTPUT}, "smis-ok\n", false},
      {"a FIFO", {"/usr/bin/mkfifo", OUTPUT}, "smis-ok\n", false},
      {"a link at the lock file's name", {"/bin/ln", "-s", VICTIM, LOCK}, "<none>", true},
  };
  for (const Case& c : cases) {
    node.writeFile(VICTIM, "secret\n", 0600);
    ::unlink(node.hostPath(OUTPUT).c_str());
    ::unlink(node.hostPath(LOCK).c_str());
    support::RunOptions asNobody;
    asNobody.args = {"--reuid=65534", "--regid=65534", "--clear-groups"};
    asNobody.args.insert(asNobody.args.end(), c.plant.begin(), c.plant.end());
    support::RunResult planted = node.run("/usr/bin/setpriv", asNobody);
    ASSERT_EQ(0, planted.exitCode) << c.what << planted.describe();

    support::RunResult r = run({ENV_FILE, "kxcheckconf"});
    EXPECT_EQ(c.lockRefused ? 255 : 0, r.exitCode) << c.what << r.describe();
    EXPECT_EQ(c.lockRefused,
              r.out.find(std::string("\nError:Cannot lock the file ") + OUTPUT + "\n\n") !=
                  std::string::npos)
        << c.what << r.describe();
    struct stat st;
    bool present = lstat(node.hostPath(OUTPUT).c_str(), &st) == 0;
    if (c.output == "<none>") {
      EXPECT_FALSE(present) << c.what;
    } else {
      ASSERT_TRUE(present) << c.what;
      EXPECT_TRUE(S_ISREG(st.st_mode)) << c.what;
      EXPECT_EQ(0644u, st.st_mode & 07777) << c.what;
      EXPECT_EQ(c.output, node.readFile(OUTPUT).value_or("<none>")) << c.what;
    }
    EXPECT_EQ("secret\n", node.readFile(VICTIM).value_or("<none>")) << c.what;
    EXPECT_EQ(0600u, modeOf(node.hostPath(VICTIM))) << c.what;
  }
}

// Another run holds the output file's lock: this run waits for it, leaving
// the file as it is meanwhile, and then replaces the whole (longer) list.
TEST_F(ZarnvalidationE2E, OutputFileIsLockedWhileWritten) {
  char name[] = "/tmp/zarnvalidation.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(name));
  const std::string folder = name;
  const std::string envFile = folder + "/pkg1.env";
  const std::string output = envFile + ".smis";
  {
    std::ofstream(envFile) << support::packageEnvText(folder, "Availability_Preferred", 0, array);
    std::ofstream(output) << "a-much-longer-stale-entry\nanother-one\n";
  }
  // Close-on-exec: the run must not inherit the lock it is to wait for.
  int fd = ::open((output + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ::flock(fd, LOCK_EX));
  // While the lock is held the waiting run must not have touched the file.
  std::string whileLocked;
  std::thread release([fd, &output, &whileLocked] {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    whileLocked = support::readHostFile(output);
    ::close(fd);  // drops the lock
  });
  support::RunOptions o;
  o.args = {envFile, "kxcheckconf"};
  auto start = std::chrono::steady_clock::now();
  support::RunResult r = node.run(ZARNVALIDATION_BIN, o);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  release.join();
  EXPECT_EQ(0, r.exitCode) << r.describe();
  EXPECT_GE(seconds, 0.6);
  EXPECT_EQ("a-much-longer-stale-entry\nanother-one\n", whileLocked);
  EXPECT_EQ("smis-ok\n", support::readHostFile(output));
  EXPECT_EQ(0644u, modeOf(output));
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

}  // namespace
