#pragma once
// Owning handles for OpenSSL objects: each is freed by the type that holds it,
// from the line it is made, so no branch can leak or double-free it.
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "system/Bytes.h"
#include "system/FreeWith.h"

namespace karv {

template <auto FreeFn>
using OpenSslDeleter = FreeWith<FreeFn>;

using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, OpenSslDeleter<EVP_CIPHER_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using X509ReqPtr = std::unique_ptr<X509_REQ, OpenSslDeleter<X509_REQ_free>>;
using X509NamePtr = std::unique_ptr<X509_NAME, OpenSslDeleter<X509_NAME_free>>;
using X509ExtensionPtr = std::unique_ptr<X509_EXTENSION, OpenSslDeleter<X509_EXTENSION_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, OpenSslDeleter<PKCS12_free>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, OpenSslDeleter<PKCS7_free>>;
using Asn1IntegerPtr = std::unique_ptr<ASN1_INTEGER, OpenSslDeleter<ASN1_INTEGER_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, OpenSslDeleter<BN_free>>;

inline void freeX509Stack(STACK_OF(X509) * s) noexcept { sk_X509_pop_free(s, X509_free); }
using X509StackPtr = std::unique_ptr<STACK_OF(X509), OpenSslDeleter<freeX509Stack>>;

// Text owned by OpenSSL (X509_NAME_oneline, BN_bn2hex, ...).
inline void freeOpenSslString(char* p) noexcept { OPENSSL_free(p); }
using OpenSslStringPtr = std::unique_ptr<char, OpenSslDeleter<freeOpenSslString>>;

// The bytes a memory BIO holds, as a string.
inline std::string bioToString(BIO* bio) {
  char* data = nullptr;
  const long len = BIO_get_mem_data(bio, &data);
  return len > 0 ? std::string(data, static_cast<size_t>(len)) : std::string();
}

}  // namespace karv
