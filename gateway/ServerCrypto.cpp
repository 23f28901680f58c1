#include "gateway/ServerCrypto.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstdio>
#include <memory>

#include "crypto/RSAUtility.h"
#include "system/CommonUtility.h"
#include "system/Log.h"

namespace karv::gateway {
namespace {
constexpr size_t kBlock = 256;
constexpr size_t kPlainPerBlock = kBlock - 11;  // PKCS#1 v1.5

struct FileCloser {
  void operator()(FILE* f) const noexcept { std::fclose(f); }
};

PkeyCtxPtr privateContext(EVP_PKEY* key, int (*init)(EVP_PKEY_CTX*)) {
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
  if (!ctx || init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0) return nullptr;
  return ctx;
}
}  // namespace

ServerCrypto::ServerCrypto(const std::string& privateKeyPemFile) {
  std::unique_ptr<FILE, FileCloser> f(std::fopen(privateKeyPemFile.c_str(), "rb"));
  if (f) key_.reset(PEM_read_PrivateKey(f.get(), nullptr, nullptr, nullptr));
  if (!key_) logOpenSslErrors("gateway key " + privateKeyPemFile);
}

std::optional<std::string> ServerCrypto::openRsaValue(const std::string& b64) const {
  auto raw = CommonUtility().base64Decode(b64);
  if (!key_ || !raw || raw->size() != kBlock) return std::nullopt;
  PkeyCtxPtr ctx = privateContext(key_.get(), EVP_PKEY_decrypt_init);
  Bytes out(kBlock);
  size_t len = out.size();
  if (!ctx || EVP_PKEY_decrypt(ctx.get(), out.data(), &len, raw->data(), raw->size()) <= 0) {
    ERR_clear_error();
    return std::nullopt;
  }
  return std::string(reinterpret_cast<const char*>(out.data()), len);
}

std::optional<std::string> ServerCrypto::openAesValue(const std::string& aesKey, const std::string& b64) const {
  auto raw = CommonUtility().base64Decode(b64);
  if (!raw) return std::nullopt;
  auto plain = RSAUtility().decryptWithAes(aesKey, *raw);
  if (!plain) return std::nullopt;
  return std::string(plain->begin(), plain->end());
}

std::string ServerCrypto::sealRsaReply(const std::string& plain) const {
  if (!key_) return {};
  // A raw PKCS#1 type-1 operation: what the client's verify_recover opens.
  PkeyCtxPtr ctx = privateContext(key_.get(), EVP_PKEY_sign_init);
  if (!ctx) return {};
  Bytes sealed;
  for (size_t offset = 0; offset < plain.size(); offset += kPlainPerBlock) {
    const size_t n = std::min(kPlainPerBlock, plain.size() - offset);
    Bytes block(kBlock);
    size_t len = block.size();
    if (EVP_PKEY_sign(ctx.get(), block.data(), &len, reinterpret_cast<const unsigned char*>(plain.data()) + offset,
                      n) <= 0) {
      logOpenSslErrors("gateway seal");
      return {};
    }
    sealed.insert(sealed.end(), block.begin(), block.begin() + static_cast<long>(len));
  }
  return CommonUtility().base64Encode(sealed.data(), static_cast<int32_t>(sealed.size()));
}

std::string ServerCrypto::sealAesReply(const std::string& aesKey, const std::string& plain) const {
  Bytes out;
  int32_t outSize = 0;
  if (RSAUtility().encryptWithAes(aesKey, reinterpret_cast<const std::uint8_t*>(plain.data()),
                                  static_cast<int32_t>(plain.size()), out, outSize) != RSAUtility::kOk)
    return {};
  return CommonUtility().base64Encode(out.data(), outSize);
}

}  // namespace karv::gateway
