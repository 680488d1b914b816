#include "pkcs12_reader.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/buffer.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/opensslv.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#if OPENSSL_VERSION_MAJOR >= 3
#include <openssl/provider.h>
#endif

#include <climits>
#include <ctime>
#include <map>
#include <memory>

#include "local_time.h"

namespace quorvane {
namespace {

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};
struct X509StackDeleter {
  void operator()(STACK_OF(X509) * stack) const {
    sk_X509_pop_free(stack, X509_free);
  }
};
struct OpensslFree {
  void operator()(unsigned char* buffer) const { OPENSSL_free(buffer); }
};

using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, Deleter<PKCS12_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackDeleter>;

// Declared first in a scope, so that it runs after every other release.
struct ErrorQueueClearer {
  ErrorQueueClearer() = default;
  ErrorQueueClearer(const ErrorQueueClearer&) = delete;
  ErrorQueueClearer& operator=(const ErrorQueueClearer&) = delete;
  ~ErrorQueueClearer() { ERR_clear_error(); }
};

// OpenSSL 3 refuses RC2, RC4, DES and other old algorithms unless the
// "legacy" provider is loaded, and then a right password reads as a wrong
// one. Loading any provider explicitly disables the implicit "default", so
// both are loaded. A missing legacy module leaves modern containers working.
// The handles are held for the whole process (kept in statics, so leak
// checkers see them as reachable). A function-local static makes concurrent
// first calls wait for one initialisation.
#if OPENSSL_VERSION_MAJOR >= 3
OSSL_PROVIDER* legacy_provider = nullptr;
OSSL_PROVIDER* default_provider = nullptr;
#endif

void LoadProvidersOnce() {
  static const bool loaded = [] {
    OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_CIPHERS |
                            OPENSSL_INIT_ADD_ALL_DIGESTS |
                            OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                        nullptr);
#if OPENSSL_VERSION_MAJOR >= 3
    legacy_provider = OSSL_PROVIDER_load(nullptr, "legacy");
    default_provider = OSSL_PROVIDER_load(nullptr, "default");
#endif
    ERR_clear_error();
    return true;
  }();
  static_cast<void>(loaded);
}

std::string Asn1StringToUtf8(const ASN1_STRING* text) {
  if (ASN1_STRING_type(text) == V_ASN1_UTF8STRING) {
    return std::string(
        reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
        static_cast<size_t>(ASN1_STRING_length(text)));
  }
  unsigned char* converted = nullptr;
  const int length = ASN1_STRING_to_UTF8(&converted, text);
  std::unique_ptr<unsigned char, OpensslFree> owner(converted);
  if (length < 0 || converted == nullptr) {
    return std::string();  // not convertible: the entry reads as empty
  }
  return std::string(reinterpret_cast<const char*>(converted),
                     static_cast<size_t>(length));
}

// Short name to UTF-8 text; the last entry of a short name wins.
std::map<std::string, std::string> ReadSubjectEntries(const X509_NAME* name) {
  std::map<std::string, std::string> entries;
  for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
    const char* short_name =
        OBJ_nid2sn(OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry)));
    if (short_name == nullptr) {
      continue;
    }
    entries[short_name] = Asn1StringToUtf8(X509_NAME_ENTRY_get_data(entry));
  }
  return entries;
}

std::string SubjectCommonName(const X509* certificate) {
  const auto entries = ReadSubjectEntries(X509_get_subject_name(certificate));
  const auto cn = entries.find("CN");
  if (cn == entries.end()) {
    return std::string();
  }
  // Through c_str on purpose: the name ends at its first NUL.
  return std::string(
      cn->second.c_str());  // NOLINT(readability-redundant-string-cstr)
}

std::string MemoryBioText(BIO* sink) {
  BUF_MEM* buffer = nullptr;
  BIO_get_mem_ptr(sink, &buffer);
  if (buffer == nullptr || buffer->data == nullptr) {
    return std::string();
  }
  return std::string(buffer->data, buffer->length);
}

std::string CertificatePem(X509* certificate) {
  BioPtr sink(BIO_new(BIO_s_mem()));
  if (!sink) {
    return std::string();
  }
  PEM_write_bio_X509(sink.get(), certificate);
  return MemoryBioText(sink.get());
}

std::string CertificateChainPem(X509* certificate, STACK_OF(X509) * ca) {
  BioPtr sink(BIO_new(BIO_s_mem()));
  if (!sink) {
    return std::string();
  }
  PEM_write_bio_X509(sink.get(), certificate);
  for (int i = 0; i < sk_X509_num(ca); ++i) {
    PEM_write_bio_X509(sink.get(), sk_X509_value(ca, i));
  }
  return MemoryBioText(sink.get());
}

std::string PrivateKeyPem(EVP_PKEY* key) {
  BioPtr sink(BIO_new(BIO_s_mem()));
  if (!sink) {
    return std::string();
  }
  PEM_write_bio_PrivateKey(sink.get(), key, nullptr, nullptr, 0, nullptr,
                           nullptr);
  return MemoryBioText(sink.get());
}

// Two characters at `at` as a number, digits or not (each is taken as its
// distance from '0', as the format's readers always have). A position past
// the end of a malformed, short time string counts as '0'.
int TwoDigits(const char* text, size_t length, size_t at) {
  const auto digit = [&](size_t i) {
    return i < length ? static_cast<int>(text[i]) - '0' : 0;
  };
  return 10 * digit(at) + digit(at + 1);
}

// notAfter read as local standard time, whatever the zone says. UTCTime's
// two-digit year pivots at 70 (00-69 are 2000-2069), not RFC 5280's 50:
// callers have always read it this way.
std::string ExpirationTime(const X509* certificate) {
  const ASN1_TIME* time = X509_get0_notAfter(certificate);
  const char* text = reinterpret_cast<const char*>(ASN1_STRING_get0_data(time));
  const auto length = static_cast<size_t>(ASN1_STRING_length(time));
  std::tm fields{};
  size_t rest = 0;
  if (ASN1_STRING_type(time) == V_ASN1_UTCTIME) {
    const int year = TwoDigits(text, length, 0);
    fields.tm_year = year < 70 ? year + 100 : year;
    rest = 2;
  } else if (ASN1_STRING_type(time) == V_ASN1_GENERALIZEDTIME) {
    fields.tm_year =
        TwoDigits(text, length, 0) * 100 + TwoDigits(text, length, 2) - 1900;
    rest = 4;
  }
  fields.tm_mon = TwoDigits(text, length, rest) - 1;
  fields.tm_mday = TwoDigits(text, length, rest + 2);
  fields.tm_hour = TwoDigits(text, length, rest + 4);
  fields.tm_min = TwoDigits(text, length, rest + 6);
  fields.tm_sec = TwoDigits(text, length, rest + 8);
  fields.tm_isdst = 0;
  return std::to_string(LocalTimeToEpochSeconds(&fields));
}

}  // namespace

OpenStatus OpenPkcs12(const uint8_t* bytes, size_t size, const char* password,
                      CertificateTexts* out) {
  LoadProvidersOnce();
  const ErrorQueueClearer clear_errors_last;

  if (size > static_cast<size_t>(INT_MAX)) {
    return OpenStatus::kUnreadable;  // a memory reader takes an int length
  }
  static const uint8_t kNoBytes = 0;
  BioPtr reader(
      BIO_new_mem_buf(size == 0 ? &kNoBytes : bytes, static_cast<int>(size)));
  if (!reader) {
    return OpenStatus::kUnreadable;
  }
  const Pkcs12Ptr container(d2i_PKCS12_bio(reader.get(), nullptr));
  reader.reset();
  if (!container) {
    return OpenStatus::kNotAContainer;
  }

  EVP_PKEY* raw_key = nullptr;
  X509* raw_certificate = nullptr;
  STACK_OF(X509)* raw_ca = nullptr;
  const int parsed = PKCS12_parse(container.get(), password, &raw_key,
                                  &raw_certificate, &raw_ca);
  const KeyPtr key(raw_key);
  const X509Ptr certificate(raw_certificate);
  const X509StackPtr ca(raw_ca);
  if (parsed != 1 || !certificate) {
    return OpenStatus::kBadPassword;
  }
  if (!key) {
    return OpenStatus::kNoPrivateKey;
  }

  out->subject = SubjectCommonName(certificate.get());
  out->cert_pem = CertificatePem(certificate.get());
  out->chain_pem = CertificateChainPem(certificate.get(), ca.get());
  out->key_pem = PrivateKeyPem(key.get());
  out->expiration = ExpirationTime(certificate.get());
  return OpenStatus::kOk;
}

}  // namespace quorvane
