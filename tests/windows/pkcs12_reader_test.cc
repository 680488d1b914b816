// The container reader against containers built to attack it, and the
// errors that a right password must not be reported as a wrong one. The
// containers are made here with OpenSSL at low cost, then altered: the
// maker of a hostile container pays once, the reader would pay every time.

#include "pkcs12_reader.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "openssl_ptr.h"
#include "openssl_tool.h"

namespace quorvane {
namespace {

constexpr char kPassword[] = "secret";

KeyPtr NewKey() { return KeyPtr(EVP_EC_gen("P-256")); }

// A self-signed certificate for `key` whose CN is `cn` stored as `type`.
X509Ptr NewCertificate(EVP_PKEY* key, const std::string& cn,
                       int type = MBSTRING_UTF8) {
  X509Ptr certificate(X509_new());
  X509_set_version(certificate.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_NID(name, NID_commonName, type,
                             reinterpret_cast<const unsigned char*>(cn.data()),
                             static_cast<int>(cn.size()), -1, 0);
  X509_set_issuer_name(certificate.get(), name);
  X509_set_pubkey(certificate.get(), key);
  X509_sign(certificate.get(), key, EVP_sha256());
  return certificate;
}

// PKCS12_create with modern defaults (PBES2, AES-256, PBKDF2) at `iterations`;
// `mac_iterations` -1 makes a container without a MAC.
Pkcs12Ptr Create(EVP_PKEY* key, X509* certificate, STACK_OF(X509) * cas,
                 int iterations = 2048, int mac_iterations = 2048,
                 const char* password = kPassword) {
  return Pkcs12Ptr(PKCS12_create(password, nullptr, key, certificate, cas, 0, 0,
                                 iterations, mac_iterations, 0));
}

std::vector<uint8_t> Der(PKCS12* container) {
  unsigned char* der = nullptr;
  const int length = i2d_PKCS12(container, &der);
  std::vector<uint8_t> bytes(der, der + (length > 0 ? length : 0));
  OPENSSL_free(der);
  return bytes;
}

// The MAC's iteration count changed after the MAC was computed: the reader
// must refuse on the count alone.
std::vector<uint8_t> WithMacIterations(PKCS12* container, int64_t iterations) {
  const ASN1_INTEGER* count = nullptr;
  PKCS12_get0_mac(nullptr, nullptr, nullptr, &count, container);
  ASN1_INTEGER_set_int64(const_cast<ASN1_INTEGER*>(count), iterations);
  return Der(container);
}

std::vector<uint8_t> WithMacDigest(PKCS12* container, const char* oid) {
  const X509_ALGOR* digest = nullptr;
  PKCS12_get0_mac(nullptr, &digest, nullptr, nullptr, container);
  X509_ALGOR_set0(const_cast<X509_ALGOR*>(digest), OBJ_txt2obj(oid, 1),
                  V_ASN1_NULL, nullptr);
  return Der(container);
}

// Every encrypted section repeated `times` times, under a fresh cheap MAC.
std::vector<uint8_t> WithRepeatedSections(PKCS12* container, int times) {
  const Pkcs7StackPtr sections(PKCS12_unpack_authsafes(container));
  const Pkcs7StackPtr repeated(sk_PKCS7_new_null());
  for (int i = 0; i < sk_PKCS7_num(sections.get()); ++i) {
    PKCS7* section = sk_PKCS7_value(sections.get(), i);
    const bool encrypted = OBJ_obj2nid(section->type) == NID_pkcs7_encrypted;
    for (int n = 0; n < (encrypted ? times : 1); ++n) {
      sk_PKCS7_push(repeated.get(), PKCS7_dup(section));
    }
  }
  PKCS12_pack_authsafes(container, repeated.get());
  PKCS12_set_mac(container, kPassword, -1, nullptr, 0, 1, nullptr);
  return Der(container);
}

// PBES2 with scrypt at the given parameters. OpenSSL refuses to describe
// costly parameters, so cheap ones are made and then rewritten.
X509_ALGOR* ScryptAlgorithm(int64_t n, int64_t r, int64_t p) {
  X509_ALGOR* algorithm =
      PKCS5_pbe2_set_scrypt(EVP_aes_256_cbc(), nullptr, 0, nullptr, 16, 1, 1);
  auto* pbes2 = static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(
      ASN1_ITEM_rptr(PBE2PARAM), algorithm->parameter));
  auto* scrypt = static_cast<SCRYPT_PARAMS*>(ASN1_TYPE_unpack_sequence(
      ASN1_ITEM_rptr(SCRYPT_PARAMS), pbes2->keyfunc->parameter));
  ASN1_INTEGER_set_int64(scrypt->costParameter, n);
  ASN1_INTEGER_set_int64(scrypt->blockSize, r);
  ASN1_INTEGER_set_int64(scrypt->parallelizationParameter, p);
  ASN1_TYPE_pack_sequence(ASN1_ITEM_rptr(SCRYPT_PARAMS), scrypt,
                          &pbes2->keyfunc->parameter);
  ASN1_TYPE_pack_sequence(ASN1_ITEM_rptr(PBE2PARAM), pbes2,
                          &algorithm->parameter);
  SCRYPT_PARAMS_free(scrypt);
  PBE2PARAM_free(pbes2);
  return algorithm;
}

// Every encrypted section's algorithm replaced by `algorithm` (its
// parameters only: nothing is derived to make it), under a cheap MAC.
std::vector<uint8_t> WithSectionAlgorithm(PKCS12* container,
                                          X509_ALGOR* algorithm) {
  const Pkcs7StackPtr sections(PKCS12_unpack_authsafes(container));
  for (int i = 0; i < sk_PKCS7_num(sections.get()); ++i) {
    PKCS7* section = sk_PKCS7_value(sections.get(), i);
    if (OBJ_obj2nid(section->type) == NID_pkcs7_encrypted) {
      X509_ALGOR_free(section->d.encrypted->enc_data->algorithm);
      section->d.encrypted->enc_data->algorithm = X509_ALGOR_dup(algorithm);
    }
  }
  PKCS12_pack_authsafes(container, sections.get());
  PKCS12_set_mac(container, kPassword, -1, nullptr, 0, 1, nullptr);
  X509_ALGOR_free(algorithm);
  return Der(container);
}

// `keys` unencrypted key bags and the certificate, under a cheap MAC.
std::vector<uint8_t> WithKeys(EVP_PKEY* key, X509* certificate, int keys) {
  STACK_OF(PKCS12_SAFEBAG)* bags = nullptr;
  for (int i = 0; i < keys; ++i) {
    PKCS12_add_key(&bags, key, 0, 0, -1, nullptr);
  }
  PKCS12_add_cert(&bags, certificate);
  STACK_OF(PKCS7)* safes = nullptr;
  PKCS12_add_safe(&safes, bags, -1, 0, nullptr);
  sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
  const Pkcs12Ptr container(PKCS12_add_safes(safes, 0));
  sk_PKCS7_pop_free(safes, PKCS7_free);
  PKCS12_set_mac(container.get(), kPassword, -1, nullptr, 0, 1, nullptr);
  return Der(container.get());
}

struct Outcome {
  OpenStatus status;
  std::string problem;
  CertificateTexts texts;
};

Outcome Open(const std::vector<uint8_t>& bytes,
             const char* password = kPassword) {
  Outcome outcome;
  outcome.status = OpenPkcs12(bytes.data(), bytes.size(), password,
                              &outcome.texts, &outcome.problem);
  return outcome;
}

class Pkcs12ReaderTest : public testing::Test {
 protected:
  KeyPtr key_ = NewKey();
  X509Ptr certificate_ = NewCertificate(key_.get(), "Reader Test");
};

TEST_F(Pkcs12ReaderTest, RefusesWorkBeyondTheBudgetBeforeDoingIt) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    OpenStatus status;
    const char* problem;
  };
  X509StackPtr many(sk_X509_new_null());
  for (int i = 0; i < 200; ++i) {
    sk_X509_push(many.get(), X509_dup(certificate_.get()));
  }
  const Case cases[] = {
      {"control: a modern container",
       Der(Create(key_.get(), certificate_.get(), nullptr).get()),
       OpenStatus::kOk, ""},
      // 173 s of CPU before this budget, with no password needed.
      {"MAC of 2^31-1 iterations",
       WithMacIterations(Create(key_.get(), certificate_.get(), nullptr).get(),
                         2147483647),
       OpenStatus::kTooMuchWork,
       "a MAC of 2147483647 iterations (at most 1000000)"},
      {"negative MAC iteration count",
       WithMacIterations(Create(key_.get(), certificate_.get(), nullptr).get(),
                         -5),
       OpenStatus::kTooMuchWork,
       "a MAC of 18446744073709551615 iterations (at most 1000000)"},
      // The maker paid once; the reader would pay a hundred times.
      {"one encrypted section repeated 100 times",
       WithRepeatedSections(
           Create(key_.get(), certificate_.get(), nullptr, 50000).get(), 100),
       OpenStatus::kTooMuchWork,
       "more than 3000000 iterations of key derivation in all"},
      // 25 minutes of CPU at p=2^17; the parameters alone are refused.
      {"scrypt with N=2^15, r=1, p=1024",
       WithSectionAlgorithm(
           Create(key_.get(), certificate_.get(), nullptr).get(),
           ScryptAlgorithm(32768, 1, 1024)),
       OpenStatus::kTooMuchWork,
       "scrypt with N=32768, r=1, p=1024, a derivation of 33554432 "
       "iterations (at most 1000000)"},
      {"scrypt asking for 1 GiB",
       WithSectionAlgorithm(
           Create(key_.get(), certificate_.get(), nullptr).get(),
           ScryptAlgorithm(1 << 20, 8, 1)),
       OpenStatus::kTooMuchWork,
       "scrypt with N=1048576, r=8, p=1 (128*N*r bytes of memory, at most "
       "67108864)"},
      {"control: 200 keys", WithKeys(key_.get(), certificate_.get(), 200),
       OpenStatus::kOk, ""},
      {"201 keys", WithKeys(key_.get(), certificate_.get(), 201),
       OpenStatus::kTooMuchWork, "more than 200 keys"},
      {"201 certificates",
       Der(Create(key_.get(), certificate_.get(), many.get()).get()),
       OpenStatus::kTooMuchWork, "more than 200 certificates"},
      {"MAC with a digest nobody has",
       WithMacDigest(Create(key_.get(), certificate_.get(), nullptr).get(),
                     "1.2.3.4.5"),
       OpenStatus::kAlgorithmUnavailable, "1.2.3.4.5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Open(c.bytes);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.problem, c.problem);
  }
}

// A right password is never reported as a wrong one; a wrong one always is.
TEST_F(Pkcs12ReaderTest, ErrorsSayWhatIsWrong) {
  const KeyPtr other_key = NewKey();
  X509StackPtr cas(sk_X509_new_null());
  sk_X509_push(cas.get(), X509_dup(certificate_.get()));
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* password;
    OpenStatus status;
  };
  const Case cases[] = {
      {"control: key and its certificate",
       Der(Create(key_.get(), certificate_.get(), nullptr).get()), kPassword,
       OpenStatus::kOk},
      {"wrong password",
       Der(Create(key_.get(), certificate_.get(), nullptr).get()), "Secret",
       OpenStatus::kBadPassword},
      {"a key without any certificate",
       Der(Create(key_.get(), nullptr, nullptr).get()), kPassword,
       OpenStatus::kNoCertificateForKey},
      {"a key with only another key's certificate",
       Der(Create(other_key.get(), nullptr, cas.get()).get()), kPassword,
       OpenStatus::kNoCertificateForKey},
      {"no MAC, right password",
       Der(Create(key_.get(), certificate_.get(), nullptr, 2048, -1).get()),
       kPassword, OpenStatus::kOk},
      {"no MAC, wrong password",
       Der(Create(key_.get(), certificate_.get(), nullptr, 2048, -1).get()),
       "Secret", OpenStatus::kBadPassword},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Open(c.bytes, c.password).status, c.status);
  }
}

// An application decodes the reply as UTF-8: a CN whose UTF8String is not
// UTF-8 must not reach it raw. (OpenSSL 3 already refuses to decode such a
// certificate, so the container does not open at all.)
TEST_F(Pkcs12ReaderTest, SubjectIsAlwaysValidUtf8) {
  const X509Ptr broken =
      NewCertificate(key_.get(), "Bad \xff\xfe name", V_ASN1_UTF8STRING);
  const Outcome outcome =
      Open(Der(Create(key_.get(), broken.get(), nullptr).get()));
  EXPECT_EQ(outcome.status, OpenStatus::kMalformed);
  EXPECT_EQ(outcome.texts.subject, "");

  const X509Ptr fine = NewCertificate(key_.get(), "Zoë", V_ASN1_UTF8STRING);
  EXPECT_EQ(
      Open(Der(Create(key_.get(), fine.get(), nullptr).get())).texts.subject,
      "Zoë");
}

// The application's default OpenSSL context is its own: opening a legacy
// container (RC2-40) must not make legacy algorithms appear there. A fresh
// process, so that nothing earlier has touched the default context.
TEST(Pkcs12ReaderIsolationTest, LeavesTheDefaultContextAlone) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const auto md4 = [] {
          EVP_MD* md = EVP_MD_fetch(nullptr, "MD4", nullptr);
          EVP_MD_free(md);
          return md != nullptr;
        };
        const bool before = md4();
        const bool opened =
            Open(quorvane_testing::ReadFileBytes(
                     std::string(QUORVANE_FIXTURE_DIR) + "/legacy-rc2-40.p12"))
                .status == OpenStatus::kOk;
        std::exit(opened && !before && !md4() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quorvane
