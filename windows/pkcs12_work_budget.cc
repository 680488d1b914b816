#include "pkcs12_work_budget.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>

#include "openssl_ptr.h"

namespace quorvane {
namespace {

// The parameters of an AlgorithmIdentifier, decoded as `Item`; none when
// absent or malformed.
template <typename T>
T* Unpack(const ASN1_ITEM* item, const X509_ALGOR* algorithm) {
  if (algorithm == nullptr || algorithm->parameter == nullptr) {
    return nullptr;
  }
  return static_cast<T*>(ASN1_TYPE_unpack_sequence(item, algorithm->parameter));
}

// A non-negative INTEGER that fits 64 bits; anything else is "unbounded".
uint64_t Count(const ASN1_INTEGER* value, uint64_t absent) {
  if (value == nullptr) {
    return absent;
  }
  uint64_t count = 0;
  return ASN1_INTEGER_get_uint64(&count, value) == 1 ? count : UINT64_MAX;
}

std::string NameOf(int nid, const ASN1_OBJECT* object) {
  if (nid != NID_undef) {
    return OBJ_nid2sn(nid);
  }
  char text[128] = "an unknown algorithm";
  if (object != nullptr) {
    OBJ_obj2txt(text, sizeof text, object, 1);
  }
  return text;
}

// a * b, or UINT64_MAX when it would not fit.
uint64_t Times(uint64_t a, uint64_t b) {
  return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

}  // namespace

bool WorkBudget::Fetchable(int nid, bool cipher) const {
  const char* name = OBJ_nid2sn(nid);
  if (name == nullptr) {
    return false;
  }
  if (cipher) {
    return CipherPtr(EVP_CIPHER_fetch(context_, name, nullptr)) != nullptr;
  }
  return MdPtr(EVP_MD_fetch(context_, name, nullptr)) != nullptr;
}

WorkBudget::Verdict WorkBudget::Charge(uint64_t iterations,
                                       const std::string& what,
                                       std::string* problem) {
  if (iterations > kMaxIterationsPerDerivation) {
    *problem = what + " of " + std::to_string(iterations) +
               " iterations (at most " +
               std::to_string(kMaxIterationsPerDerivation) + ")";
    return Verdict::kTooMuchWork;
  }
  const uint64_t cost = iterations;
  if (cost > kMaxIterationsPerContainer - spent_) {
    *problem = "more than " + std::to_string(kMaxIterationsPerContainer) +
               " iterations of key derivation in all";
    return Verdict::kTooMuchWork;
  }
  spent_ += cost;
  return Verdict::kAllowed;
}

WorkBudget::Verdict WorkBudget::ChargeMac(const X509_ALGOR* digest,
                                          uint64_t iterations,
                                          std::string* problem) {
  const ASN1_OBJECT* object = nullptr;
  X509_ALGOR_get0(&object, nullptr, nullptr, digest);
  if (!Fetchable(OBJ_obj2nid(object), false)) {
    *problem = NameOf(OBJ_obj2nid(object), object);
    return Verdict::kUnavailable;
  }
  return Charge(iterations, "a MAC", problem);
}

WorkBudget::Verdict WorkBudget::ChargeEncryption(const X509_ALGOR* algorithm,
                                                 std::string* problem) {
  const int nid = OBJ_obj2nid(algorithm->algorithm);
  if (nid == NID_pbes2) {
    const Pbe2Ptr pbes2(
        Unpack<PBE2PARAM>(ASN1_ITEM_rptr(PBE2PARAM), algorithm));
    if (!pbes2 || pbes2->keyfunc == nullptr || pbes2->encryption == nullptr) {
      *problem = "malformed PBES2 parameters";
      return Verdict::kUnavailable;
    }
    if (!Fetchable(OBJ_obj2nid(pbes2->encryption->algorithm), true)) {
      *problem = NameOf(OBJ_obj2nid(pbes2->encryption->algorithm),
                        pbes2->encryption->algorithm);
      return Verdict::kUnavailable;
    }
    const int kdf = OBJ_obj2nid(pbes2->keyfunc->algorithm);
    if (kdf == NID_id_pbkdf2) {
      const Pbkdf2Ptr pbkdf2(
          Unpack<PBKDF2PARAM>(ASN1_ITEM_rptr(PBKDF2PARAM), pbes2->keyfunc));
      if (!pbkdf2) {
        *problem = "malformed PBKDF2 parameters";
        return Verdict::kUnavailable;
      }
      const int prf = pbkdf2->prf == nullptr
                          ? NID_hmacWithSHA1
                          : OBJ_obj2nid(pbkdf2->prf->algorithm);
      // OpenSSL 3.0's table lacks the SHA-3 PRFs that its PBKDF2 still
      // handles: a PRF it cannot name is left for the derivation to judge.
      int digest = NID_undef;
      if (EVP_PBE_find(EVP_PBE_TYPE_PRF, prf, nullptr, &digest, nullptr) == 1 &&
          !Fetchable(digest, false)) {
        *problem = NameOf(
            prf, pbkdf2->prf == nullptr ? nullptr : pbkdf2->prf->algorithm);
        return Verdict::kUnavailable;
      }
      return Charge(Count(pbkdf2->iter, UINT64_MAX), "a PBKDF2 derivation",
                    problem);
    }
    if (kdf == NID_id_scrypt) {
      const ScryptPtr scrypt(
          Unpack<SCRYPT_PARAMS>(ASN1_ITEM_rptr(SCRYPT_PARAMS), pbes2->keyfunc));
      if (!scrypt) {
        *problem = "malformed scrypt parameters";
        return Verdict::kUnavailable;
      }
      const uint64_t n = Count(scrypt->costParameter, UINT64_MAX);
      const uint64_t r = Count(scrypt->blockSize, UINT64_MAX);
      const uint64_t p = Count(scrypt->parallelizationParameter, UINT64_MAX);
      const std::string what = "scrypt with N=" + std::to_string(n) +
                               ", r=" + std::to_string(r) +
                               ", p=" + std::to_string(p);
      if (Times(Times(n, r), 128) > kMaxScryptMemory) {
        *problem = what + " (128*N*r bytes of memory, at most " +
                   std::to_string(kMaxScryptMemory) + ")";
        return Verdict::kTooMuchWork;
      }
      return Charge(Times(Times(n, r), p), what + ", a derivation", problem);
    }
    *problem = NameOf(kdf, pbes2->keyfunc->algorithm);
    return Verdict::kUnavailable;
  }

  // PKCS#12's own PBEs and PKCS#5 v1.5: PBEParameter (salt, iterations).
  int cipher = NID_undef;
  int digest = NID_undef;
  if (EVP_PBE_find(EVP_PBE_TYPE_OUTER, nid, &cipher, &digest, nullptr) != 1 ||
      (cipher != NID_undef && !Fetchable(cipher, true)) ||
      (digest != NID_undef && !Fetchable(digest, false))) {
    *problem = NameOf(nid, algorithm->algorithm);
    return Verdict::kUnavailable;
  }
  const Pbe1Ptr pbe(Unpack<PBEPARAM>(ASN1_ITEM_rptr(PBEPARAM), algorithm));
  if (!pbe) {
    *problem = "malformed PBE parameters";
    return Verdict::kUnavailable;
  }
  // PKCS#12's PBEs run their SHA-1 KDF twice (key and IV), at about the
  // cost of one SHA-512 PBKDF2 run: counted once.
  return Charge(Count(pbe->iter, 1), "a key derivation", problem);
}

bool WorkBudget::CountCertificate(std::string* problem) {
  if (++certificates_ > kMaxCertificates) {
    *problem =
        "more than " + std::to_string(kMaxCertificates) + " certificates";
    return false;
  }
  return true;
}

bool WorkBudget::CountKey(std::string* problem) {
  if (++keys_ > kMaxKeys) {
    *problem = "more than " + std::to_string(kMaxKeys) + " keys";
    return false;
  }
  return true;
}

}  // namespace quorvane
