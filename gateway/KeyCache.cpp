#include "gateway/KeyCache.h"

#include <openssl/pem.h>

#include <map>
#include <mutex>

#include "system/Log.h"
#include "system/SecureFiles.h"

namespace karv::gateway {

PkeyPtr generateRsaKey(int bits) {
  PkeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits)));
  if (!key) logOpenSslErrors("RSA key generation");
  return key;
}

std::string privateKeyPem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PKCS8PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) return {};
  return bioToString(bio.get());
}

PkeyPtr privateKeyFromPem(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return PkeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

PkeyPtr cachedRsaKey(const std::string& name, const std::string& folder) {
  static std::mutex mutex;
  static std::map<std::string, std::string> keys;  // name -> PEM
  std::lock_guard lock(mutex);
  std::string& pem = keys[name];
  const std::string file = folder.empty() ? "" : folder + "/" + name + ".pem";
  if (pem.empty() && !file.empty()) pem = readWholeFile(file).value_or("");
  if (PkeyPtr key = privateKeyFromPem(pem)) return key;
  PkeyPtr key = generateRsaKey(2048);
  if (!key) return nullptr;
  pem = privateKeyPem(key.get());
  // One file per key, written whole: a process that reads it meanwhile sees a whole key or none.
  if (!file.empty() && !(makeFolders(folder, 0700) && writeFileAtomically(file, pem, 0600)))
    logf("karv-gateway: cannot keep key %s", file.c_str());
  return key;
}

}  // namespace karv::gateway
