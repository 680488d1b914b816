#ifndef QUORVANE_WINDOWS_PKCS12_READER_H_
#define QUORVANE_WINDOWS_PKCS12_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvane {

// What a PKCS#12 container yields: texts exactly as OpenSSL's PEM writers
// produce them, and the expiry as decimal seconds.
struct CertificateTexts {
  std::string subject;     // last CN of the subject, cut at a NUL; or ""
  std::string cert_pem;    // the certificate that belongs to the key
  std::string chain_pem;   // cert_pem followed by the CA list, in order
  std::string key_pem;     // unencrypted PKCS#8 PEM
  std::string expiration;  // notAfter as local standard time, in seconds
};

enum class OpenStatus {
  kOk,
  kUnreadable,     // no memory reader could be made over the bytes
  kNotAContainer,  // the bytes do not decode as PKCS#12
  kBadPassword,    // PKCS12_parse refuses, or yields no certificate
  kNoPrivateKey,   // a certificate without its private key
};

// Opens the container in memory with the password (a C string: it ends at
// its first NUL). Every OpenSSL object is released, and the calling thread's
// error queue emptied, before it returns. Thread-safe; loads OpenSSL's
// "legacy" and "default" providers once per process so that containers
// protected with RC2-40 and similar still open.
OpenStatus OpenPkcs12(const uint8_t* bytes, size_t size, const char* password,
                      CertificateTexts* out);

}  // namespace quorvane

#endif  // QUORVANE_WINDOWS_PKCS12_READER_H_
