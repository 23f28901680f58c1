#include "crypto/CsrGenerator.h"

#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "crypto/CertStatus.h"
#include "crypto/OpenSslHandles.h"
#include "system/Log.h"

namespace karv {
namespace {

constexpr unsigned kPublicExponent = 65537;

PkeyPtr generateRsaKey(int32_t bits) {
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  BignumPtr exponent(BN_new());
  EVP_PKEY* key = nullptr;
  if (!ctx || !exponent || BN_set_word(exponent.get(), kPublicExponent) != 1 || EVP_PKEY_keygen_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits) <= 0 ||
      EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), exponent.get()) <= 0 || EVP_PKEY_keygen(ctx.get(), &key) <= 0)
    return nullptr;
  return PkeyPtr(key);
}

// The key as unencrypted PKCS#8 PEM; "" on failure.
std::string pkcs8Pem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PKCS8PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) return {};
  return bioToString(bio.get());
}

std::string requestPem(X509_REQ* req) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509_REQ(bio.get(), req) != 1) return {};
  return bioToString(bio.get());
}

// Version 0, the public key, and a subject of exactly the one common name.
bool fillRequest(X509_REQ* req, EVP_PKEY* key, const std::string& cn) {
  X509_NAME* subject = X509_REQ_get_subject_name(req);
  return X509_REQ_set_version(req, 0) == 1 && X509_REQ_set_pubkey(req, key) == 1 &&
         X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn.c_str()),
                                    -1, -1, 0) == 1;
}

// Logs what OpenSSL has to say about the failed step and returns its status.
int32_t failed(const char* step, int32_t status) {
  logOpenSslErrors(step);
  return status;
}

}  // namespace

int32_t CsrGenerator::createCSR(const std::string& cn, int32_t keyLength, std::string& csr,
                                std::string& privateKey) const {
  using namespace certstatus;
  if (cn.empty()) return kEmptyCommonName;
  X509ReqPtr req(X509_REQ_new());
  if (!req) return kRequestFailed;
  PkeyPtr key = generateRsaKey(keyLength);
  if (!key) return failed("generate rsa key", kKeyGenerationFailed);
  std::string keyPem = pkcs8Pem(key.get());
  if (keyPem.empty()) return failed("write private key", kKeyGenerationFailed);
  if (!fillRequest(req.get(), key.get(), cn)) return failed("fill request", kRequestFailed);
  if (X509_REQ_sign(req.get(), key.get(), EVP_sha256()) <= 0) return failed("sign request", kRequestSignFailed);
  std::string reqPem = requestPem(req.get());
  if (reqPem.empty()) return failed("write request", kRequestFailed);
  // A certificate issued for this request is worthless without its key, so a
  // key that cannot be kept fails the whole call.
  if (!store_.saveNewKey(keyPem)) return kKeyFileNotSaved;
  csr = std::move(reqPem);
  privateKey = std::move(keyPem);
  return kOk;
}

}  // namespace karv
