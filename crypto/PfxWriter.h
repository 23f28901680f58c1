#pragma once
#include <cstdint>
#include <string>

#include "crypto/OpenSslHandles.h"
#include "system/KeyFileStore.h"

namespace karv {

// Writes .pfx files: PBE-SHA1-3DES for the key and the certificate bags,
// 2048 iterations, an HMAC-SHA1 MAC (2048 iterations), the commonName as
// friendly name. Files are replaced atomically and get mode 0600, so a failed
// write leaves the old file as it was.
class PfxWriter {
 public:
  static constexpr int kIterations = 2048;

  explicit PfxWriter(KeyFileStore store = KeyFileStore()) : store_(std::move(store)) {}

  // The issued certificate text with its PEM private key.
  [[nodiscard]] int32_t saveWithKey(const std::string& b64Cert, const std::string& pemKey, const std::string& path,
                                    const std::string& password) const;
  // The same with the key looked up among the key files: the first that
  // belongs to the certificate is used.
  [[nodiscard]] int32_t saveWithStoredKey(const std::string& b64Cert, const std::string& path,
                                          const std::string& password) const;
  // Once the .pfx opens with the password and holds the key of its
  // certificate, the key files of that key are removed: the key lives on in
  // the .pfx. The number removed; -1 when the .pfx does not qualify.
  [[nodiscard]] int removeKeyFilesSavedIn(const std::string& path, const std::string& password) const;
  // Re-encrypts the file under a new password, keeping key, certificates,
  // friendly name and CA certificates.
  [[nodiscard]] int32_t changePassword(const std::string& path, const std::string& oldPassword,
                                       const std::string& newPassword) const;

  // DER-encodes and writes; 1 when there is nothing to write or the write fails.
  [[nodiscard]] static int32_t write(PKCS12* pkcs12, const std::string& path);
  // Null when the key does not belong to the certificate.
  [[nodiscard]] static Pkcs12Ptr build(const std::string& password, const std::string& friendlyName, EVP_PKEY* key,
                                       X509* cert, STACK_OF(X509) * ca);

 private:
  KeyFileStore store_;
};

}  // namespace karv
