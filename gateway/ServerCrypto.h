#pragma once
#include <optional>
#include <string>

#include "crypto/OpenSslHandles.h"

namespace karv::gateway {

// The gateway's half of the parameter encryption: RSA private-key operations
// for the public-key regime, AES for sessions (shared with the client code).
class ServerCrypto {
 public:
  // Loads the gateway's RSA private key (PEM). Check loaded() afterwards.
  explicit ServerCrypto(const std::string& privateKeyPemFile);
  explicit ServerCrypto(PkeyPtr key) : key_(std::move(key)) {}
  [[nodiscard]] bool loaded() const { return key_ != nullptr; }

  // A form value: base64 of one RSA block made with the public key.
  [[nodiscard]] std::optional<std::string> openRsaValue(const std::string& b64) const;
  [[nodiscard]] std::optional<std::string> openAesValue(const std::string& aesKey, const std::string& b64) const;

  // A reply body: base64 of 256-byte private-key blocks (245 plain bytes each).
  [[nodiscard]] std::string sealRsaReply(const std::string& plain) const;
  [[nodiscard]] std::string sealAesReply(const std::string& aesKey, const std::string& plain) const;

 private:
  PkeyPtr key_;
};

}  // namespace karv::gateway
