#ifndef QUORVANE_WINDOWS_OPENSSL_PTR_H_
#define QUORVANE_WINDOWS_OPENSSL_PTR_H_

// OpenSSL objects owned by std::unique_ptr, each with its own free function,
// so that every exit path releases everything without a cleanup ladder.

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <memory>

namespace quorvane {

template <auto Free>
struct OpensslDeleter {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};

// Stacks own their elements.
struct X509StackDeleter {
  void operator()(STACK_OF(X509) * stack) const {
    sk_X509_pop_free(stack, X509_free);
  }
};
struct Pkcs7StackDeleter {
  void operator()(STACK_OF(PKCS7) * stack) const {
    sk_PKCS7_pop_free(stack, PKCS7_free);
  }
};
struct SafeBagStackDeleter {
  void operator()(STACK_OF(PKCS12_SAFEBAG) * stack) const {
    sk_PKCS12_SAFEBAG_pop_free(stack, PKCS12_SAFEBAG_free);
  }
};
// OPENSSL_free is a macro.
struct OpensslBufferDeleter {
  void operator()(unsigned char* buffer) const { OPENSSL_free(buffer); }
};

using BioPtr = std::unique_ptr<BIO, OpensslDeleter<BIO_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, OpensslDeleter<PKCS12_free>>;
using X509Ptr = std::unique_ptr<X509, OpensslDeleter<X509_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, OpensslDeleter<EVP_PKEY_free>>;
using P8Ptr = std::unique_ptr<PKCS8_PRIV_KEY_INFO,
                              OpensslDeleter<PKCS8_PRIV_KEY_INFO_free>>;
using CipherPtr = std::unique_ptr<EVP_CIPHER, OpensslDeleter<EVP_CIPHER_free>>;
using MdPtr = std::unique_ptr<EVP_MD, OpensslDeleter<EVP_MD_free>>;
using Pbe1Ptr = std::unique_ptr<PBEPARAM, OpensslDeleter<PBEPARAM_free>>;
using Pbe2Ptr = std::unique_ptr<PBE2PARAM, OpensslDeleter<PBE2PARAM_free>>;
using Pbkdf2Ptr =
    std::unique_ptr<PBKDF2PARAM, OpensslDeleter<PBKDF2PARAM_free>>;
using ScryptPtr =
    std::unique_ptr<SCRYPT_PARAMS, OpensslDeleter<SCRYPT_PARAMS_free>>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackDeleter>;
using Pkcs7StackPtr = std::unique_ptr<STACK_OF(PKCS7), Pkcs7StackDeleter>;
using SafeBagStackPtr =
    std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), SafeBagStackDeleter>;
using OpensslBuffer = std::unique_ptr<unsigned char, OpensslBufferDeleter>;

}  // namespace quorvane

#endif  // QUORVANE_WINDOWS_OPENSSL_PTR_H_
