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
  kUnreadable,           // no memory reader could be made over the bytes
  kNotAContainer,        // the bytes do not decode as PKCS#12
  kBadPassword,          // the MAC does not verify; without a MAC, a section or
                         // the key does not decrypt
  kNoPrivateKey,         // the right password, and no private key inside
  kNoCertificateForKey,  // a key, and no certificate that belongs to it
  kTooMuchWork,          // a limit of the work budget; `problem` names it
  kAlgorithmUnavailable,  // `problem` names the algorithm
  kMalformed,             // an inner structure does not decode
};

// Opens the container in memory with the password (a C string: it ends at
// its first NUL), the way PKCS12_parse does, step by step: every key
// derivation is checked against the work budget (pkcs12_work_budget.h)
// before it runs. The first key is taken, with the first certificate that
// belongs to it; the other certificates form the CA list, in container
// order. A password that OpenSSL 1.0 encoded (non-ASCII bytes taken one by
// one) is tried when the MAC refuses the UTF-8 form.
//
// All work happens in a library context of the reader's own, holding the
// "default" and "legacy" providers, made once per process; the process's
// default context is left alone. Every OpenSSL object is released, and the
// calling thread's error queue emptied, before it returns. Thread-safe.
OpenStatus OpenPkcs12(const uint8_t* bytes, size_t size, const char* password,
                      CertificateTexts* out, std::string* problem);

}  // namespace quorvane

#endif  // QUORVANE_WINDOWS_PKCS12_READER_H_
