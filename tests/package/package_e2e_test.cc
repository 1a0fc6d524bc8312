// The Debian package as an administrator meets it: its control fields and
// contents, its manual pages, and installation, use, upgrade, removal and
// purge with dpkg on a sandboxed node, whose overlays keep dpkg's writes
// (/opt, /usr, /var/lib/dpkg) in the sandbox.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/sandbox.h"

namespace {

struct Output {
  int status = -1;
  std::string text;
};

// Runs a read-only shell command on the machine.
Output shell(const std::string& command) {
  Output out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.text.append(buf, n);
  int status = pclose(pipe);
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

std::vector<std::string> programs() {
  std::istringstream in(DRE_PROGRAMS);
  std::vector<std::string> names;
  for (std::string name; in >> name;) names.push_back(name);
  return names;
}

std::string field(const std::string& name) {
  Output o = shell("dpkg-deb --field '" DEB_FILE "' " + name);
  EXPECT_EQ(o.status, 0) << o.text;
  return o.text;
}

TEST(PackageFile, ControlFieldsAndContents) {
  EXPECT_EQ(field("Package"), "drenabler\n");
  EXPECT_EQ(field("Version"), DRE_VERSION "\n");
  // Computed from the binaries: versioned, and naming what they link.
  std::string depends = field("Depends");
  EXPECT_NE(depends.find("libc6 (>= "), std::string::npos) << depends;
  EXPECT_NE(depends.find("libcurl4 (>= "), std::string::npos) << depends;
  EXPECT_NE(depends.find("libpugixml1v5 (>= "), std::string::npos) << depends;
  EXPECT_EQ(field("Suggests"), "pacemaker, resource-agents\n");
  std::string description = field("Description");
  EXPECT_GT(std::count(description.begin(), description.end(), '\n'), 5)
      << "a summary and a long description: " << description;

  // Only the maintainer scripts that do something.
  Output control = shell("dpkg-deb --ctrl-tarfile '" DEB_FILE "' | tar -t | LC_ALL=C sort");
  EXPECT_EQ(control.text, "./control\n./md5sums\n./postinst\n./postrm\n");

  // Every regular file: the programs, the cluster resource agent, their
  // manual pages, the copyright file, the changelog and lintian's
  // overrides, owned by root; no map file, no simulator, no tests.
  Output files = shell("dpkg-deb --fsys-tarfile '" DEB_FILE "' | tar -tv | "
                       "awk '$1 !~ /^d/ {print $1, $2, $6}' | LC_ALL=C sort -k3");
  std::vector<std::string> expected = {
      "-rw-r--r-- root/root ./usr/share/doc/drenabler/changelog.gz",
      "-rw-r--r-- root/root ./usr/share/doc/drenabler/copyright",
      "-rw-r--r-- root/root ./usr/share/lintian/overrides/drenabler",
  };
  for (const std::string& p : programs()) {
    expected.push_back("-rwxr-xr-x root/root ./opt/kxcluster/bin/" + p);
    expected.push_back("-rw-r--r-- root/root ./usr/share/man/man8/" + p + ".8.gz");
  }
  expected.push_back("-rwxr-xr-x root/root ./usr/lib/ocf/resource.d/drenabler/drgroup");
  expected.push_back("-rw-r--r-- root/root ./usr/share/man/man7/ocf_drenabler_drgroup.7.gz");
  std::sort(expected.begin(), expected.end(),
            [](const std::string& a, const std::string& b) {
              return a.substr(a.rfind(' ')) < b.substr(b.rfind(' '));
            });
  std::string expectedText;
  for (const std::string& line : expected) expectedText += line + "\n";
  EXPECT_EQ(files.text, expectedText);
}

// Checked as a Debian maintainer checks a package: no error, no warning,
// and nothing overridden but the paths under /opt/kxcluster and the two
// spellings of fixed message texts.
TEST(PackageFile, LintianFindsNoErrorOrWarning) {
  ASSERT_EQ(shell("command -v lintian >/dev/null").status, 0)
      << "lintian is missing: scripts/deps installs it";
  // Judged by the lines: with --show-overrides, lintian fails on the
  // overridden errors too.
  Output o = shell("lintian --fail-on none --show-overrides "
                   "--tag-display-limit 0 '" DEB_FILE "' 2>&1");
  EXPECT_EQ(o.status, 0) << o.text;
  const std::vector<std::string> allowedOverrides = {
      "O: drenabler: dir-or-file-in-opt [opt/kxcluster/",
      "O: drenabler: spelling-error-in-binary acess access [opt/kxcluster/bin/",
      "O: drenabler: spelling-error-in-binary nam name [opt/kxcluster/bin/",
  };
  std::istringstream lines(o.text);
  int overridden = 0;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_FALSE(line.rfind("E: ", 0) == 0 || line.rfind("W: ", 0) == 0) << line;
    if (line.rfind("O: ", 0) != 0) continue;
    EXPECT_TRUE(std::any_of(allowedOverrides.begin(), allowedOverrides.end(),
                            [&](const std::string& allowed) {
                              return line.rfind(allowed, 0) == 0;
                            }))
        << "overridden: " << line;
    ++overridden;
  }
  EXPECT_GT(overridden, 0) << "no override seen: " << o.text;
}

// Every ELF file the package installs is one of the programs, hardened
// (PIE, stack protector, fortified libc calls, full RELRO with immediate
// binding) and stripped of its symbols, debug information and compiler
// notes.
TEST(PackageFile, ProgramsAreHardenedAndStripped) {
  ASSERT_EQ(shell("command -v hardening-check >/dev/null").status, 0)
      << "hardening-check is missing: scripts/deps installs devscripts";
  support::TempDir root;
  ASSERT_EQ(shell("dpkg-deb -x '" DEB_FILE "' '" + root.path() + "'").status, 0);

  std::vector<std::string> elves;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root.path())) {
    if (!entry.is_regular_file() || entry.is_symlink()) continue;
    if (support::slurp(entry.path().string()).rfind("\x7f" "ELF", 0) != 0) continue;
    elves.push_back(entry.path().string().substr(root.path().size()));
  }
  std::sort(elves.begin(), elves.end());
  std::vector<std::string> expected;
  for (const std::string& p : programs()) expected.push_back("/opt/kxcluster/bin/" + p);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(elves, expected);

  for (const std::string& elf : elves) {
    const std::string path = root.path() + elf;
    // Control-flow protection is compiled in, but a program is marked as
    // protected only when every object it links is, and Debian 12's C
    // start-up files are not.
    Output hardening = shell("hardening-check --nocfprotection '" + path + "' 2>&1");
    EXPECT_EQ(hardening.status, 0) << hardening.text;
    Output sections = shell("readelf -S -W '" + path + "'");
    ASSERT_EQ(sections.status, 0) << elf;
    for (const char* name : {" .symtab ", " .comment ", " .debug_"})
      EXPECT_EQ(sections.text.find(name), std::string::npos) << elf << " has" << name;
  }
}

TEST(ManPages, RenderWithoutWarningsAndHaveTheSections) {
  std::vector<std::string> pages;
  for (const std::string& p : programs()) pages.push_back(p + ".8");
  pages.push_back("ocf_drenabler_drgroup.7");
  for (const std::string& name : pages) {
    std::string page = std::string(MAN_SOURCE_DIR) + "/" + name;
    Output warnings =
        shell("MANWIDTH=80 man --warnings -l '" + page + "' 2>&1 >/dev/null");
    EXPECT_EQ(warnings.text, "") << page;
    EXPECT_EQ(warnings.status, 0) << page;
    Output sections = shell("grep -c -E '^\\.SH (NAME|SYNOPSIS|DESCRIPTION|"
                            "OPTIONS|\"?EXIT STATUS\"?|ENVIRONMENT|FILES)$' '" +
                            page + "'");
    EXPECT_EQ(sections.text, "7\n") << page;
  }
}

class PackageLifecycle : public ::testing::Test {
 protected:
  support::RunResult run(const std::string& program,
                     std::vector<std::string> args = {}) {
    support::RunOptions o;
    o.args = std::move(args);
    return node.run(program, o);
  }
  support::RunResult dpkg(std::vector<std::string> args) {
    return run("/usr/bin/dpkg", std::move(args));
  }
  // "mode owner:group path" of each path that exists on the node.
  std::string modes(const std::string& paths) {
    return run("/bin/sh", {"-c", "cd / && stat -c '%a %U:%G %n' " + paths +
                                     " 2>/dev/null; true"}).out;
  }
  support::Sandbox node{"node1"};
};

TEST_F(PackageLifecycle, InstallUseUpgradeRemovePurge) {
  auto r = dpkg({"-i", DEB_FILE});
  ASSERT_EQ(r.setupError, "");
  ASSERT_EQ(r.exitCode, 0) << r.describe();

  std::string binaries, expectedModes;
  for (const std::string& p : programs()) {
    binaries += " opt/kxcluster/bin/" + p;
    expectedModes += "755 root:root opt/kxcluster/bin/" + p + "\n";
  }
  EXPECT_EQ(modes(binaries + " opt/kxcluster/conf/sfyrzarn"),
            expectedModes + "700 root:root opt/kxcluster/conf/sfyrzarn\n");
  EXPECT_EQ(modes("usr/lib/ocf/resource.d/drenabler/drgroup"),
            "755 root:root usr/lib/ocf/resource.d/drenabler/drgroup\n");
  EXPECT_EQ(run("/usr/bin/man", {"-w", "7", "ocf_drenabler_drgroup"}).out,
            "/usr/share/man/man7/ocf_drenabler_drgroup.7.gz\n");
  EXPECT_EQ(run("/usr/bin/man", {"-w", "drenable"}).out,
            "/usr/share/man/man8/drenable.8.gz\n");

  r = run("/opt/kxcluster/bin/drenable");
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(r.normalMessages(),
            (std::vector<std::string>{"Error - Incorrect number of arguments",
                                      "Warning - No decision record is written: the package "
                                      "directory is not known."}));
  r = run("/opt/kxcluster/bin/smiscred", {"-l"});
  EXPECT_EQ(r.exitCode, 1) << r.describe();
  EXPECT_EQ(r.err, std::string("Error - ") + support::MAP_FILE +
                       " file does not exist or could not be opened\n");

  support::RunOptions add;
  add.args = {"-h", "wms1", "-n", "root/zarn", "-u", "admin", "-s", "N"};
  add.pty = true;
  add.dialogue = {{"Enter password: ", "secret\n"},
                  {"Re-enter password: ", "secret\n"}};
  r = node.run("/opt/kxcluster/bin/smiscred", add);
  ASSERT_EQ(r.exitCode, 0) << r.describe();
  r = run("/opt/kxcluster/bin/smiscred", {"-l"});
  EXPECT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_NE(r.out.find("wms1:5988                   admin                      N"
                       "       root/zarn\n"),
            std::string::npos)
      << r.out;
  const std::optional<std::string> map = node.readFile(support::MAP_FILE);
  ASSERT_TRUE(map.has_value());
  EXPECT_EQ(modes(std::string(support::MAP_FILE).substr(1)),
            "600 root:root opt/kxcluster/conf/sfyrzarn/yrzarn.map\n");

  // The same package again: an upgrade keeps the map file and its folder.
  r = dpkg({"-i", DEB_FILE});
  ASSERT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(node.readFile(support::MAP_FILE), map);
  EXPECT_EQ(modes("opt/kxcluster/conf/sfyrzarn"),
            "700 root:root opt/kxcluster/conf/sfyrzarn\n");

  // Removal: the programs and pages go, the map file stays.
  r = dpkg({"-r", "drenabler"});
  ASSERT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(modes(binaries + " usr/share/man/man8/drenable.8.gz"
                  " usr/lib/ocf/resource.d/drenabler/drgroup"),
            "");
  EXPECT_EQ(node.readFile(support::MAP_FILE), map);
  EXPECT_EQ(modes("opt/kxcluster/conf/sfyrzarn"),
            "700 root:root opt/kxcluster/conf/sfyrzarn\n");

  // Purge: the map file and its folder go too.
  r = dpkg({"-P", "drenabler"});
  ASSERT_EQ(r.exitCode, 0) << r.describe();
  EXPECT_EQ(modes("opt/kxcluster/conf/sfyrzarn opt/kxcluster/conf opt/kxcluster"), "");
  EXPECT_EQ(run("/usr/bin/dpkg-query", {"-W", "drenabler"}).exitCode, 1);
}

}  // namespace
