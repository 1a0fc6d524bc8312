// Trusted SMI-S servers on a sandboxed node: smistrust approving, listing
// and removing certificates, and drenable and the tools reaching zarnsim
// over HTTPS with certificates made here: the trusted key connects (also
// under a renewed certificate), another key is refused with both
// fingerprints named, and a host without a trust file works as before.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cim/certificate.h"
#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"

namespace {

const char* const TRUST = "/opt/kxcluster/conf/sfyrzarn/trust";
const char* const PKGDIR = "/opt/kxcluster/pkg/sales";
const char* const ENV_FILE = "/opt/kxcluster/pkg/sales/sales.env";
const char* const PAIRS = "/root/pairs.txt";
const char* const DC1_WWN = "5001-4380-025B-4A80";
const char* const QUESTION = "Trust this certificate? (y/n) ";

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

mode_t modeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Keys and certificates made for the run: key A with its first
// certificate and a renewal (other name, other dates), key B with one
// certificate for the same name as A's first.
class Certificates {
 public:
  Certificates() {
    char name[] = "/tmp/smistrust-certs.XXXXXX";
    dir_ = mkdtemp(name) != nullptr ? name : "";
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    ok_ = !dir_.empty() &&
          openssl("req -x509" + ec + " -keyout " + path("keyA") + " -out " + path("certA") +
                  " -days 30 -subj /CN=smis-dc1") &&
          openssl("req -x509 -new -key " + path("keyA") + " -out " + path("renewedA") +
                  " -days 400 -subj /CN=smis-dc1-renewed") &&
          openssl("req -x509" + ec + " -keyout " + path("keyB") + " -out " + path("certB") +
                  " -days 30 -subj /CN=smis-dc1");
  }
  ~Certificates() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  bool ok() const { return ok_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name + ".pem"; }
  std::string fingerprint(const std::string& name) const {
    cim::Certificate cert;
    return cim::readCertificatePem(slurp(path(name)), &cert) ? cert.fingerprint : "?";
  }
  // zarnsim's arguments for serving HTTPS with this certificate and key.
  std::vector<std::string> https(const std::string& cert, const std::string& key) const {
    return {"--https", "--cert", path(cert), "--key", path(key)};
  }

 private:
  static bool openssl(const std::string& args) {
    return std::system(("openssl " + args + " >/dev/null 2>&1").c_str()) == 0;
  }
  std::string dir_;
  bool ok_ = false;
};

class SmistrustE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    certs_ = new Certificates;
    scenario_ = new std::string(slurp(SCENARIO));
  }
  static void TearDownTestSuite() {
    delete certs_;
    delete scenario_;
  }

  void SetUp() override {
    ASSERT_TRUE(certs_->ok());
    ASSERT_FALSE(scenario_->empty());
    node.writeFile("/etc/hosts", "127.0.0.1\tlocalhost smis-dc1 smis-dc2\n");
  }

  // A simulator of the demo's arrays: "A" serves key A's first
  // certificate, "renewed" its renewal, "B" key B's certificate, "http"
  // plain HTTP.
  std::unique_ptr<support::ZarnSim> sim(const std::string& which) {
    support::SimOptions options;
    if (which == "A") options.args = certs_->https("certA", "keyA");
    if (which == "renewed") options.args = certs_->https("renewedA", "keyA");
    if (which == "B") options.args = certs_->https("certB", "keyB");
    auto s = std::make_unique<support::ZarnSim>(ZARNSIM_BIN, *scenario_, options);
    EXPECT_TRUE(s->ok()) << s->error();
    return s;
  }

  // The map file: smis-dc1 and smis-dc2 over HTTPS on these ports (none
  // for 0), with the devices of the DR group "sales".
  void serverList(int dc1Port, int dc2Port) {
    std::vector<support::SmisEntry> servers;
    for (auto [host, port] : {std::pair<const char*, int>{"smis-dc1", dc1Port},
                              std::pair<const char*, int>{"smis-dc2", dc2Port}}) {
      if (port == 0) continue;
      support::SmisEntry s;
      s.host = host;
      s.port = port;
      s.useSSL = "Y";
      servers.push_back(s);
    }
    const std::string dr = "\\Data Replication\\sales";
    node.writeFile(support::MAP_FILE,
                   support::mapFileText(servers,
                                    {{"50014380025B4A80", dr, "50014380025B4A80\\DRG\\0001",
                                      "6001438002A3C1E00000A00001240000"},
                                     {"50014380025B4C20", dr, "50014380025B4C20\\DRG\\0001",
                                      "6001438002A3C2F00000B00003410000"}}),
                   0600);
  }

  // The package "sales" of node1, its local SMI-S servers in that order.
  void package(const std::string& dc1Smis) {
    support::ArrayVariables vars;
    vars.drGroup = "sales";
    vars.dc1Smis = dc1Smis;
    vars.dc2Smis = "smis-dc1";
    node.makeDir(PKGDIR);
    node.writeFile(ENV_FILE, support::packageEnvText(PKGDIR, "AVAILABILITY_PREFERRED", 0, vars));
  }

  void trust(const std::string& host, const std::string& cert) {
    node.writeFile(std::string(TRUST) + "/" + host + ".pem", slurp(certs_->path(cert)));
  }

  support::RunResult run(const char* program, std::vector<std::string> args,
                     support::RunOptions o = {}) {
    o.args = std::move(args);
    support::RunResult r = node.run(program, o);
    EXPECT_EQ("", r.setupError);
    return r;
  }

  support::RunResult drenable() {
    support::RunOptions o;
    o.env["PACKAGE"] = "sales";
    return run(DRENABLE_BIN, {ENV_FILE, "0", "0", "", ""}, o);
  }

  // drenable's or a tool's refusal of smis-dc1 on that port presenting key
  // B's certificate where key A's is trusted.
  static std::string refusal(int port) {
    return "Cannot connect to smis-dc1:" + std::to_string(port) +
           ": the certificate presented (SHA-256 fingerprint " + certs_->fingerprint("certB") +
           ") does not carry the key of the certificate trusted for smis-dc1 (SHA-256 "
           "fingerprint " + certs_->fingerprint("certA") + ")";
  }

  static Certificates* certs_;
  static std::string* scenario_;
  support::Sandbox node{"node1"};
};

Certificates* SmistrustE2E::certs_ = nullptr;
std::string* SmistrustE2E::scenario_ = nullptr;

TEST_F(SmistrustE2E, ApprovesListsAndRemovesCertificates) {
  auto genuine = sim("A");
  serverList(genuine->port(), 0);

  // The port comes from the server list; the question on the terminal.
  support::RunOptions o;
  o.pty = true;
  o.dialogue = {{QUESTION, "y\n"}};
  support::RunResult r = run(SMISTRUST_BIN, {"-h", "smis-dc1"}, o);
  ASSERT_EQ(0, r.exitCode) << r.describe();
  const std::string port = std::to_string(genuine->port());
  EXPECT_TRUE(contains(r.out, "Certificate of the SMI-S server smis-dc1:" + port + "\n" +
                                  "  Subject:             CN=smis-dc1\n" +
                                  "  Issuer:              CN=smis-dc1\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "  SHA-256 fingerprint: " + certs_->fingerprint("certA") + "\n" +
                                  QUESTION))
      << r.out;
  EXPECT_TRUE(contains(r.out, "The certificate is trusted for smis-dc1 (" +
                                  std::string(TRUST) + "/smis-dc1.pem).\n"));
  const std::string file = std::string(TRUST) + "/smis-dc1.pem";
  cim::Certificate stored;
  ASSERT_TRUE(cim::readCertificatePem(node.readFile(file).value_or(""), &stored));
  EXPECT_EQ(certs_->fingerprint("certA"), stored.fingerprint);
  EXPECT_EQ(0644, modeOf(node.hostPath(file)));
  EXPECT_EQ(0755, modeOf(node.hostPath(TRUST)));

  // Declined: nothing stored. -p names the port of a host the list lacks.
  o.dialogue = {{QUESTION, "n\n"}};
  r = run(SMISTRUST_BIN, {"-h", "smis-dc2", "-p", port}, o);
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ("Error - Not trusted: nothing stored for smis-dc2\n", r.err);
  EXPECT_FALSE(node.readFile(std::string(TRUST) + "/smis-dc2.pem").has_value());

  r = run(SMISTRUST_BIN, {"-l"});
  EXPECT_EQ(0, r.exitCode);
  const std::string line = "smis-dc1 " + certs_->fingerprint("certA") + " " +
                           cim::formatCertificateTime(stored.notAfter);
  EXPECT_EQ(line + "\n", r.out);
  o = {};
  o.fakeTime = "2031-01-01 00:00:00";
  r = run(SMISTRUST_BIN, {"-l"}, o);
  EXPECT_EQ(line + " EXPIRED\n", r.out) << r.describe();

  r = run(SMISTRUST_BIN, {"-r", "smis-dc1"});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_FALSE(node.readFile(file).has_value());
  r = run(SMISTRUST_BIN, {"-l"});
  EXPECT_EQ("", r.out);
  r = run(SMISTRUST_BIN, {"-r", "smis-dc1"});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ("Error - No trusted certificate for smis-dc1\n", r.err);
}

TEST_F(SmistrustE2E, ErrorsAreOneLineAndNoPasswordIsShown) {
  auto plain = sim("http");
  auto genuine = sim("A");
  serverList(plain->port(), genuine->port());
  const std::string http = std::to_string(plain->port());
  struct Case {
    std::vector<std::string> args;
    std::string err;  // its start
  } cases[] = {
      {{"-h", "smis-dc1"}, "Error - No TLS connection to smis-dc1:" + http +
                               " (is it the server's HTTPS port?): "},
      {{"-h", "smis-dc1", "-p", "1"}, "Error - Cannot connect to smis-dc1:1: "},
      {{"-h", "no-such-host.invalid", "-p", "5989"},
       "Error - Cannot connect to no-such-host.invalid:5989: "},
      {{"-h", "../../etc/passwd", "-y"},
       "Error - Not a valid SMI-S server host name: ../../etc/passwd\n"},
      {{"-h", "smis-dc1", "-p", "70000", "-y"}, "Error - Not a valid port: 70000\n"},
  };
  for (const Case& c : cases) {
    support::RunResult r = run(SMISTRUST_BIN, c.args);
    EXPECT_EQ(1, r.exitCode) << c.err;
    EXPECT_EQ(0u, r.err.find(c.err)) << r.err;
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
  }
  EXPECT_EQ(0, modeOf(node.hostPath(TRUST)));  // nothing made

  // -y stores at once; the server list's password is never shown.
  support::RunResult r = run(SMISTRUST_BIN, {"-h", "smis-dc2", "-y"});
  EXPECT_EQ(0, r.exitCode) << r.describe();
  EXPECT_FALSE(contains(r.out, QUESTION));
  EXPECT_FALSE(contains(r.out + r.err + r.terminal, support::SIM_PASSWORD));
  EXPECT_TRUE(node.readFile(std::string(TRUST) + "/smis-dc2.pem").has_value());
}

TEST_F(SmistrustE2E, TrustedKeyConnectsAlsoRenewedOtherKeyIsRefused) {
  trust("smis-dc1", "certA");
  const std::vector<std::string> args = {"sales", DC1_WWN, "smis-dc1"};
  const std::string state = " participationType: source\n";
  {
    auto genuine = sim("A");
    serverList(genuine->port(), 0);
    support::RunResult r = run(ZARNGETDRSTATE_BIN, args);
    EXPECT_EQ(0, r.exitCode) << r.describe();
    EXPECT_TRUE(contains(r.out, state)) << r.describe();
  }
  {
    auto renewed = sim("renewed");
    serverList(renewed->port(), 0);
    support::RunResult r = run(ZARNGETDRSTATE_BIN, args);
    EXPECT_EQ(0, r.exitCode) << r.describe();
    EXPECT_TRUE(contains(r.out, state)) << r.describe();
  }
  auto impostor = sim("B");
  serverList(impostor->port(), 0);
  support::RunResult r = run(ZARNGETDRSTATE_BIN, args);
  EXPECT_NE(0, r.exitCode);
  EXPECT_TRUE(contains(r.out, "Warning - " + refusal(impostor->port()) + "\n")) << r.out;
  EXPECT_FALSE(contains(r.out, state));
  // Nothing reached the impostor, credentials least of all.
  EXPECT_TRUE(impostor->requests().empty());

  // Without a trust file for the host, any certificate is taken, as before.
  node.writeFile(std::string(TRUST) + "/smis-dc2.pem", slurp(certs_->path("certA")));
  EXPECT_EQ(0, std::remove(node.hostPath(std::string(TRUST) + "/smis-dc1.pem").c_str()));
  r = run(ZARNGETDRSTATE_BIN, args);
  EXPECT_EQ(0, r.exitCode) << r.describe();
  EXPECT_TRUE(contains(r.out, state));
}

TEST_F(SmistrustE2E, DrenableMovesPastAnImpostorAndRefusesWhenNoneIsLeft) {
  auto impostor = sim("B");
  auto genuine = sim("A");
  trust("smis-dc1", "certA");
  trust("smis-dc2", "certA");
  serverList(impostor->port(), genuine->port());

  package("smis-dc1 smis-dc2");
  support::RunResult r = drenable();
  EXPECT_EQ(0, r.exitCode) << r.describe();
  std::vector<std::string> m = r.normalMessages();
  ASSERT_GE(m.size(), 4u) << r.describe();
  const std::string https = " using HTTPS connection.\n\t\t\tRandom Number Generator: /dev/random";
  EXPECT_EQ("Connecting to SMI-S server smis-dc1:" + std::to_string(impostor->port()) + https,
            m[1]);
  EXPECT_EQ("Error - Failed to connect to SMI-S smis-dc1. \n\t\t\t\t" + refusal(impostor->port()),
            m[2]);
  EXPECT_EQ("Connecting to SMI-S server smis-dc2:" + std::to_string(genuine->port()) + https,
            m[3]);
  EXPECT_TRUE(impostor->requests().empty());

  // As for any local server that cannot be reached: not on this node.
  package("smis-dc1");
  r = drenable();
  EXPECT_EQ(2, r.exitCode) << r.describe();
  m = r.normalMessages();
  ASSERT_GE(m.size(), 4u) << r.describe();
  EXPECT_EQ("Error - Failed to connect to SMI-S smis-dc1. \n\t\t\t\t" + refusal(impostor->port()),
            m[2]);
  EXPECT_EQ("Error - Failed to get DR group state. \n\t\t\t\tCannot find a local usable SMI-S.",
            m[3]);
  EXPECT_TRUE(impostor->requests().empty());
}

TEST_F(SmistrustE2E, EveryToolWarnsOfAnImpostor) {
  auto impostor = sim("B");
  trust("smis-dc1", "certA");
  serverList(impostor->port(), 0);
  package("smis-dc1");
  node.writeFile(PAIRS, "<storage_pair_info>\n\"5001-4380-025B-4A80\"\n"
                        "\"5001-4380-025B-4C20\"\n<dr_group_info>\n\"sales\"\n");
  struct Case {
    const char* program;
    std::vector<std::string> args;
  } cases[] = {
      {ZARNGETATTRIBUTES_BIN,
       {"6001-4380-02A3-C1E0-0000-A000-0124-0000", "node1", "node2", "node3", "node4"}},
      {ZARNGETVDISKWWN_BIN, {ENV_FILE, "ignored"}},
      {ZARNVALIDATION_BIN, {ENV_FILE, "kxcheckconf"}},
      {ZARNDISCOVERY_BIN, {"-f", PAIRS}},
  };
  for (const Case& c : cases) {
    support::RunResult r = run(c.program, c.args);
    EXPECT_TRUE(contains(r.out + r.err, refusal(impostor->port()))) << r.describe();
  }
  EXPECT_TRUE(impostor->requests().empty());
}

}  // namespace
