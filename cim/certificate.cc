#include "cim/certificate.h"

#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>

#include "cim/exception.h"
#include "cim/http_transport.h"

namespace cim {

namespace {

struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
struct BioFree {
  void operator()(BIO* b) const { BIO_free(b); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;
using BioPtr = std::unique_ptr<BIO, BioFree>;

std::string bioText(BIO* bio) {
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

std::string nameText(X509_NAME* name) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || name == nullptr) return std::string();
  X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  return bioText(bio.get());
}

std::time_t timeOf(const ASN1_TIME* t) {
  struct tm tm {};
  if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1) return 0;
  return timegm(&tm);
}

bool describe(X509* cert, Certificate* out) {
  *out = Certificate();
  BioPtr pem(BIO_new(BIO_s_mem()));
  if (!pem || PEM_write_bio_X509(pem.get(), cert) != 1) return false;
  out->pem = bioText(pem.get());
  out->subject = nameText(X509_get_subject_name(cert));
  out->issuer = nameText(X509_get_issuer_name(cert));
  out->notBefore = timeOf(X509_get0_notBefore(cert));
  out->notAfter = timeOf(X509_get0_notAfter(cert));

  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(cert, EVP_sha256(), digest, &length) != 1) return false;
  static const char hex[] = "0123456789ABCDEF";
  for (unsigned int i = 0; i < length; ++i) {
    if (i > 0) out->fingerprint += ':';
    out->fingerprint += hex[digest[i] >> 4];
    out->fingerprint += hex[digest[i] & 15];
  }

  unsigned char* key = nullptr;
  int keyLength = i2d_PUBKEY(X509_get0_pubkey(cert), &key);
  if (keyLength <= 0) return false;
  out->publicKey.assign(reinterpret_cast<char*>(key), static_cast<size_t>(keyLength));
  OPENSSL_free(key);
  return true;
}

}  // namespace

bool readCertificatePem(const std::string& pem, Certificate* out) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return false;
  X509Ptr cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  return cert && describe(cert.get(), out);
}

bool readCertificateDer(const std::string& der, Certificate* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  return cert && describe(cert.get(), out);
}

std::string formatCertificateTime(std::time_t t) {
  struct tm tm {};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return text;
}

std::string PinCheck::refusal(const std::string& host) const {
  if (trustedFingerprint.empty())
    return "the certificate trusted for " + host + " cannot be read";
  return "the certificate presented (SHA-256 fingerprint " + presentedFingerprint +
         ") does not carry the key of the certificate trusted for " + host +
         " (SHA-256 fingerprint " + trustedFingerprint + ")";
}

PinCheck checkPinnedKey(const std::string& trustedPem, const Certificate& presented) {
  PinCheck check;
  check.presentedFingerprint = presented.fingerprint;
  Certificate trusted;
  if (!readCertificatePem(trustedPem, &trusted)) return check;
  check.trustedFingerprint = trusted.fingerprint;
  check.accepted = !presented.publicKey.empty() && presented.publicKey == trusted.publicKey;
  return check;
}

Certificate fetchServerCertificate(const std::string& host, std::uint32_t port,
                                   std::uint32_t timeoutMs) {
  initLibcurl();
  const std::string where = host + ":" + std::to_string(port);
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) throw TransportException("Cannot create a libcurl handle");
  bool ipv6 = host.find(':') != std::string::npos && host.front() != '[';
  std::string url =
      "https://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
  char errorBuffer[CURL_ERROR_SIZE] = "";
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
  curl_easy_setopt(h, CURLOPT_CERTINFO, 1L);
  // The certificate is shown to the administrator, who decides.
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
  long timeout = timeoutMs == 0 ? 1L : static_cast<long>(timeoutMs);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, timeout);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeout);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
  CURLcode rc = curl_easy_perform(h);
  if (rc == CURLE_OPERATION_TIMEDOUT)
    throw ConnectionTimeoutException("No TLS connection to " + where + " within " +
                                     std::to_string(timeoutMs) + " ms");
  if (rc != CURLE_OK) {
    std::string detail = (*errorBuffer && rc != CURLE_COULDNT_CONNECT) ? errorBuffer
                                                                       : curl_easy_strerror(rc);
    if (rc == CURLE_SSL_CONNECT_ERROR)
      throw CannotConnectException("No TLS connection to " + where +
                                   " (is it the server's HTTPS port?): " + detail);
    throw CannotConnectException("Cannot connect to " + where + ": " + detail);
  }
  curl_certinfo* info = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_CERTINFO, &info) == CURLE_OK && info != nullptr &&
      info->num_of_certs > 0) {
    for (curl_slist* field = info->certinfo[0]; field != nullptr; field = field->next) {
      std::string text = field->data;
      if (text.compare(0, 5, "Cert:") != 0) continue;
      Certificate cert;
      if (readCertificatePem(text.substr(5), &cert)) return cert;
    }
  }
  throw CannotConnectException("The server " + where + " presented no readable certificate");
}

}  // namespace cim
