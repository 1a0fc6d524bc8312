#include "zarn/array/yrzarn_environment.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace {

using Messages = std::vector<std::string>;

const char* const DC1_WWN_ERROR =
    "Error - The DC1_STORAGE_WORLD_WIDE_NAME variable has not been set "
    "properly.";
const char* const QUERY_TIMEOUT_DEFAULT =
    "The QUERY_TIMEOUT variable has not been set properly.\n\t\t\t Use "
    "default, 300 seconds, for the query timeout";
const char* const NO_LOCAL_SMIS =
    "Error - No local SMI-S defined in the environment file.";

// The eight array variables, well formed; a test replaces one line by
// giving its variable a new text (or drops it with "-").
struct Vars {
  std::string drGroup = "dg01";
  std::string dc1Wwn = "5000-1FE1-5000-A1B0";
  std::string dc2Wwn = "5000-1fe1-5000-a2c0";
  std::string dc1Smis = "smisA";
  std::string dc1Hosts = "node1 node2";
  std::string dc2Smis = "smisB";
  std::string dc2Hosts = "node3 node4";
  std::string queryTimeout = "-";

  std::string text() const {
    std::string t = "# array variables\n";
    auto line = [&t](const char* name, const std::string& value) {
      if (value != "-") t += std::string(name) + "=" + value + "\n";
    };
    line("DR_GROUP_NAME", drGroup);
    line("DC1_STORAGE_WORLD_WIDE_NAME", dc1Wwn);
    line("DC2_STORAGE_WORLD_WIDE_NAME", dc2Wwn);
    line("DC1_SMIS_LIST", dc1Smis);
    line("DC1_HOST_LIST", dc1Hosts);
    line("DC2_SMIS_LIST", dc2Smis);
    line("DC2_HOST_LIST", dc2Hosts);
    line("QUERY_TIME_OUT", queryTimeout);
    return t;
  }
};

class YRZARNEnvironmentTest : public ::testing::Test {
 protected:
  YRZARNEnvironmentTest() : debug_("DATAREP_DEBUG", std::nullopt) {
    logger_ = std::make_unique<fake::ScopedLogger>();
    env_ = std::make_unique<YRZARNEnvironment>();
    EXPECT_EQ(env_->initialize(), 0);
  }

  // read + validate on a node of that host name; the result of validate.
  int load(const Vars& vars, const std::string& host = "node1") {
    sys.host.name = host;
    EXPECT_TRUE(env().readText(vars.text()));
    return env().validate();
  }
  YRZARNEnvironment& env() { return *env_; }
  std::vector<std::string> allLocalSMIS() {
    std::vector<std::string> out;
    for (std::string s = env().getNextLocalSMIS(); !s.empty();
         s = env().getNextLocalSMIS())
      out.push_back(s);
    return out;
  }

  fake::ScopedPlatform sys;

 private:
  fake::ScopedEnv debug_;
  std::unique_ptr<fake::ScopedLogger> logger_;
  std::unique_ptr<YRZARNEnvironment> env_;
};

TEST_F(YRZARNEnvironmentTest, ConvertStorageNameAcceptsOnlyFourHyphenatedGroups) {
  struct Case {
    std::string in;
    int result;
    std::string out;
  } cases[] = {
      {"AAAA-BBBB-CCCC-DDDD", 0, "AAAABBBBCCCCDDDD"},
      {"5000-1fe1-xyz!-0000", 0, "50001fe1xyz!0000"},  // nothing else checked
      {"AAAABBBBCCCCDDDD", 1, "AAAABBBBCCCCDDDD"},
      {"AAAA-BBBB-CCCCDDDD-", 1, "AAAA-BBBB-CCCCDDDD-"},
      {"AAAA-BBBB-CCCC-DDDDE", 1, "AAAA-BBBB-CCCC-DDDDE"},
      {"", 1, ""},
  };
  for (const Case& c : cases) {
    std::string name = c.in;
    EXPECT_EQ(env().convertStorageName(name), c.result) << c.in;
    EXPECT_EQ(name, c.out) << c.in;
  }
}

// Given a DC2 node and a well-formed file...
TEST_F(YRZARNEnvironmentTest, ValidFileOnDataCentre2) {
  Vars v;
  v.dc2Smis = "\"smis1, smis2\tsmis3\"";
  ASSERT_EQ(load(v, "node4"), 0);
  EXPECT_EQ(sys.normalMessages(), Messages{});
  EXPECT_EQ(env().getLocation(), YRZARNEnvironment::DC2);
  EXPECT_EQ(env().isSMISConnectAttribProper(), 0);
  EXPECT_EQ(env().getDRGroupName(), "\\Data Replication\\dg01");
  EXPECT_EQ(env().getLocalStorageName(), "50001fe15000a2c0");
  EXPECT_EQ(env().getRemoteStorageName(), "50001FE15000A1B0");
  EXPECT_EQ(env().getQueryTimeout(), 300);
  EXPECT_EQ(allLocalSMIS(), (Messages{"smis1", "smis2", "smis3"}));
  EXPECT_EQ(env().getNextLocalSMIS(), "");
  EXPECT_EQ(env().resetLocalSMIS(), 0);
  EXPECT_EQ(env().getNextLocalSMIS(), "smis1");
}

TEST_F(YRZARNEnvironmentTest, DrGroupPrefixIsAlwaysAdded) {
  Vars v;
  v.drGroup = "\\Data Replication\\dg01";
  ASSERT_EQ(load(v), 0);
  EXPECT_EQ(env().getDRGroupName(),
            "\\Data Replication\\\\Data Replication\\dg01");
}

TEST_F(YRZARNEnvironmentTest, QueryTimeOutDefaultsWhenBelowOneOrNotANumber) {
  struct Case {
    std::string value;
    int seconds;
    bool defaulted;
  } cases[] = {{"-", 300, false}, {"45", 45, false}, {"0", 300, true},
               {"-5", 300, true}, {"soon", 300, true}};
  for (const Case& c : cases) {
    YRZARNEnvironment e;
    e.initialize();
    sys.console.writes.clear();
    Vars v;
    v.queryTimeout = c.value;
    ASSERT_TRUE(e.readText(v.text())) << c.value;
    EXPECT_EQ(e.validate(), 0) << c.value;
    EXPECT_EQ(e.getQueryTimeout(), c.seconds) << c.value;
    bool said = false;
    for (const auto& m : sys.normalMessages())
      if (m == QUERY_TIMEOUT_DEFAULT) said = true;
    EXPECT_EQ(said, c.defaulted) << c.value;
  }
}

// The node's data centre is the host list with an item that is its short
// host name, or a fully qualified name whose first label is; a part of a
// longer name does not count, and a node both lists name is refused.
TEST_F(YRZARNEnvironmentTest, DataCentreIsTheHostListNamingTheNode) {
  const int DC1 = YRZARNEnvironment::DC1, DC2 = YRZARNEnvironment::DC2,
            NONE = YRZARNEnvironment::UNDEFINED;
  const std::string both =
      "Error - The local host node3 is named in both DC1_HOST_LIST and "
      "DC2_HOST_LIST.\n\t\t\t\tA node belongs to one data center only.";
  struct Case {
    std::string host, dc1Hosts, dc2Hosts;
    int location;
    std::string message;  // "" for none
  } cases[] = {
      {"node3", "node1", "node3", DC2, ""},
      {"node1.dc.example.com", "node2,node1", "node3", DC1, ""},
      {"node1", "node10 node2", "node1", DC2, ""},       // not a prefix
      {"node1", "xnode1\tnode2", "node3,node1", DC2, ""},  // nor a suffix
      {"node1", "node10 node11", "node3", NONE,
       "Error - The local host node1 is not in the data center host lists "
       "\n\t\t\t\tnode10 node11 and node3"},
      {"node2", "node1.dc.example.com,\tnode2.dc.example.com", "node3", DC1, ""},
      {"node2", "node1 node2.x", "node3 node2x.y", DC1, ""},
      {"node3", "node3", "node3", NONE, both},
      {"node3", "node3.dc1.example.com", "node3", NONE, both},
      {"NODE3", "node1", "node3", NONE,
       "Error - The local host NODE3 is not in the data center host lists "
       "\n\t\t\t\tnode1 and node3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host + " in [" + c.dc1Hosts + "] [" + c.dc2Hosts + "]");
    YRZARNEnvironment e;
    e.initialize();
    Vars v;
    v.dc1Hosts = c.dc1Hosts;
    v.dc2Hosts = c.dc2Hosts;
    sys.host.name = c.host;
    sys.console.writes.clear();
    ASSERT_TRUE(e.readText(v.text()));
    EXPECT_EQ(e.validate(), c.location == NONE ? 1 : 0);
    EXPECT_EQ(e.getLocation(), c.location);
    EXPECT_EQ(e.isSMISConnectAttribProper(), c.location == NONE ? -1 : 0);
    EXPECT_EQ(sys.normalMessages(),
              c.message.empty() ? Messages{} : Messages{c.message});
  }
}

// Given well-formed variables on a node that neither host list names...
TEST_F(YRZARNEnvironmentTest, NodeInNeitherHostList) {
  Vars v;
  ASSERT_EQ(load(v, "node9.example.com"), 1);
  EXPECT_EQ(sys.normalMessages(),
            Messages{"Error - The local host node9 is not in the data center "
                     "host lists \n\t\t\t\tnode1 node2 and node3 node4"});
  EXPECT_EQ(env().getLocation(), YRZARNEnvironment::UNDEFINED);
  EXPECT_EQ(env().isSMISConnectAttribProper(), -1);
  EXPECT_EQ(env().getLocalStorageName(), "50001FE15000A1B0");
  EXPECT_EQ(env().getNextLocalSMIS(), "");
}

// An unreadable or empty host name would be found in every list as the
// empty substring; it is refused instead.
TEST_F(YRZARNEnvironmentTest, UnreadableHostNameMatchesNoList) {
  for (std::optional<std::string> host :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>(".example.com")}) {
    YRZARNEnvironment e;
    e.initialize();
    sys.console.writes.clear();
    sys.host.name = host;
    ASSERT_TRUE(e.readText(Vars().text()));
    EXPECT_EQ(e.validate(), 1);
    EXPECT_EQ(e.getLocation(), YRZARNEnvironment::UNDEFINED);
    EXPECT_EQ(sys.normalMessages(),
              Messages{"Error - The local host  is not in the data center "
                       "host lists \n\t\t\t\tnode1 node2 and node3 node4"});
  }
}

// Every fault of the variables is reported in one run, in a fixed order.
TEST_F(YRZARNEnvironmentTest, AllFaultsReportedInOneRun) {
  Vars v;
  v.drGroup = "";
  v.dc1Wwn = "AAAABBBBCCCCDDDD";
  v.dc2Wwn = "AAAA-BBBB-CCCCDDDD-";
  v.queryTimeout = "0";
  v.dc2Hosts = "";
  v.dc1Smis = "";
  v.dc2Smis = "";
  ASSERT_EQ(load(v), 1);
  EXPECT_EQ(
      sys.normalMessages(),
      (Messages{
          "Error - The DR_GROUP_NAME variable has not been set properly.",
          DC1_WWN_ERROR,
          "Error - The DC2_STORAGE_WORLD_WIDE_NAME variable has not been set "
          "properly.",
          QUERY_TIMEOUT_DEFAULT,
          "Error - The DC2_HOST_LIST variable has not been set properly.",
          "Error - The DC1_SMIS_LIST variable has not been set properly.",
          "Error -The DC2_SMIS_LIST variable has not been set properly.",
          NO_LOCAL_SMIS}));
  EXPECT_EQ(env().isSMISConnectAttribProper(), -1);
  // The node was placed; the failure is the variables'.
  EXPECT_EQ(env().getLocation(), YRZARNEnvironment::DC1);
}

// A quoted empty value is cleaned to "", which would leave only the prefix
// as the DR group name; it is refused like a missing value.
TEST_F(YRZARNEnvironmentTest, EmptyQuotedDrGroupNameIsRefused) {
  Vars v;
  v.drGroup = "\"\"";
  ASSERT_EQ(load(v), 1);
  EXPECT_EQ(sys.normalMessages(),
            Messages{"Error - The DR_GROUP_NAME variable has not been set "
                     "properly."});
}

TEST_F(YRZARNEnvironmentTest, LocalSMISListOfSeparatorsOnly) {
  Vars v;
  v.dc1Smis = "\", \t,\"";  // not empty, so only the last step objects
  ASSERT_EQ(load(v), 1);
  EXPECT_EQ(sys.normalMessages(), Messages{NO_LOCAL_SMIS});
  EXPECT_EQ(env().getNextLocalSMIS(), "");
  EXPECT_EQ(env().resetLocalSMIS(), 1);
}

TEST_F(YRZARNEnvironmentTest, MissingEnforcedVariableFailsRead) {
  Vars v;
  v.dc2Hosts = "-";
  sys.host.name = "node1";
  EXPECT_FALSE(env().readText(v.text()));
  EXPECT_EQ(sys.normalMessages(),
            Messages{"Error - Missing environment variable \"DC2_HOST_LIST\" "
                     "in the environment file"});
}

// From the cluster manager's package attributes the variables carry the
// YRZARN_ prefix.
TEST_F(YRZARNEnvironmentTest, ReadsPackageAttributes) {
  sys.shell.answer("/opt/kxcluster/bin/kxgetpkgenv pkg1",
                   0,
                   {"YRZARN_DR_GROUP_NAME=dg07",
                    "YRZARN_DC1_STORAGE_WORLD_WIDE_NAME=1111-2222-3333-4444",
                    "YRZARN_DC2_STORAGE_WORLD_WIDE_NAME=5555-6666-7777-8888",
                    "YRZARN_DC1_SMIS_LIST=s1", "YRZARN_DC1_HOST_LIST=node1",
                    "YRZARN_DC2_SMIS_LIST=s2", "YRZARN_DC2_HOST_LIST=node2",
                    "YRZARN_QUERY_TIME_OUT=30"});
  char name[] = "pkg1";
  ASSERT_TRUE(env().read(name));
  ASSERT_EQ(env().validate(), 0);
  EXPECT_EQ(env().getDRGroupName(), "\\Data Replication\\dg07");
  EXPECT_EQ(env().getLocalStorageName(), "1111222233334444");
  EXPECT_EQ(env().getQueryTimeout(), 30);
  EXPECT_EQ(allLocalSMIS(), Messages{"s1"});
}

}  // namespace
