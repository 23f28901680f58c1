#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "crypto/RSAUtility.h"
#include "protocol/GatewayEndpoint.h"
#include "protocol/HttpTransport.h"
#include "protocol/ParamList.h"

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

  // A reply body as the transport hands it over, opened: base64, then the
  // regime's decryption, then Big5. None at any failure.
  [[nodiscard]] std::optional<std::string> openPubKeyReply(const std::optional<std::string>& body) const;
  [[nodiscard]] std::optional<std::string> openAesReply(const std::string& aesKey,
                                                        const std::optional<std::string>& body) const;

  // A parameter's value as the log shows it: a secret masked whole, a
  // personal number masked in part, anything else as it is.
  [[nodiscard]] static std::string loggedParamValue(const std::string& name, const std::string& value);

 private:
  RSAUtility rsa_;
  HttpTransport transport_;
};

}  // namespace karv
