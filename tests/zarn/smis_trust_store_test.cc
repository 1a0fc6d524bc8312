// The trust folder of the SMI-S servers: which host names may name a trust
// file, and saving, loading, listing and removing them in a real folder.
#include "zarn/smis/smis_trust_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/certificates.h"
#include "tests/support/map_store.h"

namespace {

// Any certificate will do: the store keeps the text as it is.
const char* const PEM = support::KEY_A;

TEST(SMISTrustStoreTest, HostNamesThatMayNameATrustFile) {
  struct Case {
    std::string host;
    std::string fileHost;  // "" when refused
  } cases[] = {
      {"smis1", "smis1"},
      {"SMIS-1.Example.COM", "smis-1.example.com"},
      {"10.0.0.7", "10.0.0.7"},
      {"fe80::1", "[fe80::1]"},
      {"[FE80::1]", "[fe80::1]"},
      {"::ffff:10.0.0.7", "[::ffff:10.0.0.7]"},
      {"", ""},
      {"..", ""},
      {".hidden", ""},
      {"-rf", ""},
      {"../etc/passwd", ""},
      {"a/b", ""},
      {"smis_1", ""},
      {"smis 1", ""},
      {"[fe80::1%eth0]", ""},
      {"[smis1]", ""},
      {"[]", ""},
      {std::string(256, 'a'), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.fileHost, SMISTrustStore::fileHost(c.host)) << c.host;
  EXPECT_EQ("/t/[fe80::1].pem", SMISTrustStore("/t").pathFor("fe80::1"));
  EXPECT_EQ("", SMISTrustStore("/t").pathFor("../x"));
}

TEST(SMISTrustStoreTest, SavesLoadsListsAndRemoves) {
  support::TempDir tmp;
  const std::string folder = tmp.path() + "/conf/trust";
  SMISTrustStore store(folder);
  std::string pem, error;
  std::vector<std::string> hosts;

  // No folder yet: nothing trusted.
  EXPECT_EQ(1, store.load("smis1", &pem, &error));
  ASSERT_TRUE(store.hosts(&hosts, &error));
  EXPECT_TRUE(hosts.empty());

  mode_t oldMask = ::umask(077);
  ASSERT_TRUE(store.save("SMIS1", PEM, &error)) << error;
  ASSERT_TRUE(store.save("fe80::1", PEM, &error)) << error;
  EXPECT_FALSE(store.save("../x", PEM, &error));
  EXPECT_EQ("Not a valid SMI-S server host name: ../x", error);
  ::umask(oldMask);
  EXPECT_EQ(0755u, support::modeOf(folder));
  EXPECT_EQ(0644u, support::modeOf(folder + "/smis1.pem"));
  // Every pinned connection loads the file: a 0644 trust file is not the
  // map file and draws no warning about its mode.
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, store.load("smis1", &pem, &error)) << error;
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_EQ(PEM, pem);

  // A file that is not one of the store's (a left temporary file, another
  // suffix) is not listed.
  std::ofstream(folder + "/smis2.pem.Ab12Cd") << PEM;
  std::ofstream(folder + "/notes.txt") << "x";
  ASSERT_TRUE(store.hosts(&hosts, &error));
  EXPECT_EQ((std::vector<std::string>{"[fe80::1]", "smis1"}), hosts);

  // A trust file without a certificate is an error, never "not trusted".
  std::ofstream(folder + "/smis3.pem") << "garbage";
  EXPECT_EQ(-1, store.load("smis3", &pem, &error));
  EXPECT_EQ("The trusted certificate " + folder + "/smis3.pem holds no certificate", error);

  EXPECT_EQ(0, store.remove("smis1", &error));
  EXPECT_EQ(1, store.remove("smis1", &error));
  EXPECT_EQ(1, store.load("smis1", &pem, &error));
  for (const char* f : {"/[fe80::1].pem", "/smis2.pem.Ab12Cd", "/notes.txt", "/smis3.pem"})
    ::unlink((folder + f).c_str());
  ::rmdir(folder.c_str());
  ::rmdir((tmp.path() + "/conf").c_str());
}

}  // namespace
