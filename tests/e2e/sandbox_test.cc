// The harness itself: what a node looks like from inside, checked with the
// shell, so that later e2e tests can rely on it.
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace {

using support::RunOptions;
using support::Sandbox;

RunOptions shell(const std::string& script) {
  RunOptions o;
  o.args = {"-c", script};
  return o;
}

TEST(SandboxTest, HostNameFilesAndWritesStayInside) {
  Sandbox node("alpha");
  node.writeFile("/etc/kxcluster.conf", "KXCONF=/opt/kxcluster/conf\n");
  node.writeFile(support::MAP_FILE, "map\n", 0600);
  auto r = node.run("/bin/sh",
                    shell("hostname; cat /etc/kxcluster.conf; cat " +
                          std::string(support::MAP_FILE) +
                          "; echo written > /etc/dre-e2e-probe"));
  ASSERT_EQ(r.setupError, "");
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(r.out, "alpha\nKXCONF=/opt/kxcluster/conf\nmap\n");
  EXPECT_EQ(node.readFile("/etc/dre-e2e-probe"), "written\n");
  EXPECT_FALSE(std::filesystem::exists("/etc/dre-e2e-probe"));
  EXPECT_FALSE(std::filesystem::exists("/etc/kxcluster.conf"));
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_STRNE(host, "alpha");
}

TEST(SandboxTest, DoublesAnswerAsScriptedAndRecordCallsInOrder) {
  Sandbox node;
  node.installClusterDoubles();
  node.answer("vxdctl", "-c mode", 0, "mode: enabled: cluster active - MASTER\nmaster: node2\n");
  node.answer("vgchange", "-c n vg02", 5, "failed\n");
  node.defaultAnswer("kxexec", 3, "other\n");
  auto r = node.run(
      "/bin/sh",
      shell("/usr/sbin/vxdctl -c mode | awk '$1 == \"master:\" {print $2}'; "
            "vgchange -c n vg01; echo rc=$?; vgchange -c n vg02; echo rc=$?; "
            "/usr/sbin/kxexec node2 x; echo rc=$?; "
            "/opt/kxcluster/bin/kxgetpkgenv; echo rc=$?"));
  EXPECT_EQ(r.out, "node2\nrc=0\nfailed\nrc=5\nother\nrc=3\nrc=0\n")
      << r.describe();
  EXPECT_EQ(r.calls,
            (std::vector<std::string>{"vxdctl -c mode", "vgchange -c n vg01",
                                      "vgchange -c n vg02", "kxexec node2 x",
                                      "kxgetpkgenv"}));
}

TEST(SandboxTest, SystemLogEntriesAreCollected) {
  Sandbox node;
  auto r = node.run("/bin/sh",
                    shell("logger -t drenable -p user.err 'Unable to start'; "
                          "logger -t other 'second'"));
  ASSERT_EQ(r.sysLog.size(), 2u) << r.describe();
  EXPECT_EQ(r.sysLog[0].ident, "drenable");
  EXPECT_EQ(r.sysLog[0].priority, 11);
  EXPECT_EQ(r.sysLogMessages(),
            (std::vector<std::string>{"Unable to start", "second"}));
}

TEST(SandboxTest, ExitCodeInputEnvironmentAndFakeTime) {
  Sandbox node;
  RunOptions o = shell("read line; echo \"$line $GREETING\"; date -u +%Y; exit 4");
  o.input = "hello\n";
  o.env["GREETING"] = "world";
  o.fakeTime = "2001-02-03 04:05:06";
  auto r = node.run("/bin/sh", o);
  EXPECT_EQ(r.exitCode, 4) << r.describe();
  EXPECT_EQ(r.out, "hello world\n2001\n");
}

TEST(SandboxTest, TerminalDialogue) {
  Sandbox node;
  RunOptions o = shell(
      "[ -t 0 ] && echo tty; stty -echo; printf 'Password: '; read p; "
      "stty echo; echo; echo \"got $p\"");
  o.pty = true;
  o.dialogue = {{"Password: ", "secret\n"}};
  auto r = node.run("/bin/sh", o);
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(r.out, "tty\nPassword: \ngot secret\n");
  EXPECT_EQ(r.terminal.find("secret"), std::string::npos) << r.terminal;
}

TEST(SandboxTest, MessagesJoinContinuationLines) {
  support::RunResult r;
  r.out =
      "Dec 08 01:38:07 - Node n1 : Error - first\n\t\t\t\tsecond\n"
      "DEBUG Dec 08 01:38:07 - Node n1 : detail\n"
      "Unable to get package directory \n";
  EXPECT_EQ(r.messages(), (std::vector<std::string>{"Error - first\n\t\t\t\tsecond",
                                                    "DEBUG detail"}));
  EXPECT_EQ(r.normalMessages(),
            (std::vector<std::string>{"Error - first\n\t\t\t\tsecond"}));
}

}  // namespace
