// The SMI-S servers' trusted certificates: one PEM file per server host
// name in the trust folder, "<host>.pem", holding the certificate the
// administrator approved with smistrust. SMISServer pins the certificate of
// a host that has one; a host without one is reached as before. Host names
// are letters, digits, '-' and '.', or an IPv6 address (bracketed or not);
// they are kept in lower case and IPv6 addresses bracketed, so no name can
// lead outside the folder. The folder is made 0755, files are written 0644
// and replaced atomically (temporary file, flushed to disk, renamed).
#ifndef ZARN_SMIS_SMIS_TRUST_STORE_H
#define ZARN_SMIS_SMIS_TRUST_STORE_H

#include <string>
#include <vector>

constexpr char SMIS_TRUST_FOLDER[] = "/opt/kxcluster/conf/sfyrzarn/trust";

class SMISTrustStore {
 public:
  // folder is the trust folder (tests only).
  explicit SMISTrustStore(std::string folder = SMIS_TRUST_FOLDER);

  const std::string& folder() const { return folder_; }

  // The file name's host part for a host name ("smis1", "[fe80::1]"), or ""
  // when the name may not name a trust file.
  static std::string fileHost(const std::string& host);
  // The trust file of a host; "" when the name is refused.
  std::string pathFor(const std::string& host) const;

  // 0 with *pem set: the host has a trust file holding a certificate. 1:
  // no trust file (or a name that cannot have one). -1 with *error set: the
  // file exists but cannot be read or holds no certificate.
  int load(const std::string& host, std::string* pem, std::string* error) const;
  // Stores pem as the host's trust file. False with *error set.
  bool save(const std::string& host, const std::string& pem, std::string* error) const;
  // 0 removed, 1 there was no trust file, -1 with *error set.
  int remove(const std::string& host, std::string* error) const;
  // The host part of every trust file, sorted. False with *error set when
  // the folder exists but cannot be read (a missing folder is empty).
  bool hosts(std::vector<std::string>* out, std::string* error) const;

 private:
  std::string folder_;
};

#endif  // ZARN_SMIS_SMIS_TRUST_STORE_H
