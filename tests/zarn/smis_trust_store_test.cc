// The trust folder of the SMI-S servers: which host names may name a trust
// file, and saving, loading, listing and removing them in a real folder.
#include "zarn/smis/smis_trust_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/map_store.h"

namespace {

const char* const PEM =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIBdTCCARugAwIBAgIULCCFSG+L+hxSGPQwcCRtFqFh8KIwCgYIKoZIzj0EAwIw\n"
    "EDEOMAwGA1UEAwwFc21pczEwHhcNMjYxMjA4MDgxMzExWhcNMzYxMjA1MDgxMzEx\n"
    "WjAQMQ4wDAYDVQQDDAVzbWlzMTBZMBMGByqGSM49AgEGCCqGSM49AwEHA0IABPtX\n"
    "HMsdUUReiwIHVpHeo2WHW2o+Gqb3Hl9M6By3ST5cIDd2A7uJwj+9b8EkaR+rPFw5\n"
    "/477QS62QBMe//+6+TmjUzBRMB0GA1UdDgQWBBSP/0lY6NZXbWSkafiHifyGSgWJ\n"
    "fDAfBgNVHSMEGDAWgBSP/0lY6NZXbWSkafiHifyGSgWJfDAPBgNVHRMBAf8EBTAD\n"
    "AQH/MAoGCCqGSM49BAMCA0gAMEUCIQDbHLtgS0ZXOSGQPv/QwM45NRRsHz69aAS/\n"
    "VmYdamFzOgIgaE6CX7qPVk5plp4ekPUDyF9AYc4n+r4OkR/lHzdr6Zg=\n"
    "-----END CERTIFICATE-----\n";

mode_t modeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

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
  EXPECT_EQ(0755, modeOf(folder));
  EXPECT_EQ(0644, modeOf(folder + "/smis1.pem"));
  EXPECT_EQ(0, store.load("smis1", &pem, &error)) << error;
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
