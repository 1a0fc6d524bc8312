#include "zarn/store/smis_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"
#include "tests/support/map_store.h"
#include "zarn/store/map_file.h"

using support::entry;
using support::field;
using support::listOf;
using support::server;

namespace {

const char WARNING[] =
    "Warning - The last SMI-S information is deleted from the map file.\n"
    "          Make sure to add at least one SMI-S information to the map "
    "file\n"
    "          prior to running zarndiscovery tool or starting application "
    "packages.\n";

const std::string ZARN_SECTION =
    "<zarnmap>\n50014380025D7E30\n<drgroup>\n"
    "\\Data Replication\\dg1:id1\n<wwidlist>\nw1\nw2\n</wwidlist>\n"
    "</drgroup>\n</zarnmap>\n";

struct ReadCase {
  const char* name;
  std::string text;
  int result;
  std::string error;
  std::vector<std::string> list;  // support::show of each entry
};

std::ostream& operator<<(std::ostream& os, const ReadCase& c) {
  return os << c.name;
}

class SMISManagerReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(SMISManagerReadTest, LoadsTheServerListSection) {
  const ReadCase& c = GetParam();
  SMISManager m;
  m.addOrUpdateSMIS(server("stale", 1, "ns", "Y", "u", "p"));
  EXPECT_EQ(c.result, m.readText(c.text));
  EXPECT_EQ(c.error, m.getErrorMessage());
  EXPECT_EQ(c.list, listOf(m));
}

const std::string BEGIN = "#\n<smisdata>\n";
const std::string END = "</smisdata>\n";
const std::string LONG_HOST(300, 'h');
const std::string PW63(63, 'x');

INSTANTIATE_TEST_SUITE_P(
    Layouts, SMISManagerReadTest,
    testing::Values(
        ReadCase{"EmptyFile", "", 0, "", {}},
        ReadCase{"NoServerListSection", ZARN_SECTION, 0, "", {}},
        ReadCase{"TwoEntriesAfterTheMap",
                 ZARN_SECTION + BEGIN + entry("a@5988&root/eva&N&admin", "pw1") +
                     entry("b@15989&interop&Y&root", "pw2") + END,
                 0,
                 "",
                 {"a@5988&root/eva&N&admin&pw1", "b@15989&interop&Y&root&pw2"}},
        ReadCase{"NoSeparatorLine",
                 "<smisdata>\n" + entry("a@5988&ns&N&u", "p") + END,
                 0,
                 "",
                 {"a@5988&ns&N&u&p"}},
        ReadCase{"NoPortGivesTheSSLDefault",
                 BEGIN + entry("y&ns&y&u", "p") + entry("Y&ns&Y&u", "p") +
                     entry("n&ns&n&u", "p") + entry("N@0&ns&N&u", "p") +
                     entry("x&ns&X&u", "p") + END,
                 0,
                 "",
                 {"y@5989&ns&y&u&p", "Y@5989&ns&Y&u&p", "n@5988&ns&n&u&p",
                  "N@5988&ns&N&u&p", "x@0&ns&X&u&p"}},
        ReadCase{"TextAfterTheUserNameIsIgnored",
                 BEGIN + entry("a@7&ns&N&u&extra", "p") + END,
                 0,
                 "",
                 {"a@7&ns&N&u&p"}},
        ReadCase{"DuplicateHostKeepsFirstPlaceAndSecondValues",
                 BEGIN + entry("a@1&ns1&N&u1", "p1") + entry("b@2&ns&N&u", "p") +
                     entry("a@3&ns3&Y&u3", "p3") + END,
                 0,
                 "",
                 {"a@3&ns3&Y&u3&p3", "b@2&ns&N&u&p"}},
        ReadCase{"PasswordsOf63CharactersAndPercentSigns",
                 BEGIN + entry("a@1&ns&N&u", PW63) +
                     entry("b@1&ns&N&u", "%s%n%%d") + entry("c@1&ns&N&u", "") +
                     END,
                 0,
                 "",
                 {"a@1&ns&N&u&" + PW63, "b@1&ns&N&u&%s%n%%d", "c@1&ns&N&u&"}},
        ReadCase{"LinesLongerThan255CharactersAreReadWhole",
                 BEGIN + entry(LONG_HOST + "@1&ns&N&u", "p") + END,
                 0,
                 "",
                 {LONG_HOST + "@1&ns&N&u&p"}},
        ReadCase{"EndTagWithoutLineFeed",
                 BEGIN + entry("a@1&ns&N&u", "p") + "</smisdata>",
                 0,
                 "",
                 {"a@1&ns&N&u&p"}},
        ReadCase{"EmptyFieldShiftsTheUserNameAway",
                 BEGIN + entry("a@1&&ns&N", "p") + END, 1,
                 "Corrupted SMI-S data in the map file", {}},
        ReadCase{"EmptyFieldStillLeavingFourFields",
                 BEGIN + entry("a@1&&ns&N&u", "p") + END,
                 0,
                 "",
                 {"a@1&ns&N&u&p"}},
        ReadCase{"MissingEndTag",
                 BEGIN + entry("a@1&ns&N&u", "p"), 1,
                 "Corrupted SMI-S data in the map file", {}},
        ReadCase{"EntryLineAtTheEndWithoutLineFeed",
                 BEGIN + entry("a@1&ns&N&u", "p") + "b@1&ns&N&u", 1,
                 "Corrupted SMI-S data in the map file", {}},
        ReadCase{"ShortPasswordFieldKeepsEarlierEntries",
                 BEGIN + entry("a@1&ns&N&u", "p") + "b@1&ns&N&u\n" +
                     std::string(20, 'q'),
                 1,
                 "Password not found. Corrupted SMI-S data in the map file",
                 {"a@1&ns&N&u&p"}},
        ReadCase{"NothingAfterThePasswordField",
                 BEGIN + entry("a@1&ns&N&u", "p") + "b@1&ns&N&u\n" + field("q"),
                 1,
                 "Wrong password data format. Corrupted SMI-S data in the map "
                 "file",
                 {"a@1&ns&N&u&p"}}));

// Runs a manager on a map file in a temporary folder.
class SMISManagerFileTest : public testing::Test {
 protected:
  SMISManagerFileTest() : path(dir.file("yrzarn.map")) {}

  fake::ScopedPlatform platform;
  support::TempDir dir;
  std::string path;
};

TEST_F(SMISManagerFileTest, MissingFileFailsOnlyWhenItMustExist) {
  SMISManager m(false, path);
  m.addOrUpdateSMIS(server("a", 1, "ns", "N", "u", "p"));
  EXPECT_EQ(0, m.readFile(false));
  EXPECT_EQ(1u, listOf(m).size());
  EXPECT_FALSE(m.validate());

  EXPECT_EQ(1, m.readFile(true));
  EXPECT_EQ(path + " file does not exist or could not be opened",
            m.getErrorMessage());
  EXPECT_TRUE(listOf(m).empty());
}

// Host names end up in the server's URL: only what cannot change its
// meaning passes.
TEST(SMISHostNameTest, OnlyHostNamesAndBracketedIPv6Addresses) {
  for (const char* good : {"smis1", "SMIS-1.example.com", "10.0.0.1", "[::1]",
                           "[fe80::1:2]", "[::ffff:10.0.0.1]"})
    EXPECT_EQ("", smisHostNameProblem(good)) << good;
  for (const char* bad : {"", "a/b", "a?b", "a#b", "a b", "a:1", "u@a", "a%2f",
                          "a_b", "a\tb", "::1", "[::1", "[]", "[host]", "[::1]:1",
                          "h\xc3\xa9"})
    EXPECT_EQ(std::string("The SMI-S server host name \"") + bad +
                  "\" is not valid. A host name may only have letters, digits, "
                  "'-' and '.', or be an IPv6 address in brackets.",
              smisHostNameProblem(bad))
        << bad;
}

// A map file that is there but cannot be read is not a missing one: the
// list loads with an error whatever checkExist says, and a save fails
// rather than write a file that has lost the device ID map.
TEST_F(SMISManagerFileTest, FileThatCannotBeReadIsNeverSavedOver) {
  struct Case {
    const char* what;
    bool folder;
    int readError;  // 0: the real reads
  } cases[] = {
      {"a folder in its place", true, 0},
      {"an I/O error", false, EIO},
  };
  const std::string contents = ZARN_SECTION + BEGIN + entry("a@1&ns&N&u", "p") + END;
  for (const Case& c : cases) {
    if (c.folder) {
      ASSERT_EQ(0, mkdir(path.c_str(), 0700));
    } else {
      support::spit(path, contents);
    }
    fake::FailingReads failing(c.readError);
    std::optional<fake::ScopedFiles> reads;
    if (c.readError != 0) reads.emplace(&failing);
    SMISManager m(false, path);
    EXPECT_EQ(1, m.readFile(false)) << c.what;
    EXPECT_EQ(path + " file does not exist or could not be opened",
              m.getErrorMessage())
        << c.what;
    m.addOrUpdateSMIS(server("b", 1, "ns", "N", "u", "p"));
    EXPECT_EQ(1, m.writeFile()) << c.what;
    EXPECT_EQ("Could not open the file " + path + " for read", m.getErrorMessage())
        << c.what;
    reads.reset();
    if (c.folder) {
      EXPECT_EQ(0, rmdir(path.c_str())) << c.what;
    } else {
      EXPECT_EQ(contents, support::slurp(path)) << c.what;
    }
  }
}

TEST_F(SMISManagerFileTest, LoadFlagOfTheConstructorShowsInValidate) {
  EXPECT_TRUE(SMISManager(true, path).validate());
  support::spit(path, ZARN_SECTION);
  SMISManager loaded(true, path);
  EXPECT_FALSE(loaded.validate());
  SMISData d;
  EXPECT_EQ(2, loaded.getNextSMIS(d));
}

TEST_F(SMISManagerFileTest, FirstSaveCreatesSeparatorAndSectionWithMode0600) {
  mode_t old = umask(0);
  SMISManager m(false, path);
  m.addOrUpdateSMIS(server("a", 5988, "root/eva", "N", "admin", "secret"));
  EXPECT_EQ(0, m.writeFile());
  umask(old);
  EXPECT_EQ(BEGIN + entry("a@5988&root/eva&N&admin", "secret") + END,
            support::slurp(path));
  EXPECT_EQ(0600u, support::modeOf(path));
  EXPECT_TRUE(platform.console.writes.empty());
}

TEST_F(SMISManagerFileTest, SaveKeepsEverythingBeforeTheSeparatorLine) {
  const std::string before = ZARN_SECTION + "a stray line\n";
  for (const std::string& oldTail :
       {std::string(), "#\n<smisdata>\n" + entry("old@1&ns&N&u", "p") + END}) {
    support::spit(path, before + oldTail, 0644);
    SMISManager m(false, path);
    m.addOrUpdateSMIS(server("new", 5989, "ns", "Y", "u", "pw"));
    ASSERT_EQ(0, m.writeFile());
    EXPECT_EQ(before + BEGIN + entry("new@5989&ns&Y&u", "pw") + END,
              support::slurp(path));
    EXPECT_EQ(0600u, support::modeOf(path));
  }
}

TEST_F(SMISManagerFileTest, LastLineWithoutLineFeedIsKeptWithOne) {
  support::spit(path, "<zarnmap>\n</zarnmap>");
  SMISManager m(false, path);
  m.addOrUpdateSMIS(server("a", 1, "ns", "N", "u", "p"));
  ASSERT_EQ(0, m.writeFile());
  EXPECT_EQ("<zarnmap>\n</zarnmap>\n" + BEGIN + entry("a@1&ns&N&u", "p") + END,
            support::slurp(path));
}

TEST_F(SMISManagerFileTest, SavingAnEmptyListRemovesTheSectionAndWarns) {
  support::spit(path, ZARN_SECTION + BEGIN + entry("a@1&ns&N&u", "p") + END);
  SMISManager m(false, path);
  ASSERT_EQ(0, m.readFile(true));
  ASSERT_EQ(0, m.removeSMIS("a"));
  EXPECT_EQ(0, m.writeFile());
  EXPECT_EQ(ZARN_SECTION, support::slurp(path));
  EXPECT_EQ(std::vector<std::string>{WARNING}, platform.console.writes);
}

TEST_F(SMISManagerFileTest, RoundTripKeepsEveryField) {
  SMISManager m(false, path);
  std::vector<SMISData> servers = {
      server("h1.example.com", 5988, "root/eva", "N", "admin", PW63),
      server("10.0.0.2", 15989, "interop", "Y", "root", "%s&@#"),
      server("h3", 5989, "ns", "Y", "u", "")};
  for (auto& s : servers) m.addOrUpdateSMIS(s);
  ASSERT_EQ(0, m.writeFile());
  SMISManager back(true, path);
  EXPECT_FALSE(back.validate());
  EXPECT_EQ(listOf(m), listOf(back));
}

TEST_F(SMISManagerFileTest, EntriesTheFileCannotCarryAreRefusedAndNothingSaved) {
  struct Case {
    SMISData data;
    std::string error;
  };
  const std::string lead = "The SMI-S server ";
  const std::vector<Case> cases = {
      {server("a", 1, "ns", "N", "u", std::string(64, 'x')),
       lead + "a cannot be stored in the map file: the password is longer "
              "than 63 characters"},
      {server("a", 1, "ns", "N", "u", std::string("p\0q", 3)),
       lead + "a cannot be stored in the map file: the password contains a "
              "NUL or line feed character"},
      {server("a", 1, "ns", "N", "u", "p\nq"),
       lead + "a cannot be stored in the map file: the password contains a "
              "NUL or line feed character"},
      {server("a@b", 1, "ns", "N", "u", "p"),
       lead + "a@b cannot be stored in the map file: the host name contains "
              "\"@\""},
      {server("", 1, "ns", "N", "u", "p"),
       lead + " cannot be stored in the map file: the host name is empty"},
      {server("a", 1, "ro&ot", "N", "u", "p"),
       lead + "a cannot be stored in the map file: the namespace contains "
              "\"&\""},
      {server("a", 1, "ns", "", "u", "p"),
       lead + "a cannot be stored in the map file: the SSL flag is empty"},
      {server("a", 1, "ns", "N", "u\nv", "p"),
       lead + "a cannot be stored in the map file: the user name contains a "
              "line feed"},
  };
  const std::string before = ZARN_SECTION + BEGIN + entry("old@1&n&N&u", "") + END;
  for (const Case& c : cases) {
    support::spit(path, before, 0600);
    SMISManager m(false, path);
    m.addOrUpdateSMIS(server("ok", 1, "ns", "N", "u", "p"));
    m.addOrUpdateSMIS(c.data);
    EXPECT_EQ(1, m.writeFile()) << c.error;
    EXPECT_EQ(c.error, m.getErrorMessage());
    EXPECT_EQ(before, support::slurp(path)) << c.error;
  }
}

TEST(SMISManagerListTest, IterationGivesEntriesInOrderThenEndThenEmpty) {
  SMISManager m;
  SMISData d;
  EXPECT_EQ(2, m.getNextSMIS(d));
  EXPECT_EQ("No SMI-S information defined in the map file.",
            m.getErrorMessage());
  m.addOrUpdateSMIS(server("a", 1, "ns", "N", "u", "p"));
  m.addOrUpdateSMIS(server("b", 2, "ns", "N", "u", "p"));
  ASSERT_EQ(0, m.resetSMISList());
  EXPECT_EQ(0, m.getNextSMIS(d));
  EXPECT_EQ("a", d.hostname);
  EXPECT_EQ(0, m.getNextSMIS(d));
  EXPECT_EQ("b", d.hostname);
  EXPECT_EQ(1, m.getNextSMIS(d));
}

TEST(SMISManagerListTest, EditsKeepOrderAndFailuresChangeNothing) {
  SMISManager m;
  SMISData d;
  EXPECT_EQ(1, m.setFirstSMIS("a"));
  EXPECT_EQ("No SMI-S information defined in the map file.",
            m.getErrorMessage());
  EXPECT_EQ(1, m.getFirstSMIS(d));
  EXPECT_EQ(1, m.resetSMISList());
  for (const char* h : {"a", "b", "c"})
    m.addOrUpdateSMIS(server(h, 1, "ns", "N", "u", "p"));

  m.addOrUpdateSMIS(server("c", 9, "ns9", "Y", "u9", "p9"));
  m.addOrUpdateSMIS(server("d", 1, "ns", "N", "u", "p"));
  EXPECT_EQ(0, m.setFirstSMIS("b"));
  EXPECT_EQ(0, m.setFirstSMIS("b"));
  EXPECT_EQ((std::vector<std::string>{"b@1&ns&N&u&p", "a@1&ns&N&u&p",
                                      "c@9&ns9&Y&u9&p9", "d@1&ns&N&u&p"}),
            listOf(m));

  EXPECT_EQ(1, m.removeSMIS("A"));
  EXPECT_EQ("No SMI-S server named A found in the list.", m.getErrorMessage());
  EXPECT_EQ(1, m.getSMIS("B", d));
  EXPECT_EQ(1, m.setFirstSMIS("x"));
  EXPECT_EQ("No SMI-S server named x found in the list.", m.getErrorMessage());
  EXPECT_EQ(4u, listOf(m).size());

  EXPECT_EQ(0, m.removeSMIS("a"));
  EXPECT_EQ(0, m.getFirstSMIS(d));
  EXPECT_EQ("b", d.hostname);
  EXPECT_EQ(0, m.getSMIS("c", d));
  EXPECT_EQ("p9", d.password);
  m.addOrUpdateSMIS(server("a", 1, "ns", "N", "u", "p"));
  EXPECT_EQ(
      (std::vector<std::string>{"b", "c", "d", "a"}),
      [&] {
        std::vector<std::string> hosts;
        for (auto& s : listOf(m)) hosts.push_back(s.substr(0, 1));
        return hosts;
      }());
}

TEST(SMISManagerListTest, RemovingTheEntryAtTheIterationPositionMovesItOn) {
  SMISManager m;
  for (const char* h : {"a", "b", "c"})
    m.addOrUpdateSMIS(server(h, 1, "ns", "N", "u", "p"));
  SMISData d;
  m.resetSMISList();
  m.getNextSMIS(d);
  ASSERT_EQ(0, m.removeSMIS("b"));
  ASSERT_EQ(0, m.getNextSMIS(d));
  EXPECT_EQ("c", d.hostname);
}

TEST(SMISManagerListTest, CopiesAreIndependentAndKeepTheIterationPosition) {
  SMISManager m;
  for (const char* h : {"a", "b", "c"})
    m.addOrUpdateSMIS(server(h, 1, "ns", "N", "u", "p"));
  SMISData d;
  m.resetSMISList();
  m.getNextSMIS(d);
  SMISManager copy(m);
  SMISManager assigned;
  assigned = m;
  m.removeSMIS("b");
  for (SMISManager* c : {&copy, &assigned}) {
    ASSERT_EQ(0, c->getNextSMIS(d));
    EXPECT_EQ("b", d.hostname);
    EXPECT_EQ(0, c->setFirstSMIS("c"));
    EXPECT_EQ(0, c->getSMIS("b", d));
  }
}

// A password must reach neither standard output nor the system log, even
// with debug messages on and every operation failing or succeeding.
TEST(SMISManagerSecrecyTest, PasswordsAreNeverLogged) {
  fake::ScopedPlatform platform;
  fake::ScopedEnv debugOn("DATAREP_DEBUG", std::string(""));
  fake::ScopedLogger logger;
  logger.get()->setOutput(LOG_FILE | SYS_FILE);
  support::TempDir dir;
  const std::string path = dir.file("yrzarn.map");
  const std::string secret = "Zz9-very-secret";

  SMISManager m(false, path);
  m.addOrUpdateSMIS(server("a", 1, "ns", "N", "u", secret));
  m.addOrUpdateSMIS(server("b", 1, "ns", "N", "u", secret + "x"));
  ASSERT_EQ(0, m.writeFile());
  SMISManager back(true, path);
  SMISData d;
  back.getSMIS("a", d);
  back.getNextSMIS(d);
  back.removeSMIS("a");
  back.removeSMIS("b");
  back.writeFile();
  m.addOrUpdateSMIS(server("c", 1, "ns", "N", "u", secret + std::string(60, 'y')));
  EXPECT_EQ(1, m.writeFile());
  support::spit(path, BEGIN + "c@1&ns&N&u\n" + secret);
  back.readFile(true);

  ASSERT_FALSE(platform.messages().empty());
  for (const auto& w : platform.console.writes)
    EXPECT_EQ(std::string::npos, w.find(secret)) << w;
  for (const auto& t : platform.sysLogTexts())
    EXPECT_EQ(std::string::npos, t.find(secret)) << t;
  EXPECT_EQ(std::string::npos, m.getErrorMessage().find(secret));
  EXPECT_EQ(std::string::npos, back.getErrorMessage().find(secret));
}

TEST(SMISManagerDebugTest, OperationsAnnounceThemselves) {
  fake::ScopedPlatform platform;
  fake::ScopedEnv debugOn("DATAREP_DEBUG", std::string("1"));
  fake::ScopedLogger logger;
  {
    SMISManager m(false, "/nonexistent/yrzarn.map");
    m.readFile(false);
  }
  EXPECT_EQ((std::vector<std::string>{
                "DEBUG Inside the SMISManager copy constructor",
                "DEBUG Inside the SMISManager::readFile method",
                "DEBUG Inside the SMISManager destructor"}),
            platform.messages());
}

}  // namespace
