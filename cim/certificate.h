// X.509 certificates of CIM servers: reading one (PEM or DER), its SHA-256
// fingerprint and public key, the check of a pinned certificate (the server
// must present the trusted certificate's public key; names and dates do not
// matter, so a renewed certificate with the same key passes), and fetching
// the certificate a server presents without sending it anything.
#ifndef CIM_CERTIFICATE_H
#define CIM_CERTIFICATE_H

#include <cstdint>
#include <ctime>
#include <string>

namespace cim {

struct Certificate {
  std::string pem;      // the certificate alone, PEM
  std::string subject;  // RFC 2253 names ("CN=smis1,O=...")
  std::string issuer;
  std::time_t notBefore = 0;
  std::time_t notAfter = 0;
  std::string fingerprint;  // SHA-256 of the DER form, "AB:01:..."
  std::string publicKey;    // DER of the subject public key info
};

// False when the text holds no certificate; the first one is read.
bool readCertificatePem(const std::string& pem, Certificate* out);
bool readCertificateDer(const std::string& der, Certificate* out);

// "2026-12-09 07:52:17 UTC".
std::string formatCertificateTime(std::time_t t);

struct PinCheck {
  bool accepted = false;
  std::string trustedFingerprint;  // "" when the trusted one cannot be read
  std::string presentedFingerprint;

  // Why the server host was refused, both fingerprints named.
  std::string refusal(const std::string& host) const;
};

// Whether a server presenting `presented` may be accepted when trustedPem
// is the certificate trusted for it. A trusted certificate that cannot be
// read accepts nothing.
PinCheck checkPinnedKey(const std::string& trustedPem, const Certificate& presented);

// Opens a TLS connection to host:port (no certificate checked, nothing
// sent) and returns the server's own certificate. Throws
// CannotConnectException (unknown host, refused, no TLS on that port) or
// ConnectionTimeoutException.
Certificate fetchServerCertificate(const std::string& host, std::uint32_t port,
                                   std::uint32_t timeoutMs);

}  // namespace cim

#endif  // CIM_CERTIFICATE_H
