// How the client checks an HTTPS server: a trust store (a file of CA
// certificates in PEM form) and, optionally, a callback that sees each
// certificate of the server's chain with OpenSSL's own verdict and decides.
// A callback that always answers true accepts any server certificate
// (self-signed, expired, for another host name), which is what SMI-S
// connections use: providers usually have self-signed certificates.
//
// A pinned certificate (the one an administrator approved for the host) is
// checked on top of all that: the server's own certificate must carry its
// public key, or the connection fails with UntrustedServerException naming
// both certificates' fingerprints (cim/certificate.h has the check).
//
// No client certificate is ever sent. The random file is kept for
// completeness; OpenSSL seeds itself from the operating system.
#ifndef CIM_SSL_CONTEXT_H
#define CIM_SSL_CONTEXT_H

#include <functional>
#include <string>
#include <utility>

namespace cim {

struct CertificateInfo {
  std::string subject;  // one-line distinguished names
  std::string issuer;
  int depth = 0;            // 0 for the server's own certificate
  bool preverified = false;  // OpenSSL's verdict against the trust store
  int errorCode = 0;         // X509_V_ERR_..., 0 when preverified
  std::string errorText;
};

class SslContext {
 public:
  using VerifyCallback = std::function<bool(const CertificateInfo&)>;

  // The system's trust store, host name checked, no callback.
  SslContext() = default;
  // trustStore may be empty (no trusted CA). With a callback, its answer
  // replaces OpenSSL's verdict and the host name is not checked.
  SslContext(std::string trustStore, VerifyCallback verify,
             std::string randomFile = std::string())
      : trustStore_(std::move(trustStore)),
        verify_(std::move(verify)),
        randomFile_(std::move(randomFile)),
        systemTrust_(false) {}

  const std::string& getTrustStore() const { return trustStore_; }
  const VerifyCallback& getVerifyCallback() const { return verify_; }
  const std::string& getRandomFile() const { return randomFile_; }
  bool usesSystemTrustStore() const { return systemTrust_; }

  // PEM text of one certificate; empty (the default) pins nothing.
  void setPinnedCertificate(std::string pem) { pinned_ = std::move(pem); }
  const std::string& getPinnedCertificate() const { return pinned_; }

 private:
  std::string trustStore_;
  VerifyCallback verify_;
  std::string randomFile_;
  bool systemTrust_ = true;
  std::string pinned_;
};

}  // namespace cim

#endif  // CIM_SSL_CONTEXT_H
