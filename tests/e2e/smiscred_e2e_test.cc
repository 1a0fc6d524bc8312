// smiscred on a sandboxed node: the real program, the real map file path,
// passwords typed on a real terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/sandbox.h"

namespace {

const std::string ZARN_SECTION =
    "<zarnmap>\n50014380025D7E30\n<drgroup>\n"
    "\\Data Replication\\dg1:id1\n<wwidlist>\nw1\nw2\n</wwidlist>\n"
    "</drgroup>\n</zarnmap>\n";

std::string field(const std::string& password) {
  std::string f = password;
  f.resize(64, '\0');
  return f;
}

std::string entry(const std::string& line, const std::string& password) {
  return line + "\n" + field(password) + "\n";
}

std::string section(const std::string& entries) {
  return "#\n<smisdata>\n" + entries + "</smisdata>\n";
}

std::string usage(const std::string& c) {
  return "Usage: \n\t" + c +
         " <[-h host [-n namespace] [-p port] [-u username] [-s <Y|N>]] "
         "[-f input_file] [-l] [-r host] [-d host]>\n\n"
         "To add a new SMI-S server:\n\t" + c +
         " -h host -n namespace -u username -s <Y|N> [-p port]\n\n"
         "To update an existing SMI-S server:\n\t" + c +
         " -h host [-n namespace] [-u username] [-s <Y|N>] [-p port]\n\n"
         "To configure a list of SMI-S servers using an input file:\n\t" + c +
         " -f input_file\n\n"
         "To remove an existing SMI-S server:\n\t" + c + " -r host\n\n"
         "To list all existing SMI-S servers:\n\t" + c + " -l\n\n"
         "To set the default (active) SMI-S server:\n\t" + c + " -d host\n\n";
}

// Typing one password twice at the prompts, suffix as the tool shows it.
std::vector<std::pair<std::string, std::string>> typed(
    const std::vector<std::pair<std::string, std::string>>& passwords) {
  std::vector<std::pair<std::string, std::string>> d;
  for (const auto& p : passwords) {
    d.push_back({"Enter password" + p.first + ": ", p.second + "\n"});
    d.push_back({"Re-enter password" + p.first + ": ", p.second + "\n"});
  }
  return d;
}

class SmiscredE2E : public testing::Test {
 protected:
  SmiscredE2E() { node.makeDir("/opt/kxcluster/conf/sfyrzarn"); }

  support::RunResult run(std::vector<std::string> args,
                     std::vector<std::pair<std::string, std::string>> dialogue = {}) {
    support::RunOptions o;
    o.args = std::move(args);
    o.env = env;
    if (!dialogue.empty()) {
      o.pty = true;
      o.dialogue = std::move(dialogue);
    }
    support::RunResult r = node.run(SMISCRED_BIN, o);
    EXPECT_EQ("", r.setupError);
    return r;
  }
  std::string map() const { return node.readFile(support::MAP_FILE).value_or("<none>"); }
  mode_t mapMode() const {
    struct stat st;
    if (stat(node.hostPath(support::MAP_FILE).c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
  }

  support::Sandbox node{"node1"};
  std::map<std::string, std::string> env;
};

TEST_F(SmiscredE2E, AddThenListWithPasswordsTypedOnTheTerminal) {
  auto r = run({"-h", "smis1.example.com", "-n", "root/eva", "-u", "admin",
                "-s", "N"},
               typed({{"", "Se3cret%s"}}));
  ASSERT_EQ(0, r.exitCode) << r.describe();
  EXPECT_EQ("Enter password: \nRe-enter password: \n"
            "Warning - The SMI-S server smis1.example.com is reached over HTTP: its user name "
            "and password\n\t\t\t\tare sent in clear text on every start. To use HTTPS "
            "instead, run\n\t\t\t\tsmiscred -h smis1.example.com -s Y (with -p if its HTTPS "
            "port is not 5989),\n\t\t\t\tthen smistrust -h smis1.example.com.\n",
            r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(std::string::npos, r.terminal.find("Se3cret")) << r.terminal;
  EXPECT_EQ(section(entry("smis1.example.com@5988&root/eva&N&admin", "Se3cret%s")),
            map());
  EXPECT_EQ(0600u, mapMode());

  r = run({"-l"});
  ASSERT_EQ(0, r.exitCode) << r.describe();
  const std::string rule(72, '-');
  EXPECT_EQ("\nSF/YRZARN SMI-S server list:\n" + rule +
                "\nHOST                        USERNAME                   "
                "USE_SSL NAMESPACE  \n" + rule +
                "\nsmis1.example.com:5988      admin                      N  "
                "     root/eva\n\n",
            r.out);
  EXPECT_EQ(std::string::npos, r.out.find("Se3cret"));
}

TEST_F(SmiscredE2E, MismatchedPasswordsThreeTimes) {
  auto r = run({"-h", "h", "-n", "ns", "-u", "u", "-s", "Y"},
               {{"Enter password: ", "one\n"}, {"Re-enter password: ", "two\n"},
                {"Enter password: ", "one\n"}, {"Re-enter password: ", "three\n"},
                {"Enter password: ", "one\n"}, {"Re-enter password: ", "four\n"}});
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ("Error - Passwords do not match.\nError - Passwords do not match.\n"
            "Error - Passwords do not match.\nError - Too many tries\n",
            r.err);
  EXPECT_EQ("<none>", map());
}

TEST_F(SmiscredE2E, PasswordTooLongForTheMapFileIsRefused) {
  node.writeFile(support::MAP_FILE, ZARN_SECTION, 0600);
  auto r = run({"-h", "h", "-n", "ns", "-u", "u", "-s", "Y"},
               typed({{"", std::string(64, 'p')}}));
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ("Error - The password is too long. A password may have at most 63 "
            "characters.\n",
            r.err);
  EXPECT_EQ(ZARN_SECTION, map());
}

TEST_F(SmiscredE2E, UsageTextAfterArgumentErrors) {
  const std::string prog = SMISCRED_BIN;
  auto r = run({});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ(usage(prog), r.out);

  r = run({"-x"});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ(prog + ": invalid option -- 'x'\n", r.err);
  EXPECT_EQ(usage(prog), r.out);

  r = run({"-h", "h", "-p", "65536"});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ("Error - invalid argument for -p option. Require SMI-S server port "
            "number\n",
            r.err);
  EXPECT_EQ(usage(prog), r.out);

  r = run({"-l", "-r", "h"});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ("Error - Too many arguments\n", r.err);
  EXPECT_EQ(usage(prog), r.out);
  EXPECT_EQ("<none>", map());
}

TEST_F(SmiscredE2E, ReplaceFromFileKeepsTheDeviceIDMap) {
  node.writeFile(support::MAP_FILE,
                 ZARN_SECTION + section(entry("old@5988&ns&N&u", "x")), 0644);
  node.writeFile("/root/servers.txt",
                 "# host user ssl namespace [port]\n"
                 "a admin Y root/eva\n"
                 "\tb root n interop 15988\n");
  auto r = run({"-f", "/root/servers.txt"},
               typed({{" of a", "pa"}, {" of b", "pb"}}));
  ASSERT_EQ(0, r.exitCode) << r.describe();
  EXPECT_NE(std::string::npos,
            r.out.find("All the SMI-S information has been successfully "
                       "generated.\n"));
  EXPECT_EQ(ZARN_SECTION + section(entry("a@5989&root/eva&Y&admin", "pa") +
                                   entry("b@15988&interop&N&root", "pb")),
            map());
  EXPECT_EQ(0600u, mapMode());

  node.writeFile("/root/long.txt", "c u Y ns\n" + std::string(300, '#') + "\n");
  r = run({"-f", "/root/long.txt"});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ("Error - Line 2 of the input file is longer than 255 characters\n",
            r.err);
  EXPECT_EQ("", r.out);
}

TEST_F(SmiscredE2E, RemoveSetDefaultAndTheirErrors) {
  node.writeFile(support::MAP_FILE,
                 ZARN_SECTION + section(entry("a@5988&ns&N&u", "pa") +
                                        entry("b@5989&ns&Y&u", "pb")),
                 0600);
  auto r = run({"-d", "b"});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ("The SMI-S b has been set as the default active SMI-S.\n", r.out);
  r = run({"-d", "c"});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ("Error - No SMI-S server named c found in the list.\n", r.err);
  // -r and -d share the host: the last one given counts, -d wins.
  r = run({"-rb", "-da"});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(ZARN_SECTION + section(entry("a@5988&ns&N&u", "pa") +
                                   entry("b@5989&ns&Y&u", "pb")),
            map());

  EXPECT_EQ(0, run({"-r", "a"}).exitCode);
  r = run({"-r", "b"});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(
      "Warning - The last SMI-S information is deleted from the map file.\n"
      "          Make sure to add at least one SMI-S information to the map "
      "file\n"
      "          prior to running zarndiscovery tool or starting application "
      "packages.\n"
      "The SMI-S b has been successfully removed from the file.\n",
      r.out);
  EXPECT_EQ(ZARN_SECTION, map());
}

// A map file that is there but cannot be read (here a folder in its place)
// is not a missing one: no save may replace it with the new servers alone.
TEST_F(SmiscredE2E, MapFileThatCannotBeReadIsLeftAlone) {
  const std::string map = support::MAP_FILE;
  node.writeFile(map + "/inside", "kept\n", 0600);
  node.writeFile("/root/servers.txt", "a admin Y root/eva\n");
  struct Case {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> dialogue;
    std::string err;
  } cases[] = {
      {{"-h", "h", "-n", "ns", "-u", "u", "-s", "Y"}, {},
       "Error - " + map + " file does not exist or could not be opened\n"},
      {{"-f", "/root/servers.txt"}, typed({{" of a", "pa"}}),
       "Error - Could not open the file " + map + " for read\n"},
  };
  for (const Case& c : cases) {
    auto r = run(c.args, c.dialogue);
    EXPECT_EQ(1, r.exitCode) << r.describe();
    EXPECT_EQ(c.err, r.err);
    EXPECT_EQ("kept\n", node.readFile(map + "/inside").value_or("<gone>"));
    struct stat st;
    ASSERT_EQ(0, lstat(node.hostPath(map).c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
  }
}

TEST_F(SmiscredE2E, ListWithoutAMapFile) {
  auto r = run({"-l"});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ("Error - /opt/kxcluster/conf/sfyrzarn/yrzarn.map file does not "
            "exist or could not be opened\n",
            r.err);
}

TEST(SmiscredE2ENoFolder, SaveWithoutTheMapFilesFolderFails) {
  support::Sandbox node("node1");
  support::RunOptions o;
  o.args = {"-h", "h", "-n", "ns", "-u", "u", "-s", "Y"};
  o.input = "pw\npw\n";
  auto r = node.run(SMISCRED_BIN, o);
  EXPECT_EQ(1, r.exitCode) << r.describe();
  EXPECT_EQ("Error - Could not open the file "
            "/opt/kxcluster/conf/sfyrzarn/yrzarn.map for write\n",
            r.err);
}

TEST_F(SmiscredE2E, PasswordsFromAPipeForScripts) {
  support::RunOptions o;
  o.args = {"-h", "h", "-n", "ns", "-u", "u", "-s", "Y", "-p", "6000"};
  o.input = "piped\npiped\n";
  auto r = node.run(SMISCRED_BIN, o);
  EXPECT_EQ(0, r.exitCode) << r.describe();
  EXPECT_EQ(section(entry("h@6000&ns&Y&u", "piped")), map());
}

// With debug messages on, every message of every action goes to standard
// output and the system log; the password must be in none of them.
TEST_F(SmiscredE2E, PasswordNeverShownEvenInDebugMode) {
  env["DATAREP_DEBUG"] = "1";
  const std::string secret = "Kq8-top-secret";
  std::vector<support::RunResult> runs;
  runs.push_back(run({"-h", "h", "-n", "ns", "-u", "u", "-s", "Y"},
                     typed({{"", secret}})));
  runs.push_back(run({"-h", "h", "-u", "v"},
                     {{"Enter password: ", secret + "\n"},
                      {"Re-enter password: ", secret + "x\n"},
                      {"Enter password: ", secret + "\n"},
                      {"Re-enter password: ", secret + "\n"}}));
  runs.push_back(run({"-l"}));
  runs.push_back(run({"-d", "h"}));
  EXPECT_EQ(0, runs[0].exitCode) << runs[0].describe();
  EXPECT_EQ(0, runs[1].exitCode) << runs[1].describe();
  EXPECT_NE(std::string::npos,
            runs[2].out.find("Inside the SMISManager::readFile method"));
  EXPECT_NE(std::string::npos, map().find(secret));
  for (const auto& r : runs) {
    EXPECT_EQ(std::string::npos, r.out.find(secret)) << r.describe();
    EXPECT_EQ(std::string::npos, r.err.find(secret)) << r.describe();
    EXPECT_EQ(std::string::npos, r.terminal.find(secret)) << r.describe();
    for (const auto& e : r.sysLog)
      EXPECT_EQ(std::string::npos, e.raw.find(secret)) << e.raw;
  }
}

// smiscred saving server after server while a discovery-like writer keeps
// saving the device ID map: no update of either may be lost.
TEST_F(SmiscredE2E, ConcurrentWritersLoseNothing) {
  const int servers = 60;
  support::RunOptions o;
  o.args = {"-c",
            "set -e; S=\"$1\"; W=\"$2\"; N=\"$3\"\n"
            "printf 'seed\\nseed\\n' | \"$S\" -h seed -n ns -u u -s N\n"
            "\"$W\" $((N + 1)) 20 > /root/rounds &\n"
            "i=0\n"
            "while [ $i -lt $N ]; do\n"
            "  printf 'p%d\\np%d\\n' $i $i | \"$S\" -h host$i -n ns -u u -s Y\n"
            "  i=$((i + 1))\n"
            "done\n"
            "wait $!\n",
            "sh", SMISCRED_BIN, MAP_WRITER_LOOP_BIN, std::to_string(servers)};
  o.timeoutSeconds = 120;
  auto r = node.run("/bin/sh", o);
  ASSERT_EQ(0, r.exitCode) << r.describe();
  int rounds = std::stoi(node.readFile("/root/rounds").value_or("0"));
  ASSERT_GE(rounds, 20);

  const std::string file = map();
  EXPECT_EQ(0600u, mapMode());
  EXPECT_EQ(0u, file.find("<zarnmap>\n5001438002000000\n<drgroup>\n"));
  for (int i = 0; i < rounds; ++i) {
    std::string group = "\\Data Replication\\g" + std::to_string(i) + ":DRG-" +
                        std::to_string(i) + "\n";
    EXPECT_NE(std::string::npos, file.find(group)) << "DR group " << i;
  }
  EXPECT_EQ(std::string::npos,
            file.find("\\Data Replication\\g" + std::to_string(rounds) + ":"));
  for (int i = 0; i < servers; ++i) {
    std::string p = "p" + std::to_string(i);
    EXPECT_NE(std::string::npos,
              file.find(entry("host" + std::to_string(i) + "@5989&ns&Y&u", p)))
        << "server " << i;
  }

  r = node.run(SMISCRED_BIN, [] {
    support::RunOptions l;
    l.args = {"-l"};
    return l;
  }());
  EXPECT_EQ(0, r.exitCode);
  EXPECT_NE(std::string::npos, r.out.find("seed:5988"));
}

}  // namespace
