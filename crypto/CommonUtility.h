#pragma once
#include "OpenSslHandles.h"

#include <cstdint>
#include <optional>
#include <string>

namespace karv {

// Encodings shared by the crypto and protocol layers. Stateless.
class CommonUtility {
 public:
  // One line of RFC 4648 base64 with "=" padding; "" for no bytes.
  [[nodiscard]] std::string base64Encode(const std::uint8_t* data, int32_t dataSize) const;
  [[nodiscard]] std::string base64Encode(const std::string& text) const;
  // Strict: white space, line breaks, foreign characters or bad padding give none.
  [[nodiscard]] std::optional<Bytes> base64Decode(const std::string& text) const;

  // Upper-case hexadecimal, two digits per byte, no separators.
  [[nodiscard]] std::string hexEncode(const std::uint8_t* data, int32_t dataSize) const;
  [[nodiscard]] std::string hexEncode(const Bytes& data) const;
};

}  // namespace karv
