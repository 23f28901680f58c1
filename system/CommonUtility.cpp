#include "system/CommonUtility.h"

#include <openssl/evp.h>

#include "system/IntSize.h"

namespace karv {
namespace {
bool isBase64Char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}
}  // namespace

std::string CommonUtility::base64Encode(const std::uint8_t* data, int32_t dataSize) const {
  // EVP_EncodeBlock returns the output length as an int.
  if (!data || dataSize <= 0 || dataSize > INT_MAX / 4 * 3) return {};
  std::string out(4 * ((static_cast<size_t>(dataSize) + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, dataSize);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

std::string CommonUtility::base64Encode(const std::string& text) const {
  if (!fitsInt(text.size())) return {};
  return base64Encode(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
}

std::string CommonUtility::base64Encode(const Bytes& data) const {
  if (!fitsInt(data.size())) return {};
  return base64Encode(data.data(), static_cast<int32_t>(data.size()));
}

std::optional<Bytes> CommonUtility::base64Decode(const std::string& text) const {
  // EVP_DecodeBlock forgives blanks and ignores bad padding, so the form is
  // checked here first: groups of four, "=" only as the last one or two.
  if (text.empty() || text.size() % 4 != 0 || !fitsInt(text.size())) return std::nullopt;
  size_t padding = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '=') {
      if (i + 2 < text.size()) return std::nullopt;
      ++padding;
    } else if (padding > 0 || !isBase64Char(c)) {
      return std::nullopt;
    }
  }
  Bytes out(text.size() / 4 * 3);
  const int n =
      EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (n < 0 || static_cast<size_t>(n) < padding) return std::nullopt;
  out.resize(static_cast<size_t>(n) - padding);
  return out;
}

std::string CommonUtility::hexEncode(const std::uint8_t* data, int32_t dataSize) const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  if (!data || dataSize <= 0) return out;
  out.reserve(static_cast<size_t>(dataSize) * 2);
  for (int32_t i = 0; i < dataSize; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 0x0F]);
  }
  return out;
}

std::string CommonUtility::hexEncode(const Bytes& data) const {
  if (!fitsInt(data.size())) return {};
  return hexEncode(data.data(), static_cast<int32_t>(data.size()));
}

}  // namespace karv
