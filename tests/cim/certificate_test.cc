// Certificates as the SMI-S trust store uses them: reading, fingerprints,
// and the pinned-key decision the HTTPS connection makes.
#include "cim/certificate.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/certificates.h"

namespace {

using support::KEY_A;
using support::KEY_A_RENEWED;
using support::KEY_B;

const char* const FINGERPRINT_A =
    "F0:21:18:70:E1:B5:0E:94:34:B0:50:19:77:CA:A8:53:"
    "16:62:32:75:43:F9:DB:2F:3E:45:B3:9A:A5:84:01:A1";
const char* const FINGERPRINT_B =
    "41:AD:D7:EA:E9:59:C5:71:50:65:6F:CF:F2:82:C0:BC:"
    "3C:01:51:B8:99:49:6F:EB:7F:2B:ED:01:5C:A4:F3:F0";

cim::Certificate read(const char* pem) {
  cim::Certificate cert;
  EXPECT_TRUE(cim::readCertificatePem(pem, &cert));
  return cert;
}

TEST(CertificateTest, ReadsNamesDatesAndTheFingerprintOpensslShows) {
  cim::Certificate a = read(KEY_A);
  EXPECT_EQ("CN=smis1", a.subject);
  EXPECT_EQ("CN=smis1", a.issuer);
  EXPECT_EQ(FINGERPRINT_A, a.fingerprint);
  EXPECT_LT(a.notBefore, a.notAfter);
  // Read back from its own PEM, and from DER, it is the same certificate.
  cim::Certificate again;
  ASSERT_TRUE(cim::readCertificatePem(a.pem, &again));
  EXPECT_EQ(a.fingerprint, again.fingerprint);
  EXPECT_FALSE(cim::readCertificatePem("not a certificate", &again));
  EXPECT_FALSE(cim::readCertificateDer("\x30\x03\x02\x01\x01", &again));
  EXPECT_EQ("1970-01-01 00:00:00 UTC", cim::formatCertificateTime(0));
}

// The server is accepted exactly when it presents the trusted key,
// whatever the certificate's names and dates.
TEST(CertificateTest, PinnedKeyDecision) {
  const cim::Certificate none;
  struct Case {
    const char* name;
    std::string trustedPem;
    cim::Certificate presented;
    bool accepted;
  } cases[] = {
      {"the trusted certificate", KEY_A, read(KEY_A), true},
      {"a renewal with the same key", KEY_A, read(KEY_A_RENEWED), true},
      {"the older certificate of a renewed key", KEY_A_RENEWED, read(KEY_A), true},
      {"another key under the same name", KEY_A, read(KEY_B), false},
      {"a trusted file without a certificate", "garbage", read(KEY_A), false},
      {"a presented certificate that could not be read", KEY_A, none, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.accepted, cim::checkPinnedKey(c.trustedPem, c.presented).accepted) << c.name;

  EXPECT_EQ(std::string("the certificate presented (SHA-256 fingerprint ") + FINGERPRINT_B +
                ") does not carry the key of the certificate trusted for smis1 (SHA-256 "
                "fingerprint " + FINGERPRINT_A + ")",
            cim::checkPinnedKey(KEY_A, read(KEY_B)).refusal("smis1"));
  EXPECT_EQ("the certificate trusted for smis1 cannot be read",
            cim::checkPinnedKey("garbage", read(KEY_A)).refusal("smis1"));
}

}  // namespace
