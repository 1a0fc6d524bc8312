#include "zarn/tools/zarn_validation.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/xml_writer.h"
#include "tests/support/fake_platform.h"
#include "tests/support/map_store.h"
#include "tests/support/ports.h"
#include "tests/support/scripted_server.h"
#include "tests/support/tool_args.h"
#include "zarn/smis/smis_server.h"

namespace {

using Messages = std::vector<std::string>;
using support::Request;
using support::ScriptedServer;

const std::string LOCAL = "50014380025B4A80";   // DC1's array
const std::string REMOTE = "50014380025B4C20";  // DC2's array

std::string messageIdOf(const std::string& body) {
  size_t at = body.find("MESSAGE ID=\"");
  if (at == std::string::npos) return "";
  at += 12;
  return body.substr(at, body.find('"', at) - at);
}

// A provider that reports these storage systems (by world wide name).
ScriptedServer::Handler reporting(std::vector<std::string> wwns) {
  return [wwns](int fd, const Request& req) {
    std::string names;
    for (const std::string& w : wwns) {
      cim::xml::writeInstanceName(
          names, cim::ObjectPath("", cim::NamespaceName(),
                                 cim::Name("QNZARN_StorageSystem"),
                                 {cim::KeyBinding("CreationClassName", "QNZARN_StorageSystem"),
                                  cim::KeyBinding("Name", w)}));
    }
    return support::sendAll(fd, support::cimResponse(cim::xml::intrinsicResponse(
                                 messageIdOf(req.body), "EnumerateInstanceNames", names)));
  };
}

ScriptedServer::Handler failing(const std::string& description) {
  return [description](int fd, const Request& req) {
    return support::sendAll(fd, support::cimResponse(cim::xml::errorResponse(
                                 messageIdOf(req.body), "EnumerateInstanceNames",
                                 true, 1, description)));
  };
}

// The message of the CIM client's failure to connect to port.
std::string connectFailure(const std::string& host, int port) {
  cim::Client client;
  try {
    client.connect(host, static_cast<std::uint32_t>(port), "u", "p");
  } catch (const cim::Exception& e) {
    return e.getMessage();
  }
  return "(connected)";
}

// One SMI-S server entry of the map file.
std::string serverEntry(const std::string& host, int port) {
  return host + "@" + std::to_string(port) + "&root/ZARN&N&admin\n" + "secret" +
         std::string(58, '\0') + "\n";
}

const std::string DEVICE_MAP =
    "<zarnmap>\n" + LOCAL + "\n<drgroup>\n\\Data Replication\\dg01:" + LOCAL +
    "-1\n<wwidlist>\nw1\n</wwidlist>\n</drgroup>\n</zarnmap>\n";

const char TIMEOUT_300[] =
    "\n\t\t\t\tThe response timeout for the SMI-S server is 300 Sec. \n";
const char TIMEOUT_20[] =
    "\n\t\t\t\tThe response timeout for the SMI-S server is 20 Sec.\n";
const char NOT_MANAGED_END[] =
    ".\n\t\t\t\tCheck the SMI-S and fix the problem..\n\t\t\t\t";
const char UNABLE[] =
    "Error - Unable to access QN Stormview ZARN server from the host.";
const char ENV_FAULT[] =
    "Error - One or more environment variables have not been set\n\t\t\t\t "
    "properly.";

// What is said about a usable server reached over plain HTTP.
std::string plainHttp(const std::string& host) {
  return connectionWarning(support::server(host, 0, "root/ZARN", "N", "admin", "secret"));
}

std::string cannotFind(const std::string& list, const std::string& where) {
  return "Error - Cannot find a local usable SMI-S.\n\t\t\t\tCheck the value of "
         "SMIS-S server(s) configured in " + list + " attributes \n\t\t\t\t" +
         where;
}

class ZARNValidationTest : public ::testing::Test {
 protected:
  ZARNValidationTest() : debug_("DATAREP_DEBUG", std::nullopt) {
    logger_ = std::make_unique<fake::ScopedLogger>();
    envFile = dir.file("pkg1.env");
    mapFile = dir.file("yrzarn.map");
    sys.files.dirs.insert("/pkg1");
    vars = {{"CLUSTER_TYPE", "nearspan"},
            {"PKGDIR", "/pkg1"},
            {"DT_APPLICATION_STARTUP_POLICY", "Availability_Preferred"},
            {"WAIT_TIME", "0"},
            {"DR_GROUP_NAME", "dg01"},
            {"DC1_STORAGE_WORLD_WIDE_NAME", "5001-4380-025B-4A80"},
            {"DC2_STORAGE_WORLD_WIDE_NAME", "5001-4380-025B-4C20"},
            {"DC1_SMIS_LIST", "127.0.0.1"},
            {"DC1_HOST_LIST", "node1 node2"},
            {"DC2_SMIS_LIST", "smis-dc2"},
            {"DC2_HOST_LIST", "node3 node4"}};
  }

  // Runs the whole check with the variables as they stand (a variable set
  // to "-" is left out of the file) and the given map file text.
  int run(const std::string& command = "kxcheckconf",
          const std::string& envName = "") {
    const std::string name = envName.empty() ? envFile : envName;
    std::string text = "# package pkg1\n";
    for (const auto& v : vars)
      if (v.second != "-") text += v.first + "=" + v.second + "\n";
    sys.files.contents[name] = text;
    ZARNValidation validation({&sys.console, &std::cerr});
    validation.setMapFileName(mapFile);
    return support::runWith(validation, {"ZARNValidation", name, command});
  }
  void servers(const std::string& entries) {
    support::spit(mapFile, DEVICE_MAP + "#\n<smisdata>\n" + entries + "</smisdata>\n");
  }
  std::string output() const { return support::slurp(envFile + ".smis"); }
  bool outputWritten() const { return support::exists(envFile + ".smis"); }

  fake::ScopedPlatform sys;
  support::TempDir dir;
  std::string envFile;
  std::string mapFile;
  std::map<std::string, std::string> vars;

 private:
  fake::ScopedEnv debug_;
  std::unique_ptr<fake::ScopedLogger> logger_;
};

TEST_F(ZARNValidationTest, UsableServerIsWrittenToTheOutputFile) {
  ScriptedServer server(reporting({"OTHER000000000000", REMOTE, LOCAL}));
  servers(serverEntry("127.0.0.1", server.port()));
  // A longer list of an earlier run, not readable by all, is replaced.
  support::spit(envFile + ".smis", "old-smis-1\nold-smis-2\n", 0600);
  EXPECT_EQ(0, run());
  EXPECT_EQ(Messages{plainHttp("127.0.0.1")}, sys.normalMessages());
  EXPECT_EQ("127.0.0.1\n", output());
  EXPECT_EQ(0644u, support::modeOf(envFile + ".smis"));
  ASSERT_EQ(1u, server.requests().size());
  EXPECT_EQ("EnumerateInstanceNames", server.requests()[0].header("cimmethod"));
}

TEST_F(ZARNValidationTest, OnlyServersManagingBothArraysAreUsable) {
  ScriptedServer localOnly(reporting({LOCAL}));
  ScriptedServer both(reporting({REMOTE, LOCAL}));
  servers(serverEntry("127.0.0.1", localOnly.port()) +
          serverEntry("localhost", both.port()));
  vars["DC1_SMIS_LIST"] = "127.0.0.1, localhost";
  EXPECT_EQ(0, run());
  EXPECT_EQ((Messages{"Warning - The Local and Remote Storages are not managed "
                      "by the SMI-S 127.0.0.1" + std::string(NOT_MANAGED_END),
                      plainHttp("localhost")}),
            sys.normalMessages());
  EXPECT_EQ("localhost\n", output());
}

// A usable server reached unsafely is warned about once, however often the
// list names it; the result and the output file are what they would be
// without the warning.
TEST_F(ZARNValidationTest, UnsafeServerIsWarnedAboutOnce) {
  ScriptedServer both(reporting({REMOTE, LOCAL}));
  servers(serverEntry("127.0.0.1", both.port()));
  vars["DC1_SMIS_LIST"] = "127.0.0.1 127.0.0.1";
  EXPECT_EQ(0, run());
  EXPECT_EQ(Messages{plainHttp("127.0.0.1")}, sys.normalMessages());
  EXPECT_EQ("127.0.0.1\n127.0.0.1\n", output());
}

TEST_F(ZARNValidationTest, UnusableServersAreWarningsAndNoFileIsWritten) {
  ScriptedServer broken(failing("CIM_ERR_FAILED: provider stopped"));
  ScriptedServer empty(reporting({}));
  int closed = support::unusedPort();
  servers(serverEntry("127.0.0.1", broken.port()) +
          serverEntry("localhost", empty.port()) +
          serverEntry("127.0.0.2", closed));
  support::spit(envFile + ".smis", "kept\n");
  vars["DC1_SMIS_LIST"] = "127.0.0.1 unlisted localhost\t127.0.0.2";
  EXPECT_EQ(-1, run("kxapplyconf"));
  EXPECT_EQ((Messages{
                "For 'kxapplyconf' command,\n\t\t\t\tUse CIMClient default value "
                "of 20 Sec as the Query Timeout value for the SMI-S server.",
                "Warning - Failed to enumerate Storages from the SMI-S "
                "127.0.0.1;\n\t\t\t\tCIM_ERR_FAILED: provider stopped" +
                    std::string(TIMEOUT_20),
                "Warning - Failed to get SMI-S information for unlisted."
                "\n\t\t\t\tNo SMI-S server named unlisted found in the list."
                "\n\t\t\t\tSMI-S data may not be configured properly. Use "
                "\n\t\t\t\tthe \"smiscred\" tool to verify the data list.",
                "Warning - No ZARN Storage System found in the SMI-S localhost."
                "\n\t\t\t\tCheck the SMI-S and fix the problem.\n\t\t\t\t",
                "Warning - Failed to connect to SMI-S 127.0.0.2. \n\t\t\t\t" +
                    connectFailure("127.0.0.2", closed) + "." + TIMEOUT_20,
                UNABLE, cannotFind("DC1_SMIS_LIST", "in environment file " + envFile)}),
            sys.normalMessages());
  EXPECT_EQ("kept\n", output());
}

// The time-out notice of each mode, and the time-out the servers get.
TEST_F(ZARNValidationTest, TimeoutNotices) {
  int closed = support::unusedPort();
  const std::string refused = "Warning - Failed to connect to SMI-S 127.0.0.1. \n\t\t\t\t" +
                              connectFailure("127.0.0.1", closed) + ".";
  const std::string notice300 =
      "For 'kxcheckconf' command,\n\t\t\t\tUse the default value of 300 Sec as "
      "the Query Timeout value for the SMI-S server.";
  const std::string notice20 =
      "For 'kxapplyconf' command,\n\t\t\t\tUse CIMClient default value of 20 "
      "Sec as the Query Timeout value for the SMI-S server.";
  const std::string badTimeout =
      "The QUERY_TIMEOUT variable has not been set properly.\n\t\t\t Use "
      "default, 300 seconds, for the query timeout";
  struct Case {
    std::string command;
    std::string queryTimeout;
    Messages expected;
  } cases[] = {
      {"kxcheckconf", "-", {refused + TIMEOUT_300}},
      {"kxcheckconf", "45",
       {refused + "\n\t\t\t\tThe response timeout for the SMI-S server is 45 Sec. \n"}},
      {"kxcheckconf", "0", {badTimeout, notice300, refused + TIMEOUT_300}},
      {"kxapplyconf", "45", {notice20, refused + TIMEOUT_20}},
      {"KXCHECKCONF", "0", {badTimeout, notice20, refused + TIMEOUT_20}},
  };
  servers(serverEntry("127.0.0.1", closed));
  for (const Case& c : cases) {
    sys.console.writes.clear();
    vars["QUERY_TIME_OUT"] = c.queryTimeout;
    EXPECT_EQ(-1, run(c.command)) << c.command << " " << c.queryTimeout;
    Messages expected = c.expected;
    expected.push_back(UNABLE);
    expected.push_back(cannotFind("DC1_SMIS_LIST", "in environment file " + envFile));
    EXPECT_EQ(expected, sys.normalMessages()) << c.command << " " << c.queryTimeout;
  }
}

TEST_F(ZARNValidationTest, ServerThatDoesNotAnswerTimesOut) {
  ScriptedServer silent([](int, const Request&) { return true; });
  servers(serverEntry("127.0.0.1", silent.port()));
  vars["QUERY_TIME_OUT"] = "1";
  EXPECT_EQ(-1, run());
  Messages m = sys.normalMessages();
  ASSERT_EQ(3u, m.size());
  const std::string start =
      "Warning - Failed to enumerate Storages from the SMI-S 127.0.0.1;\n\t\t\t\t";
  const std::string end = "\n\t\t\t\tThe response timeout for the SMI-S server is 1 Sec. \n";
  EXPECT_EQ(start, m[0].substr(0, start.size()));
  EXPECT_EQ(end, m[0].substr(m[0].size() - std::min(m[0].size(), end.size())));
  EXPECT_FALSE(outputWritten());
}

// Every fault of the environment is reported in one run; the SMI-S checks
// run whenever the environment file could be read and the array variables
// they need are sound.
TEST_F(ZARNValidationTest, EnvironmentFaults) {
  ScriptedServer both(reporting({LOCAL, REMOTE}));
  servers(serverEntry("127.0.0.1", both.port()));
  const std::string unreadable = "Error - Error found in environment file " + envFile;
  struct Case {
    const char* what;
    std::map<std::string, std::string> change;
    Messages expected;
    bool written;
    size_t requests;
  } cases[] = {
      {"bad values of both tables",
       {{"CLUSTER_TYPE", "metro"}, {"DC2_STORAGE_WORLD_WIDE_NAME", "50014380025B4C20"},
        {"DR_GROUP_NAME", ""}, {"DC2_HOST_LIST", ""}},
       {"Error - The CLUSTER_TYPE variable has not been set properly.\n\t\t\t\t"
        "The value needs to be set to either \"nearspan\" or \"farspan\"",
        "Error - The DR_GROUP_NAME variable has not been set properly.",
        "Error - The DC2_STORAGE_WORLD_WIDE_NAME variable has not been set properly.",
        "Error - The DC2_HOST_LIST variable has not been set properly.", ENV_FAULT},
       false, 0},
      {"DR_GROUP_NAME without a value: servers checked, file written",
       {{"DR_GROUP_NAME", ""}},
       {"Error - The DR_GROUP_NAME variable has not been set properly.", ENV_FAULT,
        plainHttp("127.0.0.1")},
       true, 1},
      {"DR_GROUP_NAME missing: no server asked",
       {{"DR_GROUP_NAME", "-"}},
       {"Error - Missing environment variable \"DR_GROUP_NAME\" in the environment file",
        unreadable},
       false, 0},
      {"a missing core variable: every fault reported, no server asked",
       {{"WAIT_TIME", "-"}, {"PKGDIR", "/gone"}},
       {"Error - Missing environment variable \"WAIT_TIME\" in the environment file",
        "Error - Error found in the environment file " + envFile,
        "Error - The defined PKGDIR /gone does not exist",
        "Error - The WAIT_TIME variable has not been set properly.\n\t\t\t\t The "
        "value needs to be set equal or great than 0.",
        ENV_FAULT},
       false, 0},
      {"node in neither host list",
       {{"DC1_HOST_LIST", "node5"}},
       {"Error - The local host node1 is not in the data center host lists "
        "\n\t\t\t\tnode5 and node3 node4",
        ENV_FAULT},
       false, 0},
      {"a host list naming node10 does not name node1",
       {{"DC1_HOST_LIST", "node10,node2"}},
       {"Error - The local host node1 is not in the data center host lists "
        "\n\t\t\t\tnode10,node2 and node3 node4",
        ENV_FAULT},
       false, 0},
      {"node named in both host lists",
       {{"DC2_HOST_LIST", "node3 node1.example.com"}},
       {"Error - The local host node1 is named in both DC1_HOST_LIST and "
        "DC2_HOST_LIST.\n\t\t\t\tA node belongs to one data center only.",
        ENV_FAULT},
       false, 0},
  };
  const auto original = vars;
  size_t before = 0;
  for (const Case& c : cases) {
    vars = original;
    for (const auto& v : c.change) vars[v.first] = v.second;
    sys.console.writes.clear();
    ::unlink((envFile + ".smis").c_str());
    EXPECT_EQ(-1, run()) << c.what;
    EXPECT_EQ(c.expected, sys.normalMessages()) << c.what;
    EXPECT_EQ(c.written, outputWritten()) << c.what;
    if (c.written) {
      EXPECT_EQ("127.0.0.1\n", output()) << c.what;
    }
    EXPECT_EQ(c.requests, both.requests().size() - before) << c.what;
    before = both.requests().size();
  }
}

// The package folder may be writable by others than root: whatever stands
// at the output file's name is replaced by a new file, never followed,
// written or changed.
TEST_F(ZARNValidationTest, OutputFileIsReplacedNeverFollowed) {
  ScriptedServer both(reporting({LOCAL, REMOTE}));
  servers(serverEntry("127.0.0.1", both.port()));
  const std::string out = envFile + ".smis";
  const std::string victim = dir.file("victim");
  struct Case {
    const char* what;
    std::function<int()> plant;
  } cases[] = {
      {"a symbolic link", [&] { return symlink(victim.c_str(), out.c_str()); }},
      {"a hard link", [&] { return link(victim.c_str(), out.c_str()); }},
      {"a FIFO", [&] { return mkfifo(out.c_str(), 0600); }},
  };
  for (const Case& c : cases) {
    support::spit(victim, "secret\n", 0600);
    ASSERT_EQ(0, c.plant()) << c.what;
    EXPECT_EQ(0, run()) << c.what;
    struct stat st;
    ASSERT_EQ(0, lstat(out.c_str(), &st)) << c.what;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << c.what;
    EXPECT_EQ(1u, st.st_nlink) << c.what;
    EXPECT_EQ(0644u, st.st_mode & 07777) << c.what;
    EXPECT_EQ("127.0.0.1\n", output()) << c.what;
    EXPECT_EQ("secret\n", support::slurp(victim)) << c.what;
    EXPECT_EQ(0600u, support::modeOf(victim)) << c.what;
    EXPECT_EQ((std::vector<std::string>{"pkg1.env.smis", "pkg1.env.smis.lock",
                                        "victim", "yrzarn.map"}),
              dir.files())
        << c.what;
    ::unlink(out.c_str());
  }
}

// Two runs for one output file take turns, but a lock held for ever (or a
// link planted at the lock file's name) keeps the run waiting for a few
// seconds at most; the earlier list then stays and the check fails.
TEST_F(ZARNValidationTest, OutputLockIsWaitedForAWhileOnly) {
  ScriptedServer both(reporting({LOCAL, REMOTE}));
  servers(serverEntry("127.0.0.1", both.port()));
  const std::string out = envFile + ".smis";
  const std::string lock = out + ".lock";
  const std::string cannotLock = "Error:Cannot lock the file " + out + "\n\n";
  support::spit(out, "old\n", 0644);
  int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, flock(fd, LOCK_EX));
  EXPECT_EQ(-1, run());
  EXPECT_EQ(std::vector<unsigned>(LOCK_WAIT_SECONDS, 1), sys.clock.sleeps);
  EXPECT_EQ((Messages{plainHttp("127.0.0.1"), cannotLock.substr(0, cannotLock.size() - 1)}),
            sys.normalMessages());
  EXPECT_EQ("old\n", output());
  close(fd);

  ::unlink(lock.c_str());
  const std::string victim = dir.file("victim");
  support::spit(victim, "secret\n", 0600);
  ASSERT_EQ(0, symlink(victim.c_str(), lock.c_str()));
  sys.console.writes.clear();
  sys.clock.sleeps.clear();
  EXPECT_EQ(-1, run());
  EXPECT_EQ((Messages{plainHttp("127.0.0.1"), cannotLock.substr(0, cannotLock.size() - 1)}),
            sys.normalMessages());
  EXPECT_TRUE(sys.clock.sleeps.empty());
  EXPECT_EQ("old\n", output());
  EXPECT_EQ("secret\n", support::slurp(victim));
}

// A list that could not be written fails the check: the caller must not
// go on with the list of an earlier run.
TEST_F(ZARNValidationTest, UnwritableOutputFileIsAnError) {
  ScriptedServer both(reporting({LOCAL, REMOTE}));
  servers(serverEntry("127.0.0.1", both.port()));
  const std::string out = envFile + ".smis";
  struct Case {
    std::string folder;  // made where a file belongs
    std::string message;
  } cases[] = {
      {out + ".lock", "Error:Cannot lock the file " + out + "\n\n"},
      {out, "Error - Cannot write the file " + out + ": Is a directory\n\n"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(0, mkdir(c.folder.c_str(), 0755)) << c.folder;
    sys.console.writes.clear();
    EXPECT_EQ(-1, run()) << c.folder;
    EXPECT_EQ((Messages{plainHttp("127.0.0.1"), c.message.substr(0, c.message.size() - 1)}),
              sys.normalMessages())
        << c.folder;
    EXPECT_EQ(0, rmdir(c.folder.c_str())) << c.folder;
  }
}

TEST_F(ZARNValidationTest, PackageConfigurationNamesItsOwnPlace) {
  servers(serverEntry("smis-x", 5988));
  vars["DC1_SMIS_LIST"] = "smis-y";
  const std::string name = dir.file("internal.pkg1.env");
  EXPECT_EQ(-1, run("kxcheckconf", name));
  Messages m = sys.normalMessages();
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(cannotFind("DC1_SMIS_LIST", "in package configuration file."), m.back());
}

TEST_F(ZARNValidationTest, MapFileFaults) {
  ScriptedServer both(reporting({LOCAL, REMOTE}));
  EXPECT_EQ(-1, run());
  EXPECT_EQ((Messages{"Error - " + mapFile + " file does not exist or could not be opened",
                      "Error - Could not open the file " + mapFile + " for read"}),
            sys.normalMessages());

  sys.console.writes.clear();
  support::spit(mapFile, "<zarnmap>\nX\n</zarnmap>\n#\n<smisdata>\n" +
                             serverEntry("127.0.0.1", both.port()) + "</smisdata>\n");
  EXPECT_EQ(-1, run());
  EXPECT_EQ(Messages{"Error - Corrupted ZARN data in the map file"},
            sys.normalMessages());
  EXPECT_EQ(0u, both.requests().size());
  EXPECT_FALSE(outputWritten());
}

}  // namespace
