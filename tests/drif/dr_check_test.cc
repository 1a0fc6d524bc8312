#include "drif/dr_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace {

using Messages = std::vector<std::string>;

class TestEnvironment : public Environment {
 public:
  bool read(char*) override { return true; }
};

// A module whose answers the test sets.
class FakeDataRep : public DataRep {
 public:
  bool initialize(char* name) override {
    initialized.push_back(name != nullptr ? name : "(null)");
    return initResult;
  }
  int prepStorage() override {
    if (switches) env.setSwitch(true);
    return prepResult;
  }
  Environment* getEnvironment() override { return hasEnv ? &env : nullptr; }

  TestEnvironment env;
  Messages initialized;
  bool initResult = true;
  bool hasEnv = true;
  int prepResult = SUCCESS;
  bool switches = false;
};

const char* const INIT_FAILED =
    "Error - Data Replication Enabler Initialization\t\tfailed";
const char* const SYSLOG_NO_ENV =
    "Unable to start up package pkg1. See the package log file \t\t\t\tfor "
    "more information.";
const char* const SYSLOG_WITH_DIR =
    "Unable to start up package pkg1. See the package's\t\t\t\tlog file "
    "located in the \"/pkg\" directory for more information.";

class DRCheckTest : public ::testing::Test {
 protected:
  DRCheckTest() {
    dataRep.env.setClusterType("farspan");
    dataRep.env.setPackageDir("/pkg");
  }
  ~DRCheckTest() override { preview = false; }

  // The new form; the strings are copied because the lists are split in
  // place.
  int run(std::string lvm, std::string vxvm, std::string cvm,
          std::string lvmVG = "", std::string vxvmVG = "",
          std::string cvmVG = "") {
    args_ = {"/pkg/pkg1.env", lvm, vxvm, cvm, lvmVG, vxvmVG, cvmVG};
    DRCheck check(&dataRep, &args_[0][0], &args_[1][0], &args_[2][0],
                  &args_[3][0], &args_[4][0], &args_[5][0], &args_[6][0]);
    return check.run();
  }
  int runFarspanSwitched(std::string lvm, std::string vxvm, std::string cvm,
                         std::string lvmVG = "", std::string vxvmVG = "",
                         std::string cvmVG = "") {
    dataRep.switches = true;
    return run(lvm, vxvm, cvm, lvmVG, vxvmVG, cvmVG);
  }
  // The commands as the shell got them (the text after "Executing:").
  Messages ran() const { return sys.shell.commandsRan; }
  bool logged(const std::string& message) const {
    Messages all = sys.messages();
    return std::find(all.begin(), all.end(), message) != all.end();
  }

  fake::ScopedPlatform sys;

 private:
  fake::ScopedEnv debug_{"DATAREP_DEBUG", std::string("")};
  fake::ScopedEnv package_{"PACKAGE", std::string("pkg1")};
  fake::ScopedLogger logger_;  // before the module, which fetches it
  std::vector<std::string> args_;

 protected:
  FakeDataRep dataRep;
};

TEST(ConvertReturnTest, ExitCodeOrSignalStatus) {
  EXPECT_EQ(convertReturn(0), 0);
  EXPECT_EQ(convertReturn(1 << 8), 1);
  EXPECT_EQ(convertReturn(127 << 8), 127);
  EXPECT_EQ(convertReturn(9), 9);        // killed by SIGKILL
  EXPECT_EQ(convertReturn(0x8b), 0x8b);  // SIGSEGV with a core dump
  EXPECT_EQ(convertReturn(-1), -1);
}

// Bad volume-manager arguments: each is reported, the module is never
// initialised and the run ends with 1 and the system-log line.
struct ArgumentCase {
  const char* name;
  std::vector<std::string> args;  // lvm, vxvm, cvm, lvmVG, vxvmVG, cvmVG
  Messages reported;              // besides the initialisation failure
};

std::ostream& operator<<(std::ostream& os, const ArgumentCase& c) {
  return os << c.name;
}

class ArgumentTest : public DRCheckTest,
                     public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(ArgumentTest, RefusedBeforeTheModuleIsInitialised) {
  const auto& a = GetParam().args;
  EXPECT_EQ(run(a[0], a[1], a[2], a[3], a[4], a[5]), NO_START);
  EXPECT_TRUE(dataRep.initialized.empty());
  for (const std::string& m : GetParam().reported)
    EXPECT_TRUE(logged(m)) << m;
  EXPECT_EQ(sys.normalMessages().back(), INIT_FAILED);
  EXPECT_EQ(sys.sysLogTexts(), Messages{SYSLOG_NO_ENV});
  EXPECT_TRUE(ran().empty());
}

const std::string BAD_NAME_TAIL =
    "\" is not valid. A name holds only\n\t\t\t\tletters, digits and the "
    "characters _ . - + / and does not begin with -.";

INSTANTIATE_TEST_SUITE_P(
    Checks, ArgumentTest,
    ::testing::Values(
        ArgumentCase{"LvmUsedThree", {"3", "0", "0", "vg1", "", ""},
                     {"DEBUG Error - DRCheckDiskSTatus did not pass in a "
                      "correct value for lvmisused"}},
        ArgumentCase{"LvmListEmpty", {"1", "0", "0", " \t", "", ""},
                     {"Error - Expecting a list of LVM Volume Groups"}},
        ArgumentCase{"VxvmUsedTwo", {"0", "2", "0", "", "dg1", ""},
                     {"DEBUG Error - DRCheckDiskStatus did not pass in a "
                      "correct value for vxvmisused"}},
        ArgumentCase{"VxvmListEmpty", {"0", "1", "0", "", "", ""},
                     {"Error - Expecting a list of VxVM Disk Groups"}},
        ArgumentCase{"CvmUsedNegative", {"0", "0", "-1", "", "", "dg1"},
                     {"DEBUG Error - DRCheckDiskStatus did not pass in a "
                      "correct value for cvmisused"}},
        ArgumentCase{"CvmListEmpty", {"0", "0", "1", "", "", ""},
                     {"Error - Expecting a list of CVM Disk Groups"}},
        ArgumentCase{"EveryFaultReported", {"2", "1", "7", "", "", ""},
                     {"Error - Expecting a list of LVM Volume Groups",
                      "Error - Expecting a list of VxVM Disk Groups",
                      "DEBUG Error - DRCheckDiskStatus did not pass in a "
                      "correct value for cvmisused"}},
        // Names go into shell command lines: nothing but names passes.
        ArgumentCase{"ShellInLvmName", {"1", "0", "0", "vg1 vg2;reboot", "", ""},
                     {"Error - The LVM volume group name \"vg2;reboot" +
                      BAD_NAME_TAIL}},
        ArgumentCase{"OptionAsVxvmName", {"0", "1", "0", "", "-C", ""},
                     {"Error - The VxVM disk group name \"-C" + BAD_NAME_TAIL}},
        ArgumentCase{"SubstitutionInCvmName", {"0", "0", "1", "", "", "$(id)"},
                     {"Error - The CVM disk group name \"$(id)" + BAD_NAME_TAIL}},
        ArgumentCase{"QuoteInCvmName", {"0", "0", "1", "", "", "dg\"x"},
                     {"Error - The CVM disk group name \"dg\"x" + BAD_NAME_TAIL}}),
    [](const ::testing::TestParamInfo<ArgumentCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(DRCheckTest, NamesOfListsNotInUseAreNotChecked) {
  EXPECT_EQ(run("0", "0", "0", "a;b", "`x`", "$(y)"), SUCCESS);
  EXPECT_EQ(dataRep.initialized, Messages{"/pkg/pkg1.env"});
}

// A command that would not fit its buffer is never run cut short; the
// names are checked before the storage is touched.
TEST_F(DRCheckTest, NameTooLongForItsCommandIsRefusedUpFront) {
  std::string longName(1010, 'v');
  EXPECT_EQ(run("1", "0", "0", longName), NO_START);
  EXPECT_TRUE(dataRep.initialized.empty());
  EXPECT_TRUE(ran().empty());
  EXPECT_TRUE(logged("Error - The command \"Executing: vgchange -c n " +
                     std::string(55, 'v') +
                     "...\" is longer than 1023 characters. It is not run."));
}

TEST_F(DRCheckTest, AtoiConversionOfTheFlags) {
  EXPECT_EQ(run("one", "0x1", " 1", "", "", "dg1"), SUCCESS);  // 0, 0, 1
  EXPECT_EQ(dataRep.initialized.size(), 1u);
  EXPECT_TRUE(logged(
      "DEBUG Environment file name: /pkg/pkg1.env\n\t\t\t\t  lvmUsed: "
      "0\n\t\t\t\t  vxvmUsed: 0\n\t\t\t\t  cvmUsed: 1\n\t\t\t\t  lvmVG: "
      "\n\t\t\t\t  vxvmVG: \n\t\t\t\t  cvmVG: dg1"));
}

TEST_F(DRCheckTest, ModuleThatFailsToInitialise) {
  dataRep.initResult = false;
  EXPECT_EQ(run("0", "0", "0"), NO_START);
  EXPECT_TRUE(logged("DEBUG Error - Failed initialization of the data "
                     "replication module"));
  EXPECT_EQ(sys.sysLogTexts(), Messages{SYSLOG_NO_ENV});
}

TEST_F(DRCheckTest, ModuleWithoutEnvironment) {
  dataRep.hasEnv = false;
  EXPECT_EQ(run("0", "0", "0"), NO_START);
  const std::string text = "Error - Unable to read from the\t\t\tenvironment file";
  EXPECT_EQ(sys.normalMessages().back(), text);
  EXPECT_EQ(sys.sysLogTexts(), (Messages{text, SYSLOG_NO_ENV}));
}

TEST_F(DRCheckTest, UnexpectedResultOfTheModule) {
  dataRep.prepResult = 3;
  EXPECT_EQ(run("0", "0", "0"), NO_START);
  EXPECT_TRUE(logged("DEBUG prepStorage method from DRCM return invalid "
                     "return\t\t\t\t\tvalue: 3"));
  EXPECT_EQ(sys.normalMessages().back(),
            "Error - Unexpected value returned by data\t\t\t\t\treplication "
            "control module\n\tDisallowing package to startup on "
            "any\t\t\t\t\tnode in the cluster");
  EXPECT_EQ(sys.sysLogTexts(), Messages{SYSLOG_WITH_DIR});
}

TEST_F(DRCheckTest, NotOnThisNodeNamesThePackageDirectory) {
  dataRep.prepResult = NO_START_CUR;
  EXPECT_EQ(run("0", "0", "0"), NO_START_CUR);
  EXPECT_EQ(sys.sysLogTexts(), Messages{SYSLOG_WITH_DIR});
}

TEST_F(DRCheckTest, PackageNameUnknownToTheSystemLogLine) {
  fake::ScopedEnv noPackage("PACKAGE", std::nullopt);
  dataRep.prepResult = NO_START;
  run("0", "0", "0");
  EXPECT_EQ(sys.sysLogTexts(),
            Messages{"Unable to start up package (name not known). See the "
                     "package's\t\t\t\tlog file located in the \"/pkg\" "
                     "directory for more information."});
}

TEST_F(DRCheckTest, PreviewNeverPreparesGroups) {
  preview = true;
  char name[] = "/pkg/pkg1.env";
  dataRep.switches = true;
  DRCheck check(&dataRep, name);
  EXPECT_EQ(check.run(), SUCCESS);
  EXPECT_TRUE(ran().empty());
  EXPECT_TRUE(sys.sysLogTexts().empty());
}

TEST_F(DRCheckTest, NearspanSwitchedIsThreeWithoutCommands) {
  dataRep.env.setClusterType("NearSpan");
  EXPECT_EQ(runFarspanSwitched("1", "1", "1", "vg1", "dg1", "cdg1"),
            SWITCH_TRUE);
  EXPECT_TRUE(ran().empty());
  EXPECT_TRUE(logged("DEBUG Info - Storage has been switched from" +
                     std::string(35, ' ') +
                     "read-only to read-write. Set the return value to 3"));
}

TEST_F(DRCheckTest, NotSwitchedMeansNothingToPrepare) {
  EXPECT_EQ(run("1", "1", "0", "vg1", "dg1"), SUCCESS);
  EXPECT_TRUE(ran().empty());
}

TEST_F(DRCheckTest, FarspanInCapitalsPreparesEveryGroupInOrder) {
  dataRep.env.setClusterType("FARSPAN");
  sys.shell.answer(" /usr/sbin/vxdctl -c mode | awk '$1 == \"master:\" "
                   "{print $2}' 2>&1",
                   0, {"node2"});
  sys.shell.answer(" /usr/sbin/vxdg list | awk '($1 ==\"cdg1\") { print "
                   "\"Imported\" }' 2>&1",
                   0, {"Imported"});
  EXPECT_EQ(runFarspanSwitched("1", "1", "1", "vg1\tvg2", "dg1\ndg2",
                               "cdg1 cdg2"),
            SWITCH_TRUE);
  Messages commands = {
      " vgchange -c n vg1 2>&1",
      " vgchange -c y vg1 2>&1",
      " vgchange -c n vg2 2>&1",
      " vgchange -c y vg2 2>&1",
      " vxdg -tfC import dg1 2>&1",
      " vxdg -tfC import dg2 2>&1",
      " /usr/sbin/vxdctl -c mode | awk '$1 == \"master:\" {print $2}' 2>&1",
      " /usr/sbin/vxdg list | awk '($1 ==\"cdg1\") { print \"Imported\" }' "
      "2>&1",
      " /usr/sbin/vxdg list | awk '($1 ==\"cdg2\") { print \"Imported\" }' "
      "2>&1",
      " /usr/sbin/kxexec node2 /usr/sbin/vxdg -s -tfC import cdg2 2>&1"};
  EXPECT_EQ(ran(), commands);
  Messages normal = sys.normalMessages();
  Messages expected = {
      "Changing the cluster IDs for the LVM volume groups",
      "Executing: vgchange -c n vg1 2>&1",
      "Executing: vgchange -c y vg1 2>&1",
      "Executing: vgchange -c n vg2 2>&1",
      "Executing: vgchange -c y vg2 2>&1",
      "Performing a force import to clear the hostid on the VxVM disk groups",
      "Executing: vxdg -tfC import dg1 2>&1",
      "Executing: vxdg -tfC import dg2 2>&1",
      "Performing a force import to clear the clusterid on the CVM disk "
      "groups",
      "Executing:" + commands[6],
      "Executing:" + commands[7],
      "CVM disk group cdg1 is already imported. Skipping import.",
      "Executing:" + commands[8],
      "Executing:" + commands[9]};
  EXPECT_EQ(normal, expected);
  EXPECT_TRUE(logged("DEBUG node2"));  // a command's first output line
  EXPECT_TRUE(sys.sysLogTexts().empty());
}

TEST_F(DRCheckTest, LvmWithSharedVariantCommands) {
  EXPECT_EQ(runFarspanSwitched("2", "0", "0", "vg1"), SWITCH_TRUE);
  EXPECT_EQ(ran(), (Messages{" vgchange -c n -S n vg1 2>&1",
                             " vgchange -c y -S y vg1 2>&1"}));
}

std::string lvmError(const std::string& verb, const std::string& vg,
                     const std::string& list, const std::string& clear,
                     const std::string& write) {
  return "Error - Unable to " + verb +
         " the cluster ID for volume group\n\t\t\t\t" + vg +
         ". Before doing any start operations on the package,\n\t\t\t\tyou "
         "must manually clear the cluster ID and write a\n\t\t\t\tnew cluster "
         "ID to the following LVM volume groups:\n\t\t\t\t" +
         list +
         ".\n\t\t\t\tFirst clear the cluster ID, perform the "
         "following\n\t\t\t\tcommand \"" +
         clear +
         "\" on each volume group. Next\n\t\t\t\twrite the cluster ID, "
         "perform the following command\n\t\t\t\t\"" +
         write +
         "\" on each volume group. Otherwise,\n\t\t\t\tvolume group "
         "activation will fail. Exiting.";
}

TEST_F(DRCheckTest, FailedClearStopsEverything) {
  sys.shell.answer(" vgchange -c n vg2 2>&1", 5, {"vgchange: no such group"});
  EXPECT_EQ(runFarspanSwitched("1", "1", "0", "vg1 vg2 vg3", "dg1"), NO_START);
  EXPECT_EQ(ran(), (Messages{" vgchange -c n vg1 2>&1", " vgchange -c y vg1 2>&1",
                             " vgchange -c n vg2 2>&1"}));
  EXPECT_EQ(sys.normalMessages().back(),
            lvmError("clear", "vg2", "vg1 vg2 vg3", "vgchange -c n",
                     "vgchange -c y"));
  EXPECT_EQ(sys.sysLogTexts(), Messages{SYSLOG_WITH_DIR});
}

TEST_F(DRCheckTest, FailedWriteNamesWrite) {
  sys.shell.answer(" vgchange -c y -S y vg1 2>&1", 1);
  EXPECT_EQ(runFarspanSwitched("2", "0", "0", "vg1"), NO_START);
  EXPECT_EQ(sys.normalMessages().back(),
            lvmError("write", "vg1", "vg1", "vgchange -c n -S n",
                     "vgchange -c y -S y"));
}

TEST_F(DRCheckTest, CommandKilledBySignalIsAFailure) {
  sys::CommandResult killed;
  killed.started = true;
  killed.status = 9;
  sys.shell.answerRaw(" vxdg -tfC import dg1 2>&1", killed);
  EXPECT_EQ(runFarspanSwitched("0", "1", "1", "", "dg1", "cdg1"), NO_START);
  EXPECT_EQ(sys.normalMessages().back(),
            "Failed to force import VxVM disk group: dg1. Exiting.");
  EXPECT_EQ(ran().size(), 1u);  // CVM not attempted
}

TEST_F(DRCheckTest, CvmMasterNotFound) {
  const std::string master =
      " /usr/sbin/vxdctl -c mode | awk '$1 == \"master:\" {print $2}' 2>&1";
  EXPECT_EQ(runFarspanSwitched("0", "0", "1", "", "", "cdg1"), NO_START);
  EXPECT_EQ(sys.normalMessages().back(), "Error: Failed to find CVM master node.");

  sys.console.writes.clear();
  sys.shell.answer(master, 1, {"node2"});
  EXPECT_EQ(runFarspanSwitched("0", "0", "1", "", "", "cdg1"), NO_START);
  EXPECT_EQ(sys.normalMessages().back(), "Error: Failed to find CVM master node.");

  // The master's name goes into a command line too.
  sys.console.writes.clear();
  sys.shell.answer(master, 0, {"node2;reboot"});
  EXPECT_EQ(runFarspanSwitched("0", "0", "1", "", "", "cdg1"), NO_START);
  EXPECT_EQ(sys.normalMessages().back(),
            "Error - The CVM master node name \"node2;reboot\" is not a valid "
            "host name.");
  EXPECT_EQ(ran().size(), 3u);
}

TEST_F(DRCheckTest, CvmStatusAndImportFailures) {
  const std::string list =
      " /usr/sbin/vxdg list | awk '($1 ==\"cdg1\") { print \"Imported\" }' 2>&1";
  sys.shell.answer(
      " /usr/sbin/vxdctl -c mode | awk '$1 == \"master:\" {print $2}' 2>&1", 0,
      {"node2"});
  sys.shell.answer(list, 2);
  EXPECT_EQ(runFarspanSwitched("0", "0", "1", "", "", "cdg1"), NO_START);
  EXPECT_EQ(sys.normalMessages().back(),
            "Failed to check import status of a CVM disk group");

  sys.console.writes.clear();
  sys.shell.answer(list, 0, {"something else"});
  sys.shell.answer(" /usr/sbin/kxexec node2 /usr/sbin/vxdg -s -tfC import cdg1 2>&1", 1);
  EXPECT_EQ(runFarspanSwitched("0", "0", "1", "", "", "cdg1"), NO_START);
  EXPECT_EQ(sys.normalMessages().back(),
            "Failed to force import CVM disk group: cdg1. Exiting.");
}

TEST_F(DRCheckTest, PreviewConstructorTrace) {
  char name[] = "pkg1";
  sys.console.writes.clear();
  DRCheck check(&dataRep, name);
  EXPECT_EQ(sys.messages(),
            (Messages{"DEBUG Inside the DRCheck constructor",
                      "DEBUG Arguments passed into the DRCheck object:",
                      "DEBUG Environment file name: pkg1",
                      "DEBUG Exiting DRCheck constructor"}));
}

}  // namespace
