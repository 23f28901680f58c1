#pragma once
#include <cstdint>
#include <string>

namespace karv::gateway {

// Secrets and identifiers from OpenSSL's CSPRNG.
// n characters drawn evenly from the alphabet.
[[nodiscard]] std::string randomText(size_t n, const std::string& alphabet);
[[nodiscard]] std::string randomDigits(size_t n);
[[nodiscard]] std::string randomAlnum(size_t n);
// A positive 63-bit number (fits a signed long, as certificate serials must here).
[[nodiscard]] std::uint64_t randomSerial();

}  // namespace karv::gateway
