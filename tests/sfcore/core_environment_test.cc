#include "sfcore/core_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace {

using Messages = std::vector<std::string>;

const char* const CONVERT_ERROR =
    "Error - (Internal) Failed to convert a string to an integer "
    "value.\n\t\t\t\t The string contains a wrong data";
const char* const WAIT_ERROR =
    "Error - The WAIT_TIME variable has not been set properly.\n\t\t\t\t The "
    "value needs to be set equal or great than 0.";
const char* const CLUSTER_ERROR =
    "Error - The CLUSTER_TYPE variable has not been set properly.\n\t\t\t\t"
    "The value needs to be set to either \"nearspan\" or \"farspan\"";
const char* const POLICY_ERROR =
    "Error - The DT_APPLICATION_STARTUP_POLICY has not been set "
    "properly.\n\t\t\t\tThe value needs to be set to \"Availability_Preferred\" "
    "or \n\t\t\t\t\"Data_Currency_Preferred\".";

std::string missing(const std::string& name) {
  return "Error - Missing environment variable \"" + name +
         "\" in the environment file";
}

std::string twice(const std::string& name) {
  return "Error - The variable \"" + name +
         "\" is defined more than once \n\t\t\t\tin the environment file.";
}

const std::string GOOD =
    "CLUSTER_TYPE=farspan\nPKGDIR=/pkg\n"
    "DT_APPLICATION_STARTUP_POLICY=AVAILABILITY_PREFERRED\nWAIT_TIME=1\n";

class CoreEnvironmentTest : public ::testing::Test {
 protected:
  CoreEnvironmentTest() : debug_("DATAREP_DEBUG", std::nullopt) {
    logger_ = std::make_unique<fake::ScopedLogger>();
    env_ = std::make_unique<CoreEnvironment>();
    EXPECT_EQ(env_->initialize(), 0);
  }
  CoreEnvironment& env() { return *env_; }
  std::string clusterType() {
    return env().getClusterType() ? env().getClusterType() : "(unset)";
  }
  std::string packageDir() {
    return env().getPackageDir() ? env().getPackageDir() : "(unset)";
  }

  fake::ScopedPlatform sys;

 private:
  fake::ScopedEnv debug_;
  std::unique_ptr<fake::ScopedLogger> logger_;
  std::unique_ptr<CoreEnvironment> env_;
};

// One environment file and what reading it stores and says.
struct ReadCase {
  const char* name;
  std::string text;
  bool ok;
  std::string clusterType;
  std::string packageDir;
  std::string policy;
  int waitMinutes;
  Messages messages;
};

std::ostream& operator<<(std::ostream& os, const ReadCase& c) {
  return os << c.name;
}

class ReadTextTest : public CoreEnvironmentTest,
                     public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadTextTest, StoresValuesAndReports) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(env().readText(c.text), c.ok);
  EXPECT_EQ(clusterType(), c.clusterType);
  EXPECT_EQ(packageDir(), c.packageDir);
  EXPECT_EQ(env().getStartupPolicy(), c.policy);
  EXPECT_EQ(env().getWaitTime(), c.waitMinutes);
  EXPECT_EQ(sys.normalMessages(), c.messages);
}

const std::string LONG_PATH = "/" + std::string(299, 'p');

INSTANTIATE_TEST_SUITE_P(
    Files, ReadTextTest,
    ::testing::Values(
        ReadCase{"ExportQuotesLowerCasePolicy",
                 "export CLUSTER_TYPE=nearspan\nPKGDIR=\"/pkg/dir one\"\n"
                 "DT_APPLICATION_STARTUP_POLICY=availability_preferred\n"
                 "WAIT_TIME=0\n",
                 true, "nearspan", "/pkg/dir one", "AVAILABILITY_PREFERRED", 0,
                 {}},
        ReadCase{"BlanksAroundEqualsTabsAndTrailingComment",
                 "CLUSTER_TYPE = \tfarspan\t\nPKGDIR\t=/pkg\n"
                 "DT_APPLICATION_STARTUP_POLICY=\"Data_Currency_Preferred\" \n"
                 "WAIT_TIME=5 # five minutes\n",
                 true, "farspan", "/pkg", "DATA_CURRENCY_PREFERRED", 5, {}},
        ReadCase{"CommentsBlankLinesIndentedNamesUnknownVariables",
                 "# package pkg1\n\n   \n\t# CLUSTER_TYPE=bad\n"
                 "  CLUSTER_TYPE=farspan\nOTHER=1\nexport DC1_HOST_LIST=a b\n"
                 "\tPKGDIR=/pkg\nDT_APPLICATION_STARTUP_POLICY=x\nWAIT_TIME=1",
                 true, "farspan", "/pkg", "X", 1, {}},
        ReadCase{"LeadingPartOfExportIsTheKeywordToo",
                 "ex CLUSTER_TYPE=farspan\nexport\nexport OTHER\n" + GOOD.substr(21),
                 true, "farspan", "/pkg", "AVAILABILITY_PREFERRED", 1, {}},
        ReadCase{"OneCharacterValueKeptAsItIs", "CLUSTER_TYPE=x\n" + GOOD.substr(21),
                 true, "x", "/pkg", "AVAILABILITY_PREFERRED", 1, {}},
        ReadCase{"EmptyValueCountsButIsNotStored",
                 "CLUSTER_TYPE=\n" + GOOD.substr(21), true, "(unset)", "/pkg",
                 "AVAILABILITY_PREFERRED", 1, {}},
        ReadCase{"NegativeWaitTimeIsNotStored", GOOD + "WAIT_TIME=-2\n", false,
                 "farspan", "/pkg", "AVAILABILITY_PREFERRED", 1,
                 {twice("WAIT_TIME")}},
        ReadCase{"NonNumericWaitTime",
                 GOOD.substr(0, GOOD.find("WAIT_TIME")) + "WAIT_TIME=soon\n",
                 true, "farspan", "/pkg", "AVAILABILITY_PREFERRED", -1,
                 {CONVERT_ERROR}},
        ReadCase{"DoubledVariableKeepsTheLaterValue",
                 GOOD + "PKGDIR=/other\nexport PKGDIR=/third\n", false,
                 "farspan", "/third", "AVAILABILITY_PREFERRED", 1,
                 {twice("PKGDIR")}},
        ReadCase{"MissingVariablesInNameOrder", "WAIT=1\nCLUSTER_TYPE=farspan\n",
                 false, "farspan", "(unset)", "", -1,
                 {missing("DT_APPLICATION_STARTUP_POLICY"), missing("PKGDIR"),
                  missing("WAIT_TIME")}},
        ReadCase{"NamesAreCaseSensitive", "cluster_type=farspan\n" + GOOD.substr(21),
                 false, "(unset)", "/pkg", "AVAILABILITY_PREFERRED", 1,
                 {missing("CLUSTER_TYPE")}},
        // A long comment must not turn its tail into an assignment.
        ReadCase{"LongCommentLineIsNotMisread",
                 "#" + std::string(260, 'c') + " WAIT_TIME=7\n" + GOOD, true,
                 "farspan", "/pkg", "AVAILABILITY_PREFERRED", 1, {}},
        ReadCase{"LongValueIsRefusedAndItsTailNotRead",
                 GOOD.substr(0, 21) + "PKGDIR=" + LONG_PATH + " WAIT_TIME=7\n" +
                     GOOD.substr(33),
                 false, "farspan", "(unset)", "AVAILABILITY_PREFERRED", 1,
                 {"Error - The line that sets the variable \"PKGDIR\" is longer "
                  "than 255 characters \n\t\t\t\tin the environment file."}},
        ReadCase{"LineOfExactly255CharactersIsRead",
                 GOOD.substr(0, 21) + "PKGDIR=/" + std::string(247, 'q') + "\n" +
                     GOOD.substr(33),
                 true, "farspan", "/" + std::string(247, 'q'),
                 "AVAILABILITY_PREFERRED", 1, {}}),
    [](const ::testing::TestParamInfo<ReadCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(CoreEnvironmentTest, UnreadableFile) {
  char name[] = "/pkg/pkg1.env";
  EXPECT_FALSE(env().read(name));
  EXPECT_EQ(sys.normalMessages(),
            Messages{"Error - Unable to open the package environment file "
                     "/pkg/pkg1.env. \n\t\t\t\tFile either does not exist or "
                     "does not have read permission."});
}

// The environment file is read only when it is a regular file of at most
// 1 MiB: a FIFO or a device would block or never end.
TEST_F(CoreEnvironmentTest, EnvironmentFileMustBeASmallRegularFile) {
  const std::string path = "/pkg/pkg1.env";
  const std::string cannotRead =
      "Error - Unable to read the package environment file /pkg/pkg1.env. "
      "\n\t\t\t\t";
  // Comment lines that bring GOOD to exactly the limit.
  std::string padded = GOOD;
  while (padded.size() < MAX_ENVIRONMENT_FILE) {
    padded += "#" + std::string(std::min<size_t>(200, MAX_ENVIRONMENT_FILE -
                                                          padded.size() - 1),
                                'x');
    if (padded.size() < MAX_ENVIRONMENT_FILE) padded += "\n";
  }
  ASSERT_EQ(padded.size(), MAX_ENVIRONMENT_FILE);
  struct Case {
    const char* name;
    std::optional<sys::FileKind> kind;  // else a regular file
    std::string contents;
    bool readError;
    std::string message;  // "" when the file is read
  } cases[] = {
      {"fifo", sys::FileKind::FIFO, GOOD, false,
       cannotRead + "It is not a regular file."},
      {"device", sys::FileKind::DEVICE, GOOD, false,
       cannotRead + "It is not a regular file."},
      {"link to a regular file", sys::FileKind::LINK, GOOD, false, ""},
      {"exactly 1 MiB", std::nullopt, padded, false, ""},
      {"one byte more", std::nullopt, padded + "#", false,
       cannotRead + "It is larger than 1 MiB (1048576 bytes)."},
      {"read error", std::nullopt, GOOD, true,
       cannotRead + "An error occurred while reading it."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CoreEnvironment e;
    e.initialize();
    sys.files.kinds.clear();
    sys.files.readErrors.clear();
    sys.console.writes.clear();
    sys.files.contents[path] = c.contents;
    if (c.kind) sys.files.kinds[path] = *c.kind;
    if (c.readError) sys.files.readErrors.insert(path);
    std::string name = path;
    EXPECT_EQ(e.read(&name[0]), c.message.empty());
    EXPECT_EQ(sys.normalMessages(),
              c.message.empty() ? Messages{} : Messages{c.message});
  }
  // A folder in its place.
  sys.files.contents.erase(path);
  sys.files.dirs.insert(path);
  sys.console.writes.clear();
  std::string name = path;
  EXPECT_FALSE(env().read(&name[0]));
  EXPECT_EQ(sys.normalMessages(), Messages{cannotRead + "It is not a regular file."});
}

TEST_F(CoreEnvironmentTest, FileIsReadThroughThePlatform) {
  sys.files.contents["/pkg/pkg1.env"] = GOOD;
  char name[] = "/pkg/pkg1.env";
  EXPECT_TRUE(env().read(name));
  EXPECT_EQ(clusterType(), "farspan");
  EXPECT_TRUE(sys.shell.commandsRan.empty());
}

TEST_F(CoreEnvironmentTest, ValidationOfAGoodFileTurnsMinutesIntoSeconds) {
  sys.files.dirs.insert("/pkg");
  ASSERT_TRUE(env().readText(GOOD.substr(0, GOOD.size() - 2) + "5\n"));
  EXPECT_EQ(env().validate(), 0);
  EXPECT_EQ(env().getWaitTime(), 300);
  EXPECT_TRUE(sys.normalMessages().empty());
}

struct ValidateCase {
  const char* name;
  std::string text;
  Messages messages;
};

std::ostream& operator<<(std::ostream& os, const ValidateCase& c) {
  return os << c.name;
}

class ValidateTest : public CoreEnvironmentTest,
                     public ::testing::WithParamInterface<ValidateCase> {};

TEST_P(ValidateTest, ReportsEveryFault) {
  sys.files.dirs.insert("/pkg");
  env().readText(GetParam().text);
  sys.console.writes.clear();
  int result = env().validate();
  EXPECT_EQ(result, GetParam().messages.empty() ? 0 : 1);
  EXPECT_EQ(sys.normalMessages(), GetParam().messages);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValidateTest,
    ::testing::Values(
        ValidateCase{"ClusterTypeIgnoresCase", "CLUSTER_TYPE=FarSpan\n" + GOOD.substr(21), {}},
        ValidateCase{"ClusterTypeEmpty", "CLUSTER_TYPE=\n" + GOOD.substr(21),
                     {CLUSTER_ERROR}},
        ValidateCase{"ClusterTypeOther", "CLUSTER_TYPE=metro\n" + GOOD.substr(21),
                     {CLUSTER_ERROR}},
        ValidateCase{"PackageDirMissingOnDisk",
                     GOOD.substr(0, 21) + "PKGDIR=/nope\n" + GOOD.substr(33),
                     {"Error - The defined PKGDIR /nope does not exist"}},
        ValidateCase{"PackageDirNotSet", GOOD.substr(0, 21) + GOOD.substr(33),
                     {"Error - The PKGDIR variable has not been set properly."}},
        ValidateCase{"RemoteProtectionIsAccepted",
                     GOOD + "DT_APPLICATION_STARTUP_POLICY=remote_protection_preferred\n",
                     {}},
        ValidateCase{"PolicyUnknown",
                     GOOD + "DT_APPLICATION_STARTUP_POLICY=fast\n", {POLICY_ERROR}},
        ValidateCase{"WaitTimeNeverSet", GOOD.substr(0, GOOD.find("WAIT")),
                     {WAIT_ERROR}},
        ValidateCase{"WaitTimeNotANumber", GOOD.substr(0, GOOD.find("WAIT")) +
                                               "WAIT_TIME=abc\n",
                     {WAIT_ERROR}},
        // Minutes whose seconds do not fit an int are refused, not wrapped.
        ValidateCase{"WaitTimeTooLargeForSeconds",
                     GOOD.substr(0, GOOD.find("WAIT")) + "WAIT_TIME=40000000\n",
                     {WAIT_ERROR}},
        ValidateCase{"AllFaultsAtOnce",
                     "CLUSTER_TYPE=x\nPKGDIR=/nope\n"
                     "DT_APPLICATION_STARTUP_POLICY=x\nWAIT_TIME=-1\n",
                     {CLUSTER_ERROR,
                      "Error - The defined PKGDIR /nope does not exist",
                      POLICY_ERROR, WAIT_ERROR}}),
    [](const ::testing::TestParamInfo<ValidateCase>& info) {
      return std::string(info.param.name);
    });

// Package attributes from the cluster manager instead of a file.
class PackageModeTest : public CoreEnvironmentTest {
 protected:
  const std::string kxgetpkgenv = "/opt/kxcluster/bin/kxgetpkgenv pkg1";
  const std::string expand =
      ". /etc/kxcluster.conf; /bin/echo $KXCONF/pkg1";
  bool read(const char* name = "pkg1") {
    std::string copy = name;
    return env().read(&copy[0]);
  }
};

TEST_F(PackageModeTest, AttributesMappedAndPackageDirExpanded) {
  sys.shell.answer(kxgetpkgenv, 0,
                   {"PACKAGE_NAME=pkg1", "YRZARN_CLUSTER_TYPE=farspan",
                    "YRZARN_DTS_PKG_DIR=$KXCONF/pkg1",
                    "YRZARN_DT_APPLICATION_STARTUP_POLICY=\"data_currency_preferred\"",
                    "YRZARN_WAIT_TIME=3", "DTS_PKG_DIR=/ignored",
                    "YRZARN_DR_GROUP_NAME=dg1", "CLUSTER_TYPE=nearspan"});
  sys.shell.answer(expand, 0, {"/opt/kxcluster/conf/pkg1"});
  EXPECT_TRUE(read());
  EXPECT_EQ(sys.shell.commandsRan, (Messages{kxgetpkgenv, expand}));
  EXPECT_EQ(clusterType(), "farspan");
  EXPECT_EQ(packageDir(), "/opt/kxcluster/conf/pkg1");
  EXPECT_EQ(env().getStartupPolicy(), "DATA_CURRENCY_PREFERRED");
  EXPECT_EQ(env().getWaitTime(), 3);
  EXPECT_TRUE(sys.normalMessages().empty());
}

TEST_F(PackageModeTest, MissingAttributesNamedInCDBTerms) {
  sys.shell.answer(kxgetpkgenv, 0,
                   {"YRZARN_WAIT_TIME=3", "YRZARN_WAIT_TIME=4"});
  EXPECT_FALSE(read());
  EXPECT_EQ(env().getWaitTime(), 4);  // no "defined twice" check here
  EXPECT_EQ(sys.normalMessages(),
            (Messages{
                "Error - Missing package attribute \"CLUSTER_TYPE\" in CDB",
                "Error - Missing package attribute "
                "\"DT_APPLICATION_STARTUP_POLICY\" in CDB",
                "Error - Missing package attribute \"PKGDIR\" in CDB"}));
}

TEST_F(PackageModeTest, PackageDirThatExpandsToNothing) {
  sys.shell.answer(kxgetpkgenv, 0, {"YRZARN_DTS_PKG_DIR=$KXCONF/pkg1"});
  sys.shell.answer(expand, 1, {});
  EXPECT_FALSE(read());
  EXPECT_EQ(sys.normalMessages(),
            Messages{"Error - Invalid Package name: pkg1"});
}

TEST_F(PackageModeTest, ShellThatCannotStart) {
  sys.shell.strict = true;
  EXPECT_FALSE(read());
  EXPECT_EQ(sys.normalMessages(),
            Messages{"Error - Unable to retrieve the configured attributes of "
                     "the package  \n\t\t\t\t pkg1 from CDB \n"});
}

TEST_F(PackageModeTest, ExpansionThatCannotStartIsReportedPlainly) {
  sys.shell.strict = true;
  sys.shell.answer(kxgetpkgenv, 0, {"YRZARN_DTS_PKG_DIR=$KXCONF/pkg1"});
  EXPECT_FALSE(read());
  EXPECT_EQ(sys.console.writes, Messages{"Unable to get package directory \n"});
}

// The package directory is expanded by a shell: a value with anything but
// a path and variable references is refused before that shell runs.
TEST_F(PackageModeTest, PackageDirWithShellSyntaxIsRefused) {
  const std::string refused =
      "Error - The package directory of package pkg1 may hold only letters, "
      "digits,\n\t\t\t\tthe characters _ . - + / and the $, { and } of a "
      "variable reference.";
  const struct {
    const char* value;
    const char* expanded;  // the text echoed; null when refused
  } cases[] = {
      {"${KXCONF}/pkg_1.d-2+x", "${KXCONF}/pkg_1.d-2+x"},
      {"\"$KXCONF/pkg1\"", "$KXCONF/pkg1"},  // the quotes are removed first
      {"$KXCONF/pkg1;reboot", nullptr},
      {"$(id)", nullptr},
      {"`id`", nullptr},
      {"$KXCONF/pkg1 /tmp", nullptr},
      {"$KXCONF/pkg1|cat", nullptr},
      {"${KXCONF:-/x}", nullptr},
      {"'$KXCONF'", nullptr},
      {"/pkg\\1", nullptr},
      {"/pkg>/etc/x", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    sys.shell.commandsRan.clear();
    sys.shell.answers.clear();
    sys.console.writes.clear();
    sys.shell.answer(kxgetpkgenv, 0,
                     {"YRZARN_CLUSTER_TYPE=farspan",
                      std::string("YRZARN_DTS_PKG_DIR=") + c.value,
                      "YRZARN_DT_APPLICATION_STARTUP_POLICY=x",
                      "YRZARN_WAIT_TIME=3"});
    const bool accepted = c.expanded != nullptr;
    const std::string echo =
        std::string(". /etc/kxcluster.conf; /bin/echo ") + (accepted ? c.expanded : "");
    if (accepted) sys.shell.answer(echo, 0, {"/pkg"});
    CoreEnvironment e;
    e.initialize();
    std::string name = "pkg1";
    EXPECT_EQ(e.read(&name[0]), accepted);
    if (accepted) {
      EXPECT_EQ(sys.shell.commandsRan, (Messages{kxgetpkgenv, echo}));
    } else {
      EXPECT_EQ(sys.shell.commandsRan, Messages{kxgetpkgenv});
      EXPECT_EQ(sys.normalMessages(), Messages{refused});
    }
  }
}

// A line the reader would have to cut (of the attributes or of the
// expanded package directory) is refused rather than stored cut short.
TEST_F(PackageModeTest, OverlongLinesAreRefusedNotCut) {
  const std::string longDir = "/" + std::string(1022, 'd');  // 1023 in all
  const struct {
    const char* name;
    Messages attributes;
    std::string expansion;
    bool ok;
    Messages messages;
  } cases[] = {
      {"attribute line of 1023 characters",
       {"YRZARN_CLUSTER_TYPE=farspan" + std::string(1023 - 27, ' '),
        "YRZARN_DTS_PKG_DIR=$KXCONF/pkg1"},
       "/pkg", true, {}},
      {"attribute line of 1024 characters",
       {"YRZARN_CLUSTER_TYPE=farspan" + std::string(1024 - 27, ' '),
        "YRZARN_DTS_PKG_DIR=$KXCONF/pkg1"},
       "/pkg", false,
       {"Error - The line that sets the variable \"CLUSTER_TYPE\" is longer "
        "than 1023 characters \n\t\t\t\tin the attributes of package pkg1."}},
      {"other long lines are not the reader's",
       {"DESCRIPTION=" + std::string(3000, 'x'), "YRZARN_CLUSTER_TYPE=farspan",
        "YRZARN_DTS_PKG_DIR=$KXCONF/pkg1"},
       "/pkg", true, {}},
      {"expansion of 1023 characters",
       {"YRZARN_CLUSTER_TYPE=farspan", "YRZARN_DTS_PKG_DIR=$KXCONF/pkg1"},
       longDir, true, {}},
      {"expansion of 1024 characters",
       {"YRZARN_CLUSTER_TYPE=farspan", "YRZARN_DTS_PKG_DIR=$KXCONF/pkg1"},
       longDir + "d", false,
       {"Error - The package directory of package pkg1 is longer than 1023 "
        "characters \n\t\t\t\tonce expanded."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sys.console.writes.clear();
    Messages attributes = c.attributes;
    attributes.push_back("YRZARN_DT_APPLICATION_STARTUP_POLICY=x");
    attributes.push_back("YRZARN_WAIT_TIME=3");
    sys.shell.answer(kxgetpkgenv, 0, attributes);
    sys.shell.answer(expand, 0, {c.expansion});
    CoreEnvironment e;
    e.initialize();
    std::string name = "pkg1";
    EXPECT_EQ(e.read(&name[0]), c.ok);
    EXPECT_EQ(sys.normalMessages(), c.messages);
    if (c.ok) {
      EXPECT_STREQ(e.getClusterType(), "farspan");
      EXPECT_EQ(std::string(e.getPackageDir()), c.expansion);
    }
  }
}

// A package name goes into a shell command line: refuse anything a
// package name can't hold, before any command runs.
TEST_F(PackageModeTest, UnsafePackageNamesAreRefused) {
  for (const char* name : {"pkg1;reboot", "pkg 1", "$(id)", "-x", "", "p`x`"}) {
    sys.console.writes.clear();
    EXPECT_FALSE(read(name)) << name;
    ASSERT_EQ(sys.normalMessages().size(), 1u) << name;
    EXPECT_EQ(sys.normalMessages()[0].rfind("Error - The package name \"", 0), 0u)
        << name;
  }
  EXPECT_TRUE(sys.shell.commandsRan.empty());
}

TEST_F(PackageModeTest, OverlongPackageNameIsRefused) {
  EXPECT_FALSE(read(std::string(1000, 'p').c_str()));
  EXPECT_TRUE(sys.shell.commandsRan.empty());
  EXPECT_EQ(sys.normalMessages().at(0).rfind("Error - ", 0), 0u);
}

TEST_F(CoreEnvironmentTest, SettersKeepNegativeWaitTimeOutAndUpperCasePolicy) {
  env().setWaitTime(4);
  env().setWaitTime(-3);
  EXPECT_EQ(env().getWaitTime(), 4);
  char policy[] = "Avail-ability 1";
  env().setStartupPolicy(policy);
  EXPECT_EQ(env().getStartupPolicy(), "AVAIL-ABILITY 1");
}

TEST_F(CoreEnvironmentTest, TextSettersCopy) {
  char value[] = "farspan";
  env().setClusterType(value);
  value[0] = 'X';
  EXPECT_STREQ(env().getClusterType(), "farspan");
  env().setClusterType(env().getClusterType());  // from its own copy
  EXPECT_STREQ(env().getClusterType(), "farspan");
  EXPECT_FALSE(env().getSwitch());
}

}  // namespace
