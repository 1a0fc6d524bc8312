// drenable as the package control script runs it, on a sandboxed node.
// drenable itself is linked with the array interface of this build;
// drenable_scripted is the same program over an array whose answers the
// test writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/sandbox.h"

namespace {

using Messages = std::vector<std::string>;

const char* const PKGDIR = "/opt/kxcluster/pkg1";
const char* const ENV_FILE = "/opt/kxcluster/pkg1/pkg1.env";
const char* const SCRIPT = "/opt/kxcluster/pkg1/array.script";
const char* const ARRAY_CALLS = "/opt/kxcluster/pkg1/array.calls";

std::string envText(const std::string& clusterType, const std::string& policy,
                    const std::string& waitTime) {
  return "# package pkg1\nexport CLUSTER_TYPE=" + clusterType +
         "\nPKGDIR=\"/opt/kxcluster/pkg1\"\n"
         "DT_APPLICATION_STARTUP_POLICY=" + policy + "\nWAIT_TIME=" + waitTime +
         "   # minutes\nDR_GROUP_NAME=dg01\n";
}

class DrenableE2E : public ::testing::Test {
 protected:
  DrenableE2E() : node("node1") {
    node.installClusterDoubles();
    node.makeDir(PKGDIR);
  }

  support::RunResult drenable(std::vector<std::string> args,
                          const char* program = DRENABLE_BIN) {
    support::RunOptions o;
    o.args = std::move(args);
    o.env["PACKAGE"] = "pkg1";
    o.env["DRE_SAI_SCRIPT"] = SCRIPT;
    o.env["DRE_SAI_CALLS"] = ARRAY_CALLS;
    support::RunResult r = node.run(program, o);
    EXPECT_EQ(r.setupError, "");
    return r;
  }
  support::RunResult scripted(std::vector<std::string> args,
                          const std::string& script) {
    node.writeFile(SCRIPT, script);
    return drenable(std::move(args), DRENABLE_SCRIPTED_BIN);
  }
  Messages arrayCalls() {
    std::string text = node.readFile(ARRAY_CALLS).value_or("");
    Messages lines;
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }

  support::Sandbox node;
};

TEST_F(DrenableE2E, WrongArgumentCountsDoNothingElse) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  for (const Case& c : std::vector<Case>{
           {{}, "Error - Incorrect number of arguments"},
           {{ENV_FILE, "0", "0", "vg01"}, "Error - Incorrect number of arguments"},
           {{ENV_FILE, "0", "0", "0", "", ""}, "Error - Incorrect number of arguments"},
           {{"-preview"}, "Error - Incorrect number of arguments for preview mode"},
           {{"-preview", ENV_FILE, "x"},
            "Error - Incorrect number of arguments for preview mode"}}) {
    support::RunResult r = drenable(c.args);
    EXPECT_EQ(r.exitCode, 1) << r.describe();
    // No package directory was learnt: no decision record, and the log says so.
    EXPECT_EQ(r.normalMessages(),
              (Messages{c.message, "Warning - No decision record is written: the package "
                                   "directory is not known."}))
        << r.describe();
    EXPECT_TRUE(r.sysLog.empty()) << r.describe();
    EXPECT_TRUE(r.calls.empty());
  }
}

TEST_F(DrenableE2E, EnvironmentThatFailsValidation) {
  node.writeFile(ENV_FILE, envText("farspan", "fastest", "-3"));
  support::RunResult r = drenable({ENV_FILE, "1", "0", "0", "vg01", "", ""});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(r.normalMessages(),
            (Messages{
                "Entering Data Replication Enabler",
                "Error - The DT_APPLICATION_STARTUP_POLICY has not been set "
                "properly.\n\t\t\t\tThe value needs to be set to "
                "\"Availability_Preferred\" or \n\t\t\t\t"
                "\"Data_Currency_Preferred\".",
                "Error - The WAIT_TIME variable has not been set "
                "properly.\n\t\t\t\t The value needs to be set equal or great "
                "than 0.",
                "Error - One or more environment variables have not been "
                "set\n\t\t\t\t properly.",
                "Error - Data Replication Enabler Initialization\t\tfailed",
                "Leaving Data Replication Enabler"}))
      << r.describe();
  ASSERT_EQ(r.sysLog.size(), 1u) << r.describe();
  EXPECT_EQ(r.sysLog[0].message,
            "Unable to start up package pkg1. See the package log file "
            "\t\t\t\tfor more information.");
  EXPECT_EQ(r.sysLog[0].ident, "drenable");
  EXPECT_EQ(r.sysLog[0].priority % 8, 3);  // LOG_ERR
  EXPECT_TRUE(r.calls.empty());
}

// An array interface that cannot be made ready (here: no array variables,
// no SMI-S server) refuses the start cleanly rather than deciding anything.
TEST_F(DrenableE2E, ArrayInterfaceThatCannotInitialiseRefusesTheStart) {
  node.writeFile(ENV_FILE, envText("nearspan", "Availability_Preferred", "5"));
  support::RunResult r = drenable({"-preview", ENV_FILE});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  Messages m = r.normalMessages();
  ASSERT_GE(m.size(), 3u) << r.describe();
  EXPECT_EQ(m[m.size() - 3].rfind("Error - ", 0), 0u) << r.describe();
  EXPECT_EQ(m[m.size() - 2],
            "Error - Data Replication Enabler Initialization\t\tfailed");
  EXPECT_EQ(r.sysLog.size(), 1u);
}

TEST_F(DrenableE2E, FarspanFailoverPreparesTheGroups) {
  node.writeFile(ENV_FILE, envText("farspan", "data_currency_preferred", "5"));
  node.answer("vxdctl", "-c mode", 0,
              "mode: enabled: cluster active - SLAVE\nmaster: node2\n");
  node.answer("vxdg", "list", 0,
              "NAME STATE ID\ncdg01 enabled,shared,cds 1.node2\n");
  support::RunResult r = scripted(
      {ENV_FILE, "1", "1", "1", "vg01 vg02", "dg01", "cdg01 cdg02"},
      "role=TARGET\nlink=UP\ncurrency=NO\nrep=SYNCED\nwriteMode=SYNCHRONOUS\n"
      "failoverSwap=0\n");
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  EXPECT_EQ(arrayCalls(),
            (Messages{std::string("initialize ") + ENV_FILE, "getState",
                      "failoverSwap 300"}));
  EXPECT_EQ(r.calls,
            (Messages{"vgchange -c n vg01", "vgchange -c y vg01",
                      "vgchange -c n vg02", "vgchange -c y vg02",
                      "vxdg -tfC import dg01", "vxdctl -c mode", "vxdg list",
                      "vxdg list", "kxexec node2 /usr/sbin/vxdg -s -tfC import cdg02"}))
      << r.describe();
  Messages m = r.normalMessages();
  EXPECT_NE(std::find(m.begin(), m.end(),
                      "CVM disk group cdg01 is already imported. Skipping "
                      "import."),
            m.end())
      << r.describe();
  EXPECT_EQ(m.back(), "Leaving Data Replication Enabler");
  EXPECT_TRUE(r.sysLog.empty()) << r.describe();
}

TEST_F(DrenableE2E, FailedVolumeGroupStepRefusesTheStart) {
  node.writeFile(ENV_FILE, envText("FARSPAN", "Availability_Preferred", "0"));
  node.answer("vgchange", "-c y vg01", 5, "vgchange: cluster ID not written\n");
  support::RunResult r = scripted({ENV_FILE, "1", "1", "vg01", "dg01"},
                              "role=TARGET\nlink=DOWN\ncurrency=NO\n"
                              "rep=TARGET_OUT_DATED\nfailoverSwap=3\n");
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(r.calls, (Messages{"vgchange -c n vg01", "vgchange -c y vg01"}));
  EXPECT_EQ(r.sysLogMessages(),
            Messages{"Unable to start up package pkg1. See the package's"
                     "\t\t\t\tlog file located in the \"/opt/kxcluster/pkg1\" "
                     "directory for more information."});
}

TEST_F(DrenableE2E, ForceFlagIsUsedOnceAndRemoved) {
  node.writeFile(ENV_FILE,
                 envText("nearspan", "Remote_Protection_Preferred", "2"));
  node.writeFile(std::string(PKGDIR) + "/FORCEFLAG", "");
  const std::string script =
      "role=TARGET\nlink=DOWN\ncurrency=NO\nrep=SYNCED\nfailoverSwap=0\n";
  support::RunResult r = scripted({ENV_FILE, "0", "0", "", ""}, script);
  EXPECT_EQ(r.exitCode, 3) << r.describe();
  EXPECT_FALSE(node.readFile(std::string(PKGDIR) + "/FORCEFLAG"));
  support::RunResult again = scripted({ENV_FILE, "0", "0", "", ""}, script);
  EXPECT_EQ(again.exitCode, 1) << again.describe();
}

// A package name instead of a file: the attributes come from the cluster
// manager and the package directory is expanded with its settings.
TEST_F(DrenableE2E, PackageNameReadsTheClusterManagersAttributes) {
  node.writeFile("/etc/kxcluster.conf", "KXPKGS=/opt/kxcluster\n");
  node.answer("kxgetpkgenv", "pkg1", 0,
              "PACKAGE_NAME=pkg1\nYRZARN_CLUSTER_TYPE=nearspan\n"
              "YRZARN_DTS_PKG_DIR=$KXPKGS/pkg1\n"
              "YRZARN_DT_APPLICATION_STARTUP_POLICY=AVAILABILITY_PREFERRED\n"
              "YRZARN_WAIT_TIME=1\n");
  support::RunResult r = scripted({"-preview", "pkg1"},
                              "role=SOURCE\nlink=UP\ncurrency=NO\nrep=SYNCED\n");
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(r.calls, Messages{"kxgetpkgenv pkg1"});
  EXPECT_EQ(arrayCalls(), (Messages{"initialize pkg1", "getState"}));
}

TEST_F(DrenableE2E, PackageNameThatCouldInjectACommandIsRefused) {
  support::RunResult r = scripted({"-preview", "pkg1;touch /etc/owned"}, "");
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_TRUE(r.calls.empty());
  EXPECT_FALSE(node.readFile("/etc/owned"));
  EXPECT_TRUE(arrayCalls().empty());
}

}  // namespace
