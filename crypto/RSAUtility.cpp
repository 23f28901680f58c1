#include "crypto/RSAUtility.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <map>
#include <mutex>

#include "system/CommonUtility.h"
#include "system/IntSize.h"
#include "system/Log.h"

namespace karv {

const EVP_PKEY* sharedPublicKey(const std::string& pem) {
  static std::mutex mutex;
  static std::map<std::string, PkeyPtr> cache;
  std::lock_guard lock(mutex);
  auto it = cache.find(pem);
  if (it != cache.end()) return it->second.get();
  BioPtr bio(fitsInt(pem.size()) ? BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())) : nullptr);
  PkeyPtr key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
    logOpenSslErrors("read public key");
    return nullptr;
  }
  return cache.emplace(pem, std::move(key)).first->second.get();
}

namespace {

// A context for one public-key operation with PKCS#1 v1.5 padding.
PkeyCtxPtr publicKeyContext(const EVP_PKEY* key, int (*init)(EVP_PKEY_CTX*)) {
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, const_cast<EVP_PKEY*>(key), nullptr));
  if (!ctx || init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0) {
    logOpenSslErrors("rsa context");
    return nullptr;
  }
  return ctx;
}

// Runs one AES-128-CBC pass (encrypt or decrypt) with PKCS#7 padding.
bool aesPass(bool encrypt, const std::string& key, const std::uint8_t* in, int32_t inSize, Bytes& out,
             int32_t& outSize) {
  if (key.size() != 16) return false;       // AES-128 takes exactly 16 key bytes
  if (inSize > INT_MAX - 32) return false;  // the output (a block longer) is counted in an int
  CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return false;
  const auto* k = reinterpret_cast<const unsigned char*>(key.data());
  const auto* iv = reinterpret_cast<const unsigned char*>(RSAUtility::kAesIv);
  if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, k, iv, encrypt ? 1 : 0) != 1) return false;
  EVP_CIPHER_CTX_set_padding(ctx.get(), 1);
  Bytes buffer(static_cast<size_t>(inSize) + 16);
  int updateLen = 0;
  int finalLen = 0;
  if (EVP_CipherUpdate(ctx.get(), buffer.data(), &updateLen, in, inSize) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), buffer.data() + updateLen, &finalLen) != 1) {
    ERR_clear_error();  // a wrong key shows as bad padding; nothing to report
    return false;
  }
  const int total = updateLen + finalLen;
  if (total <= 0) return false;
  buffer.resize(static_cast<size_t>(total));
  out = std::move(buffer);
  outSize = total;
  return true;
}

}  // namespace

RSAUtility::RSAUtility(std::string publicKeyPem) : publicKeyPem_(std::move(publicKeyPem)) {}

int32_t RSAUtility::encryptWithPublicKey(const std::uint8_t* dataIn, int32_t dataInSize, Bytes& dataOut,
                                         int32_t& dataOutSize) const {
  int32_t status = kFailed;
  const EVP_PKEY* key = sharedPublicKey(publicKeyPem_);
  if (!key) {
    logLine("No rsa found!!");
  } else if (dataInSize >= 0) {
    PkeyCtxPtr ctx = publicKeyContext(key, EVP_PKEY_encrypt_init);
    Bytes buffer(kBlockSize, 0);
    size_t len = buffer.size();
    // One block only: more than 245 bytes does not fit PKCS#1 v1.5 and fails.
    if (ctx && EVP_PKEY_encrypt(ctx.get(), buffer.data(), &len, dataIn, static_cast<size_t>(dataInSize)) > 0 &&
        len > 0) {
      buffer.resize(len);
      dataOut = std::move(buffer);
      dataOutSize = static_cast<int32_t>(len);
      status = kOk;
    } else {
      ERR_clear_error();
    }
  }
  logf("encrypt data Size: %d", dataOutSize);
  return status;
}

std::string RSAUtility::encryptAndB64WithPublicKey(const std::string& value) const {
  std::string result;
  if (!value.empty() && fitsInt(value.size())) {
    Bytes out;
    int32_t outSize = 0;
    (void)encryptWithPublicKey(reinterpret_cast<const std::uint8_t*>(value.data()), static_cast<int32_t>(value.size()),
                               out, outSize);
    if (outSize > 0) result = CommonUtility().base64Encode(out.data(), outSize);
  }
  // The plain value may be a password, and its ciphertext logs in as well as
  // the password does: both places stay in the lines, masked.
  logf("param before publickey encrypt: %s", kMasked);
  logf("param after publickey encrypt: %s (%zu bytes)", kMasked, result.size());
  return result;
}

int32_t RSAUtility::decryptWithPublicKey(const std::uint8_t* dataIn, int32_t dataInSize, Bytes& dataOut,
                                         int32_t& dataOutSize) const {
  dataOut.clear();
  dataOutSize = 0;
  const EVP_PKEY* key = sharedPublicKey(publicKeyPem_);
  if (!key || dataInSize < 1) return kFailed;
  PkeyCtxPtr ctx = publicKeyContext(key, EVP_PKEY_verify_recover_init);
  if (!ctx) return kFailed;
  Bytes block(kBlockSize);
  for (int32_t offset = 0; offset < dataInSize; offset += kBlockSize) {
    const size_t chunk = static_cast<size_t>(std::min<int32_t>(kBlockSize, dataInSize - offset));
    size_t len = block.size();
    if (EVP_PKEY_verify_recover(ctx.get(), block.data(), &len, dataIn + offset, chunk) > 0 && len > 0) {
      dataOut.insert(dataOut.end(), block.begin(), block.begin() + static_cast<long>(len));
    } else {
      ERR_clear_error();  // a block that does not open is skipped
    }
  }
  dataOutSize = static_cast<int32_t>(dataOut.size());
  return dataOutSize > 0 ? kOk : kFailed;
}

std::optional<Bytes> RSAUtility::decryptWithPublicKey(const Bytes& dataIn) const {
  if (dataIn.empty() || !fitsInt(dataIn.size())) return std::nullopt;
  Bytes out;
  int32_t outSize = 0;
  if (decryptWithPublicKey(dataIn.data(), static_cast<int32_t>(dataIn.size()), out, outSize) != kOk)
    return std::nullopt;
  return out;
}

int32_t RSAUtility::encryptWithAes(const std::string& key, const std::uint8_t* dataIn, int32_t dataInSize,
                                   Bytes& dataOut, int32_t& dataOutSize) const {
  if (dataInSize <= 0) return kFailed;
  return aesPass(true, key, dataIn, dataInSize, dataOut, dataOutSize) ? kOk : kFailed;
}

std::string RSAUtility::encryptAndB64WithAes(const std::string& key, const std::string& value) const {
  if (!fitsInt(value.size())) return {};
  Bytes out;
  int32_t outSize = 0;
  (void)encryptWithAes(key, reinterpret_cast<const std::uint8_t*>(value.data()), static_cast<int32_t>(value.size()),
                       out, outSize);
  return outSize > 0 ? CommonUtility().base64Encode(out.data(), outSize) : std::string();
}

int32_t RSAUtility::decryptWithAes(const std::string& key, const std::uint8_t* dataIn, int32_t dataInSize,
                                   Bytes& dataOut, int32_t& dataOutSize) const {
  if (dataInSize <= 0) return kFailed;
  return aesPass(false, key, dataIn, dataInSize, dataOut, dataOutSize) ? kOk : kFailed;
}

std::optional<Bytes> RSAUtility::decryptWithAes(const std::string& key, const Bytes& dataIn) const {
  if (!fitsInt(dataIn.size())) return std::nullopt;
  Bytes out;
  int32_t outSize = 0;
  if (decryptWithAes(key, dataIn.data(), static_cast<int32_t>(dataIn.size()), out, outSize) != kOk || outSize <= 0)
    return std::nullopt;
  return out;
}

}  // namespace karv
