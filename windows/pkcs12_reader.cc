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
#include <optional>
#include <string>
#include <vector>

#include "local_time.h"
#include "openssl_ptr.h"
#include "pkcs12_work_budget.h"

namespace quorvane {
namespace {

// Declared first in a scope, so that it runs after every other release.
struct ErrorQueueClearer {
  ErrorQueueClearer() = default;
  ErrorQueueClearer(const ErrorQueueClearer&) = delete;
  ErrorQueueClearer& operator=(const ErrorQueueClearer&) = delete;
  ~ErrorQueueClearer() { ERR_clear_error(); }
};

// A library context of the reader's own, with the "default" and "legacy"
// providers: containers protected with RC2-40, 3DES and other old
// algorithms open on OpenSSL 3, and the process's default context, which
// belongs to the application, is never touched. Made once per process (a
// function-local static: concurrent first calls wait for one), and kept
// for its whole life. Without a legacy module, modern containers still
// open.
OSSL_LIB_CTX* ReaderContext() {
  static OSSL_LIB_CTX* const context = [] {
    OSSL_LIB_CTX* made = OSSL_LIB_CTX_new();
    if (made != nullptr) {
      OSSL_PROVIDER_load(made, "default");
      OSSL_PROVIDER_load(made, "legacy");
    }
    ERR_clear_error();
    return made;
  }();
  return context;
}

// Every entry goes through the converter, UTF8Strings too: it checks them,
// and a UTF8String that is not valid UTF-8 would make the whole reply
// undecodable for an application's UTF-8 decoder. An entry that does not
// convert reads as empty.
std::string Asn1StringToUtf8(const ASN1_STRING* text) {
  unsigned char* converted = nullptr;
  const int length = ASN1_STRING_to_UTF8(&converted, text);
  OpensslBuffer owner(converted);
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

// Everything a walk through the container found, and why it stopped.
struct Contents {
  OpenStatus status = OpenStatus::kOk;
  std::string problem;
  KeyPtr key;  // the first key, as the library has always taken
  X509StackPtr certificates{sk_X509_new_null()};  // in container order
};

class ContainerWalk {
 public:
  ContainerWalk(OSSL_LIB_CTX* context, const char* password, int length,
                bool mac_verified, const WorkBudget& budget, Contents* contents)
      : context_(context),
        password_(password),
        length_(length),
        mac_verified_(mac_verified),
        budget_(budget),
        contents_(contents) {}

  bool Sections(const STACK_OF(PKCS7) * sections) {
    // Every encrypted section's derivation is charged before the first one
    // runs: a section repeated a hundred times is refused at once, not
    // after the budget has been spent on it.
    for (int i = 0; i < sk_PKCS7_num(sections); ++i) {
      const PKCS7* section = sk_PKCS7_value(sections, i);
      if (OBJ_obj2nid(section->type) != NID_pkcs7_encrypted) {
        continue;
      }
      if (section->d.encrypted == nullptr ||
          section->d.encrypted->enc_data == nullptr ||
          section->d.encrypted->enc_data->algorithm == nullptr) {
        return Malformed();
      }
      if (!Charge(section->d.encrypted->enc_data->algorithm)) {
        return false;
      }
    }
    for (int i = 0; i < sk_PKCS7_num(sections); ++i) {
      PKCS7* section = sk_PKCS7_value(sections, i);
      SafeBagStackPtr bags;
      const int type = OBJ_obj2nid(section->type);
      if (type == NID_pkcs7_data) {
        bags.reset(PKCS12_unpack_p7data(section));
      } else if (type == NID_pkcs7_encrypted) {
        bags.reset(PKCS12_unpack_p7encdata(section, password_, length_));
        if (!bags) {
          return DecryptionFailed();
        }
      } else {
        continue;  // other section types carry nothing of ours
      }
      if (!bags || !Bags(bags.get(), 0)) {
        return Malformed();
      }
    }
    return true;
  }

 private:
  bool Bags(const STACK_OF(PKCS12_SAFEBAG) * bags, int depth) {
    if (depth > kMaxBagNesting) {
      return Refuse("safe contents nested more than " +
                    std::to_string(kMaxBagNesting) + " deep");
    }
    for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i) {
      if (!Bag(sk_PKCS12_SAFEBAG_value(bags, i), depth)) {
        return false;
      }
    }
    return true;
  }

  bool Bag(const PKCS12_SAFEBAG* bag, int depth) {
    std::string problem;
    switch (PKCS12_SAFEBAG_get_nid(bag)) {
      case NID_keyBag:
      case NID_pkcs8ShroudedKeyBag:
        if (!budget_.CountKey(&problem)) {
          return Refuse(problem);
        }
        return contents_->key ? true : Key(bag);
      case NID_certBag:
        if (PKCS12_SAFEBAG_get_bag_nid(bag) != NID_x509Certificate) {
          return true;
        }
        if (!budget_.CountCertificate(&problem)) {
          return Refuse(problem);
        }
        return Certificate(bag);
      case NID_safeContentsBag:
        return Bags(PKCS12_SAFEBAG_get0_safes(bag), depth + 1);
      default:
        return true;  // CRLs, secrets: not ours
    }
  }

  // Only the first key is decrypted, as PKCS12_parse has always done.
  bool Key(const PKCS12_SAFEBAG* bag) {
    P8Ptr decrypted;
    const PKCS8_PRIV_KEY_INFO* info = nullptr;
    if (PKCS12_SAFEBAG_get_nid(bag) == NID_keyBag) {
      info = PKCS12_SAFEBAG_get0_p8inf(bag);
    } else {
      const X509_ALGOR* algorithm = nullptr;
      X509_SIG_get0(PKCS12_SAFEBAG_get0_pkcs8(bag), &algorithm, nullptr);
      if (algorithm == nullptr || !Charge(algorithm)) {
        return algorithm == nullptr ? Malformed() : false;
      }
      decrypted.reset(PKCS8_decrypt_ex(PKCS12_SAFEBAG_get0_pkcs8(bag),
                                       password_, length_, context_, nullptr));
      if (!decrypted) {
        return DecryptionFailed();
      }
      info = decrypted.get();
    }
    contents_->key.reset(
        info == nullptr ? nullptr : EVP_PKCS82PKEY_ex(info, context_, nullptr));
    return contents_->key ? true : Malformed();
  }

  // Decoded again in the reader's context, so that its public key is
  // compared with the private key there.
  bool Certificate(const PKCS12_SAFEBAG* bag) {
    const X509Ptr parsed(PKCS12_SAFEBAG_get1_cert(bag));
    unsigned char* der = nullptr;
    const int length = parsed ? i2d_X509(parsed.get(), &der) : -1;
    const OpensslBuffer der_owner(der);
    X509* certificate = length > 0 ? X509_new_ex(context_, nullptr) : nullptr;
    const unsigned char* cursor = der;
    if (certificate == nullptr ||
        d2i_X509(&certificate, &cursor, length) == nullptr) {
      X509_free(certificate);
      return Malformed();
    }
    sk_X509_push(contents_->certificates.get(), certificate);
    return true;
  }

  bool Charge(const X509_ALGOR* algorithm) {
    std::string problem;
    switch (budget_.ChargeEncryption(algorithm, &problem)) {
      case WorkBudget::Verdict::kAllowed:
        return true;
      case WorkBudget::Verdict::kTooMuchWork:
        return Refuse(problem);
      case WorkBudget::Verdict::kUnavailable:
        return Stop(OpenStatus::kAlgorithmUnavailable, problem);
    }
    return false;
  }

  // With a verified MAC the password is right: a section or key that does
  // not decrypt is malformed. Without a MAC, nothing else tells.
  bool DecryptionFailed() {
    return Stop(
        mac_verified_ ? OpenStatus::kMalformed : OpenStatus::kBadPassword,
        std::string());
  }
  bool Malformed() { return Stop(OpenStatus::kMalformed, std::string()); }
  bool Refuse(const std::string& problem) {
    return Stop(OpenStatus::kTooMuchWork, problem);
  }
  bool Stop(OpenStatus status, const std::string& problem) {
    if (contents_->status == OpenStatus::kOk) {
      contents_->status = status;
      contents_->problem = problem;
    }
    return false;
  }

  OSSL_LIB_CTX* context_;
  const char* password_;
  int length_;
  bool mac_verified_;
  WorkBudget budget_;
  Contents* contents_;
};

// The password as OpenSSL 1.0 encoded it: each byte taken as one character
// (Latin-1), which the UTF-8 key derivation then sees as that character's
// UTF-8 form. The openssl tool retries this encoding; so do we.
std::string AsOpenssl10Encoded(const std::string& password) {
  std::string encoded;
  for (const char c : password) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      encoded += c;
    } else {
      encoded += static_cast<char>(0xC0 | (byte >> 6));
      encoded += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return encoded;
}

// Finds which password form the MAC accepts, charging each attempt before
// it runs. Returns kOk with `*chosen` set (null for the empty password's
// "no password" form), or why not.
OpenStatus VerifyMac(PKCS12* container, const std::string& password,
                     WorkBudget* budget, std::string* problem,
                     std::string* chosen, bool* absent_password) {
  const ASN1_OCTET_STRING* mac = nullptr;
  const X509_ALGOR* digest = nullptr;
  const ASN1_OCTET_STRING* salt = nullptr;
  const ASN1_INTEGER* iterations = nullptr;
  PKCS12_get0_mac(&mac, &digest, &salt, &iterations, container);
  uint64_t count = 1;
  if (iterations != nullptr &&
      ASN1_INTEGER_get_uint64(&count, iterations) != 1) {
    count = UINT64_MAX;
  }
  // The empty password is tried as "no password" (none) and as "": two
  // MACs. Another is tried as given, then as OpenSSL 1.0 encoded it.
  std::vector<std::optional<std::string>> attempts;
  if (password.empty()) {
    attempts = {std::nullopt, std::string()};
  } else {
    attempts = {password};
    const std::string legacy = AsOpenssl10Encoded(password);
    if (legacy != password) {
      attempts.emplace_back(legacy);
    }
  }
  for (const auto& attempt : attempts) {
    switch (budget->ChargeMac(digest, count, problem)) {
      case WorkBudget::Verdict::kAllowed:
        break;
      case WorkBudget::Verdict::kTooMuchWork:
        return OpenStatus::kTooMuchWork;
      case WorkBudget::Verdict::kUnavailable:
        return OpenStatus::kAlgorithmUnavailable;
    }
    const bool verified =
        attempt ? PKCS12_verify_mac(container, attempt->c_str(), -1) == 1
                : PKCS12_verify_mac(container, nullptr, 0) == 1;
    if (verified) {
      *absent_password = !attempt;
      *chosen = attempt.value_or(std::string());
      return OpenStatus::kOk;
    }
  }
  return OpenStatus::kBadPassword;
}

// The key's certificate (the first that matches it) and the others, in
// order, as PKCS12_parse splits them.
X509Ptr TakeKeysCertificate(EVP_PKEY* key, STACK_OF(X509) * certificates) {
  for (int i = 0; i < sk_X509_num(certificates); ++i) {
    X509* candidate = sk_X509_value(certificates, i);
    if (X509_check_private_key(candidate, key) == 1) {
      sk_X509_delete(certificates, i);
      return X509Ptr(candidate);
    }
  }
  return nullptr;
}

}  // namespace

OpenStatus OpenPkcs12(const uint8_t* bytes, size_t size, const char* password,
                      CertificateTexts* out, std::string* problem) {
  const ErrorQueueClearer clear_errors_last;
  OSSL_LIB_CTX* const context = ReaderContext();
  if (context == nullptr) {
    return OpenStatus::kUnreadable;
  }
  if (size > static_cast<size_t>(INT_MAX)) {
    return OpenStatus::kUnreadable;  // a memory reader takes an int length
  }
  static const uint8_t kNoBytes = 0;
  BioPtr reader(
      BIO_new_mem_buf(size == 0 ? &kNoBytes : bytes, static_cast<int>(size)));
  // Decoded into a container made in the reader's context, so that its MAC
  // and sections are computed there.
  PKCS12* raw = PKCS12_init_ex(NID_pkcs7_data, context, nullptr);
  if (!reader || raw == nullptr) {
    PKCS12_free(raw);
    return OpenStatus::kUnreadable;
  }
  // A failed decode frees `raw` itself; bytes that cannot even be read as
  // one DER object (empty, truncated header) leave it for us to free.
  PKCS12* const decoded = d2i_PKCS12_bio(reader.get(), &raw);
  const Pkcs12Ptr container(decoded != nullptr ? decoded : raw);
  reader.reset();
  if (decoded == nullptr) {
    return OpenStatus::kNotAContainer;
  }

  WorkBudget budget(context);
  const std::string given(password);
  std::string chosen = given;
  bool absent_password = given.empty();
  const bool has_mac = PKCS12_mac_present(container.get()) == 1;
  if (has_mac) {
    const OpenStatus verified = VerifyMac(container.get(), given, &budget,
                                          problem, &chosen, &absent_password);
    if (verified != OpenStatus::kOk) {
      return verified;
    }
  }

  const Pkcs7StackPtr sections(PKCS12_unpack_authsafes(container.get()));
  if (!sections) {
    return OpenStatus::kMalformed;
  }
  Contents contents;
  ContainerWalk walk(context, absent_password ? nullptr : chosen.c_str(),
                     absent_password ? 0 : -1, has_mac, budget, &contents);
  if (!contents.certificates || !walk.Sections(sections.get())) {
    *problem = contents.problem;
    return contents.status == OpenStatus::kOk ? OpenStatus::kMalformed
                                              : contents.status;
  }
  if (!contents.key) {
    return OpenStatus::kNoPrivateKey;
  }
  const X509Ptr certificate =
      TakeKeysCertificate(contents.key.get(), contents.certificates.get());
  if (!certificate) {
    return OpenStatus::kNoCertificateForKey;
  }

  out->subject = SubjectCommonName(certificate.get());
  out->cert_pem = CertificatePem(certificate.get());
  out->chain_pem =
      CertificateChainPem(certificate.get(), contents.certificates.get());
  out->key_pem = PrivateKeyPem(contents.key.get());
  out->expiration = ExpirationTime(certificate.get());
  return OpenStatus::kOk;
}

}  // namespace quorvane
