#ifndef QUORVANE_WINDOWS_PKCS12_WORK_BUDGET_H_
#define QUORVANE_WINDOWS_PKCS12_WORK_BUDGET_H_

// What one container may make the reader do. A container is untrusted
// input (a file that a user picked), and the reader runs on the engine's
// thread, where every second of key derivation is a second in which the
// application's window does not respond. Every derivation's parameters are
// read and charged here *before* it runs; a refusal names the limit.
//
// Costs are counted in iterations of the derivation's hash (PKCS#12 KDF,
// PBKDF2). scrypt counts N*r*p, which on this kind of machine costs about
// what as many PBKDF2-HMAC-SHA512 iterations do.

#include <openssl/types.h>
#include <openssl/x509.h>

#include <cstdint>
#include <string>

namespace quorvane {

// Real containers we know: a 1,000,000-iteration SHA-256 MAC (the shared
// corpus), and NSS's pk12util making 600,000 iterations for each of its
// derivations. One derivation at the limit costs about half a second here
// (PBKDF2-HMAC-SHA512); a managed runtime's loader stops at 300,000.
constexpr uint64_t kMaxIterationsPerDerivation = 1000000;
// All derivations of one call together, repeated sections counted each
// time, the empty password's second MAC too: about a second of CPU here at
// the dearest hash (SHA-512), and room for the corpus's containers with
// three 1,000,000-iteration derivations (MAC, certificates, key).
constexpr uint64_t kMaxIterationsPerContainer = 3000000;
// scrypt's memory is 128*N*r bytes: 64 MiB at most.
constexpr uint64_t kMaxScryptMemory = uint64_t{64} << 20;
// As a managed runtime's loader allows: far beyond any real chain.
constexpr int kMaxCertificates = 200;
constexpr int kMaxKeys = 200;
// SafeContents bags inside SafeContents bags: real makers never nest.
constexpr int kMaxBagNesting = 8;

class WorkBudget {
 public:
  enum class Verdict { kAllowed, kTooMuchWork, kUnavailable };

  explicit WorkBudget(OSSL_LIB_CTX* context) : context_(context) {}

  // Checks the password-based algorithm `algorithm` (a PKCS#12 PBE, PBES2
  // with PBKDF2 or scrypt) against the limits and that its cipher and hash
  // are available, then charges it. On refusal `problem` says why: the
  // limit, or the algorithm that is missing.
  Verdict ChargeEncryption(const X509_ALGOR* algorithm, std::string* problem);
  // The same for a MAC with the given digest and iteration count.
  Verdict ChargeMac(const X509_ALGOR* digest, uint64_t iterations,
                    std::string* problem);

  bool CountCertificate(std::string* problem);
  bool CountKey(std::string* problem);

 private:
  Verdict Charge(uint64_t iterations, const std::string& what,
                 std::string* problem);
  bool Fetchable(int nid, bool cipher) const;

  OSSL_LIB_CTX* context_;
  uint64_t spent_ = 0;
  int certificates_ = 0;
  int keys_ = 0;
};

}  // namespace quorvane

#endif  // QUORVANE_WINDOWS_PKCS12_WORK_BUDGET_H_
