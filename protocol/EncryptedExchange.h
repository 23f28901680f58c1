#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "GatewayEndpoint.h"
#include "HttpTransport.h"
#include "ParamList.h"
#include "RSAUtility.h"

namespace karv {

// The two regimes of a gateway request: every non-empty value encrypted (RSA
// public key or session AES key), posted, and the reply opened the same way.
class EncryptedExchange {
 public:
  explicit EncryptedExchange(const GatewayEndpoint& endpoint);

  // Transport status; dataOut stays absent unless the reply opened to Big5 text.
  [[nodiscard]] int32_t httpPubKeyEncPost(const std::string& url, const ParamList& postParams,
                                          std::optional<std::string>& dataOut) const;
  [[nodiscard]] int32_t httpAesEncPost(const std::string& url, const std::string& aesKey, const ParamList& postParams,
                                       std::optional<std::string>& dataOut) const;

  // Parameters whose values never reach the log.
  [[nodiscard]] static bool isSecretParam(const std::string& name);

 private:
  RSAUtility rsa_;
  HttpTransport transport_;
};

}  // namespace karv
