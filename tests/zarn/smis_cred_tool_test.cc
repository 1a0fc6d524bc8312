#include "zarn/tools/smis_cred_tool.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "drif/platform.h"
#include "tests/support/fake_platform.h"
#include "tests/support/map_store.h"
#include "tests/support/tool_args.h"

using support::entry;

namespace {

// Answers password prompts from a script; nullopt stands for a failed read.
class ScriptedPasswords : public PasswordInput {
 public:
  bool readHidden(const std::string& prompt, std::string* line) override {
    sys::platform().console->write(prompt);
    prompts.push_back(prompt);
    if (answers.empty()) return false;
    std::optional<std::string> next = answers.front();
    answers.pop_front();
    if (!next) return false;
    *line = *next;
    return true;
  }
  // Both entries of one attempt.
  void twice(const std::string& password) {
    answers.push_back(password);
    answers.push_back(password);
  }

  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> prompts;
};

const char USAGE[] =
    "Usage: \n"
    "\tsmiscred <[-h host [-n namespace] [-p port] [-u username] [-s <Y|N>]] "
    "[-f input_file] [-l] [-r host] [-d host]>\n"
    "\n"
    "To add a new SMI-S server:\n"
    "\tsmiscred -h host -n namespace -u username -s <Y|N> [-p port]\n"
    "\n"
    "To update an existing SMI-S server:\n"
    "\tsmiscred -h host [-n namespace] [-u username] [-s <Y|N>] [-p port]\n"
    "\n"
    "To configure a list of SMI-S servers using an input file:\n"
    "\tsmiscred -f input_file\n"
    "\n"
    "To remove an existing SMI-S server:\n"
    "\tsmiscred -r host\n"
    "\n"
    "To list all existing SMI-S servers:\n"
    "\tsmiscred -l\n"
    "\n"
    "To set the default (active) SMI-S server:\n"
    "\tsmiscred -d host\n"
    "\n";

// The warnings about a server reached over HTTP, and over HTTPS without a
// trusted certificate.
std::string httpWarning(const std::string& host) {
  return "Warning - The SMI-S server " + host +
         " is reached over HTTP: its user name and password\n"
         "\t\t\t\tare sent in clear text on every start. To use HTTPS instead, run\n"
         "\t\t\t\tsmiscred -h " + host + " -s Y (with -p if its HTTPS port is not 5989),\n"
         "\t\t\t\tthen smistrust -h " + host + ".\n";
}
std::string unpinnedWarning(const std::string& host) {
  return "Warning - The SMI-S server " + host +
         " is not trusted yet: any certificate it presents\n"
         "\t\t\t\tis accepted until it is trusted with smistrust -h " + host + ".\n";
}

const std::string BEGIN = "#\n<smisdata>\n";
const std::string END = "</smisdata>\n";
const std::string TWO_SERVERS = BEGIN + entry("a@5988&root/eva&N&admin", "pa") +
                                entry("b@1234&interop&Y&root", "pb") + END;

class SMISCredToolTest : public testing::Test {
 protected:
  SMISCredToolTest() : path(dir.file("yrzarn.map")) {}

  int run(std::vector<std::string> args) {
    args.insert(args.begin(), "smiscred");
    SMISCredTool tool({&platform.console, &err}, &passwords, path, dir.file("trust"));
    return support::runWith(tool, args);
  }
  std::string out() const {
    std::string all;
    for (auto& w : platform.console.writes) all += w;
    return all;
  }
  std::string map() const { return support::slurp(path); }
  void given(const std::string& contents) { support::spit(path, contents); }

  fake::ScopedPlatform platform;
  support::TempDir dir;
  std::string path;
  ScriptedPasswords passwords;
  std::ostringstream err;
};

TEST_F(SMISCredToolTest, NoArgumentsPrintsTheUsageText) {
  EXPECT_EQ(1, run({}));
  EXPECT_EQ(USAGE, out());
  EXPECT_EQ("", err.str());
}

TEST_F(SMISCredToolTest, OptionErrorsPrintTheUsageText) {
  for (const char* bad : {"-x", "-h"}) {
    platform.console.writes.clear();
    EXPECT_EQ(1, run({bad})) << bad;
    EXPECT_EQ(USAGE, out()) << bad;
  }
}

TEST_F(SMISCredToolTest, WithoutAnActionNothingHappens) {
  EXPECT_EQ(0, run({"-n", "ns", "-u", "user", "-s", "Y", "-p", "1"}));
  EXPECT_EQ("", out());
  EXPECT_EQ("", err.str());
  EXPECT_FALSE(support::exists(path));
}

// One action per run, in the order -l, -d, -r, -f, -h; -h, -r and -d share
// one host variable, so the last host given counts.
TEST_F(SMISCredToolTest, OrderOfPrecedence) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
    std::vector<std::string> hosts;  // the list afterwards
  };
  const std::string tooMany = "Error - Too many arguments\n";
  const std::vector<Case> cases = {
      {{"-ra", "-db"}, 0,
       "The SMI-S b has been set as the default active SMI-S.\n", "",
       {"b", "a"}},
      {{"-db", "-ra"}, 0,
       "The SMI-S a has been set as the default active SMI-S.\n", "",
       {"a", "b"}},
      {{"-ha", "-rb"}, 0,
       "The SMI-S b has been successfully removed from the file.\n", "", {"a"}},
      {{"-l", "-db"}, 1, USAGE, tooMany, {"a", "b"}},
      {{"-ra", "-f", "x"}, 1, USAGE, tooMany, {"a", "b"}},
      {{"-fnone", "-hb"}, 1, "",
       "Error - Could not open the input file none\n", {"a", "b"}},
  };
  for (const Case& c : cases) {
    given(TWO_SERVERS);
    platform.console.writes.clear();
    err.str("");
    EXPECT_EQ(c.status, run(c.args)) << c.args[0] << " " << c.args[1];
    EXPECT_EQ(c.out, out()) << c.args[0];
    EXPECT_EQ(c.err, err.str()) << c.args[0];
    SMISManager m(true, path);
    std::vector<std::string> hosts;
    for (auto& s : support::listOf(m)) hosts.push_back(s.substr(0, 1));
    EXPECT_EQ(c.hosts, hosts) << c.args[0];
  }
}

TEST_F(SMISCredToolTest, ListShowsTheColumnsAndNoPasswords) {
  const std::string host25 = std::string(21, 'h');  // 21 + 4 port digits
  const std::string host26 = std::string(22, 'k');
  given(BEGIN + entry("a@5988&root/eva&N&admin", "secret1") +
        entry(host25 + "@5989&interop&Y&" + std::string(25, 'u'), "secret2") +
        entry(host26 + "@5989&ns&Y&" + std::string(27, 'v'), "secret3") + END);
  EXPECT_EQ(0, run({"-l"}));
  const std::string rule(72, '-');
  EXPECT_EQ("\nSF/YRZARN SMI-S server list:\n" + rule + "\n"
            "HOST                        USERNAME                   USE_SSL "
            "NAMESPACE  \n" + rule + "\n"
            "a:5988                      admin                      N       "
            "root/eva\n" +
            host25 + ":5989  " + std::string(25, 'u') + "  Y       interop\n" +
            host26 + ":5989 " + std::string(27, 'v') + " Y       ns\n\n",
            out());
  EXPECT_EQ(std::string::npos, out().find("secret"));
}

TEST_F(SMISCredToolTest, ListOfAMissingOrEmptyMapFile) {
  EXPECT_EQ(1, run({"-l"}));
  EXPECT_EQ("Error - " + path + " file does not exist or could not be opened\n",
            err.str());
  EXPECT_EQ("", out());
  given("<zarnmap>\n</zarnmap>\n");
  EXPECT_EQ(0, run({"-l"}));
  const std::string rule(72, '-');
  EXPECT_EQ("\nSF/YRZARN SMI-S server list:\n" + rule + "\n"
            "HOST                        USERNAME                   USE_SSL "
            "NAMESPACE  \n" + rule + "\n\n",
            out());
}

TEST_F(SMISCredToolTest, SetDefaultAndRemoveFailures) {
  given(TWO_SERVERS);
  struct Case {
    std::vector<std::string> args;
    std::string err;
    bool usage;
  };
  const std::vector<Case> cases = {
      {{"-d", "x"}, "Error - No SMI-S server named x found in the list.\n", false},
      {{"-r", "A"}, "Error - No SMI-S server named A found in the list.\n", false},
      {{"-d", ""}, "Error - invalid argument. Require hostname\n", true},
      {{"-r", ""}, "Error - invalid argument. Require hostname\n", true},
      {{"-d", "a", "b"}, "Error - Too many arguments\n", true},
  };
  for (const Case& c : cases) {
    platform.console.writes.clear();
    err.str("");
    EXPECT_EQ(1, run(c.args)) << c.err;
    EXPECT_EQ(c.err, err.str());
    EXPECT_EQ(c.usage ? USAGE : "", out()) << c.err;
    EXPECT_EQ(TWO_SERVERS, map());
  }
  std::remove(path.c_str());
  EXPECT_EQ(1, run({"-d", "a"}));
  EXPECT_FALSE(support::exists(path));
}

TEST_F(SMISCredToolTest, RemovingTheLastServerWarnsAndSucceeds) {
  given("<zarnmap>\n</zarnmap>\n" + BEGIN + entry("a@5988&ns&N&u", "p") + END);
  EXPECT_EQ(0, run({"-r", "a"}));
  EXPECT_EQ(
      "Warning - The last SMI-S information is deleted from the map file.\n"
      "          Make sure to add at least one SMI-S information to the map "
      "file\n"
      "          prior to running zarndiscovery tool or starting application "
      "packages.\n"
      "The SMI-S a has been successfully removed from the file.\n",
      out());
  EXPECT_EQ("<zarnmap>\n</zarnmap>\n", map());
}

TEST_F(SMISCredToolTest, AddingANewServerAsksForThePasswordTwice) {
  passwords.twice("s3cret");
  EXPECT_EQ(0, run({"-h", "new", "-n", "root/eva", "-u", "admin", "-s", "n"}));
  EXPECT_EQ((std::vector<std::string>{"Enter password: ", "Re-enter password: "}),
            passwords.prompts);
  EXPECT_EQ("Enter password: \nRe-enter password: \n" + httpWarning("new"), out());
  EXPECT_EQ("", err.str());
  EXPECT_EQ(BEGIN + entry("new@5988&root/eva&N&admin", "s3cret") + END, map());
  EXPECT_EQ(0600u, support::modeOf(path));

  passwords.twice("p");
  EXPECT_EQ(0, run({"-h", "two", "-n", "ns", "-u", "u", "-s", "Y", "-p", "65535"}));
  SMISManager m(true, path);
  SMISData d;
  ASSERT_EQ(0, m.getSMIS("two", d));
  EXPECT_EQ("two@65535&ns&Y&u&p", support::show(d));
}

// A server saved to be reached over HTTP, or over HTTPS without a trusted
// certificate, is warned about after the tool's own output, in list order;
// the exit status and the map file are what they would be without.
TEST_F(SMISCredToolTest, ServersReachedUnsafelyAreWarnedAbout) {
  const std::string done = "All the SMI-S information has been successfully generated.\n";
  support::spit(dir.file("servers"), "plain admin N ns\nopen admin Y ns\npinned admin Y ns\n");
  struct Case {
    std::vector<std::string> args;
    std::string warnings;
  };
  const std::vector<Case> cases = {
      {{"-h", "plain", "-n", "ns", "-u", "u", "-s", "N"}, httpWarning("plain")},
      {{"-h", "open", "-n", "ns", "-u", "u", "-s", "Y"}, unpinnedWarning("open")},
      {{"-h", "pinned", "-n", "ns", "-u", "u", "-s", "y"}, ""},
      {{"-f", dir.file("servers")}, done + httpWarning("plain") + unpinnedWarning("open")},
  };
  std::filesystem::create_directory(dir.file("trust"));
  std::ofstream(dir.file("trust") + "/pinned.pem") << "-----BEGIN CERTIFICATE-----\n";
  for (const Case& c : cases) {
    platform.console.writes.clear();
    for (int i = 0; i < 3; ++i) passwords.twice("p");
    EXPECT_EQ(0, run(c.args)) << c.args[1];
    std::string shown = out();
    size_t lastPrompt = shown.rfind("Re-enter password");
    ASSERT_NE(lastPrompt, std::string::npos);
    EXPECT_EQ(c.warnings, shown.substr(shown.find('\n', lastPrompt) + 1)) << c.args[1];
    EXPECT_EQ("", err.str());
  }
}

TEST_F(SMISCredToolTest, ArgumentErrorsOfAddOrUpdate) {
  given(TWO_SERVERS);
  const std::string portError =
      "Error - invalid argument for -p option. Require SMI-S server port "
      "number\n";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"-h", ""}, "Error - invalid argument. Require hostname\n"},
      {{"-h", "a", "-n", ""},
       "Error - invalid argument for -n option. Require namespace\n"},
      {{"-h", "a", "-u", "", "-n", ""},
       "Error - invalid argument for -n option. Require namespace\n"},
      {{"-h", "a", "-u", ""},
       "Error - invalid argument for -u option. Require username\n"},
      {{"-h", "a", "-p", ""}, portError},
      {{"-h", "a", "-p", "0"}, portError},
      {{"-h", "a", "-p", "65536"}, portError},
      {{"-h", "a", "-p", "port"}, portError},
      {{"-h", "a", "-p", "-5"}, portError},
      {{"-h", "a", "-p", "1", "-s", "x"},
       "Error - invalid argument for -s option. Require Y or N\n"},
      {{"-h", "c", "-n", "ns", "-u", "u"},
       "Error - Missing argument for adding a new SMI-S server infomation\n"},
      {{"-h", "c", "-s", "Y", "-u", "u"},
       "Error - Missing argument for adding a new SMI-S server infomation\n"},
      {{"-h", "c/x", "-n", "ns", "-u", "u", "-s", "Y"},
       "Error - " + smisHostNameProblem("c/x") + "\n"},
      {{"-h", "a?x"}, "Error - " + smisHostNameProblem("a?x") + "\n"},
  };
  for (const Case& c : cases) {
    platform.console.writes.clear();
    err.str("");
    EXPECT_EQ(1, run(c.args)) << c.err;
    EXPECT_EQ(c.err, err.str());
    EXPECT_EQ(USAGE, out()) << c.err;
    EXPECT_EQ(TWO_SERVERS, map());
  }
  EXPECT_TRUE(passwords.prompts.empty());
}

TEST_F(SMISCredToolTest, UpdatesChangeOnlyWhatIsGiven) {
  given(TWO_SERVERS);
  EXPECT_EQ(0, run({"-h", "a"}));
  EXPECT_EQ(TWO_SERVERS, map());
  EXPECT_TRUE(passwords.prompts.empty());

  EXPECT_EQ(0, run({"-h", "b", "-s", "y"}));
  EXPECT_EQ(0, run({"-h", "a", "-n", "new/ns", "-p", "7"}));
  passwords.twice("changed");
  EXPECT_EQ(0, run({"-h", "a", "-u", "other", "-s", "Y", "-p", "8"}));
  EXPECT_EQ(BEGIN + entry("a@8&new/ns&Y&other", "changed") +
                entry("b@5989&interop&Y&root", "pb") + END,
            map());
  EXPECT_EQ("", err.str());
}

TEST_F(SMISCredToolTest, PasswordEntryAttempts) {
  struct Case {
    const char* name;
    std::vector<std::optional<std::string>> answers;
    int status;
    std::string err;
    std::string stored;  // password in the file afterwards
  };
  const std::string mismatch = "Error - Passwords do not match.\n";
  const std::string failed = "Fail to get a password string\n";
  const std::vector<Case> cases = {
      {"ThreeMismatches", {"a", "b", "a", "c", "x", "y"}, 1,
       mismatch + mismatch + mismatch + "Error - Too many tries\n", "pa"},
      {"MatchOnTheThirdAttempt", {"a", "b", std::nullopt, "ok", "ok"}, 0,
       mismatch + failed, "ok"},
      {"SecondReadFails", {"a", std::nullopt, "ok", "ok"}, 0, failed, "ok"},
      {"NothingToRead", {}, 1, failed + failed + failed + "Error - Too many tries\n",
       "pa"},
      {"SixtyThreeCharacters",
       {std::string(63, 'x'), std::string(63, 'x')}, 0, "", std::string(63, 'x')},
      {"TooLong", {std::string(64, 'x'), std::string(64, 'x')}, 1,
       "Error - The password is too long. A password may have at most 63 "
       "characters.\n",
       "pa"},
      {"NulCharacter", {std::string("a\0b", 3), std::string("a\0b", 3)}, 1,
       "Error - The password may not contain a NUL character.\n", "pa"},
      {"Empty", {"", ""}, 1, "Error - The password may not be empty.\n", "pa"},
  };
  for (const Case& c : cases) {
    given(TWO_SERVERS);
    err.str("");
    passwords.answers.assign(c.answers.begin(), c.answers.end());
    EXPECT_EQ(c.status, run({"-h", "a", "-u", "admin"})) << c.name;
    EXPECT_EQ(c.err, err.str()) << c.name;
    SMISManager m(true, path);
    SMISData d;
    m.getSMIS("a", d);
    EXPECT_EQ(c.stored, d.password) << c.name;
  }
}

class SMISCredToolFileTest : public SMISCredToolTest {
 protected:
  std::string input(const std::string& contents) {
    std::string name = dir.file("servers.txt");
    support::spit(name, contents);
    return name;
  }
};

TEST_F(SMISCredToolFileTest, ReplacesTheWholeList) {
  given("<zarnmap>\n</zarnmap>\n" + TWO_SERVERS);
  std::string file = input(
      "# SMI-S servers\n"
      "\n"
      "   \t\n"
      "  \tx1  admin\tY  root/eva\n"
      "x2 root n interop 15988\n"
      "   # x3 u Y ns\n"
      "x1 other y ns2 6000");
  passwords.twice("p1");
  passwords.twice("p2");
  passwords.twice("p3");
  EXPECT_EQ(0, run({"-f", file}));
  EXPECT_EQ((std::vector<std::string>{"Enter password of x1: ",
                                      "Re-enter password of x1: ",
                                      "Enter password of x2: ",
                                      "Re-enter password of x2: ",
                                      "Enter password of x1: ",
                                      "Re-enter password of x1: "}),
            passwords.prompts);
  EXPECT_EQ("", err.str());
  EXPECT_EQ("<zarnmap>\n</zarnmap>\n" + BEGIN + entry("x1@6000&ns2&Y&other", "p3") +
                entry("x2@15988&interop&N&root", "p2") + END,
            map());
  EXPECT_NE(std::string::npos,
            out().find("All the SMI-S information has been successfully "
                       "generated.\n"));
}

TEST_F(SMISCredToolFileTest, ErrorsStopBeforeAnythingIsSaved) {
  struct Case {
    std::string contents;
    std::string err;
    size_t prompts;
    bool usage;
    std::string password = "pw";
  };
  const std::vector<Case> cases = {
      {"h1 u Y ns\nh2\n",
       "Error - Could not extract \"username\" from the input file\n", 2, false},
      {"h1 u\n", "Error - Could not extract \"secure_connection\" from the "
                 "input file\n", 0, false},
      {"h1 u Y\n", "Error - Could not extract \"namespace\" from the input "
                   "file\n", 0, false},
      {"h1 u Y ns 5989 extra\n",
       "Error - File contains invalid format of SMI-S server data\n", 0, false},
      {"h1 u Y ns\nh2 u N ns\nh3 u X ns\nh4 u Y ns\n",
       "Error - invalid \"secure_connect\" value. Require Y or N\n", 6, true},
      {"h1 u Y ns 0\n", "Error - Could not extract \"port\" from the input "
                        "file\n", 2, false},
      {"h1 u Y ns 70000\n", "Error - Could not extract \"port\" from the input "
                            "file\n", 2, false},
      {"h1 u Y ns\n#" + std::string(255, 'c') + "\n",
       "Error - Line 2 of the input file is longer than 255 characters\n", 0,
       false},
      {"h@1 u Y ns\n",
       "Error - Line 1 of the input file: " + smisHostNameProblem("h@1") + "\n", 0,
       false},
      {"h1 u Y ns\n  h2/x?y u Y ns\n",
       "Error - Line 2 of the input file: " + smisHostNameProblem("h2/x?y") + "\n",
       0, false},
      {"h1 u Y ns\n", "Error - The password may not be empty.\n", 2, false, ""},
  };
  for (const Case& c : cases) {
    given(TWO_SERVERS);
    err.str("");
    platform.console.writes.clear();
    passwords.prompts.clear();
    passwords.answers.clear();
    for (int i = 0; i < 4; ++i) passwords.twice(c.password);
    EXPECT_EQ(1, run({"-f", input(c.contents)})) << c.err;
    EXPECT_EQ(c.err, err.str());
    EXPECT_EQ(c.prompts, passwords.prompts.size()) << c.err;
    EXPECT_EQ(c.usage, out().find(USAGE) != std::string::npos) << c.err;
    EXPECT_EQ(TWO_SERVERS, map()) << c.err;
  }
}

TEST_F(SMISCredToolFileTest, LinesOf255CharactersAreFine) {
  std::string host(255 - std::string(" u Y ns").size(), 'h');
  passwords.twice("pw");
  EXPECT_EQ(0, run({"-f", input(host + " u Y ns\n")}));
  EXPECT_NE(std::string::npos, map().find(host + "@5989&ns&Y&u\n"));
}

TEST_F(SMISCredToolFileTest, UnreadableInputFiles) {
  given(TWO_SERVERS);
  EXPECT_EQ(1, run({"-f", dir.file("missing")}));
  EXPECT_EQ("Error - Could not open the input file " + dir.file("missing") + "\n",
            err.str());
  err.str("");
  EXPECT_EQ(1, run({"-f", dir.path()}));
  EXPECT_EQ("Error - Could not open the input file " + dir.path() + "\n",
            err.str());
  err.str("");
  EXPECT_EQ(1, run({"-f", ""}));
  EXPECT_EQ("Error - Missing input file name\n", err.str());
  EXPECT_EQ(USAGE, out());
  EXPECT_EQ(TWO_SERVERS, map());
}

// A password must show up nowhere: not on standard output, not in errors,
// not in the system log, debug messages included.
TEST(SMISCredToolSecrecyTest, PasswordsAreNeverPrintedOrLogged) {
  fake::ScopedPlatform platform;
  fake::ScopedEnv debugOn("DATAREP_DEBUG", std::string(""));
  fake::ScopedLogger logger;
  logger.get()->setOutput(LOG_FILE | SYS_FILE);
  support::TempDir dir;
  const std::string path = dir.file("yrzarn.map");
  const std::string secret = "Qx7-never-shown";
  ScriptedPasswords passwords;
  std::ostringstream err;
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "smiscred");
    SMISCredTool tool({&platform.console, &err}, &passwords, path, dir.file("trust"));
    return support::runWith(tool, args);
  };
  passwords.twice(secret);
  EXPECT_EQ(0, run({"-h", "a", "-n", "ns", "-u", "u", "-s", "Y"}));
  passwords.twice(secret + "2");
  support::spit(dir.file("in"), "b u N ns\n");
  EXPECT_EQ(0, run({"-f", dir.file("in")}));
  passwords.answers = {secret, secret + "x", secret, secret + "y", secret, ""};
  EXPECT_EQ(1, run({"-h", "b", "-u", "u"}));
  passwords.twice(secret + std::string(60, 'z'));
  EXPECT_EQ(1, run({"-h", "b", "-u", "u"}));
  EXPECT_EQ(0, run({"-l"}));
  EXPECT_EQ(0, run({"-d", "b"}));

  ASSERT_FALSE(platform.messages().empty());
  for (const auto& w : platform.console.writes)
    EXPECT_EQ(std::string::npos, w.find(secret)) << w;
  for (const auto& t : platform.sysLogTexts())
    EXPECT_EQ(std::string::npos, t.find(secret)) << t;
  EXPECT_EQ(std::string::npos, err.str().find(secret)) << err.str();
}

}  // namespace
