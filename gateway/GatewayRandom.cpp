#include "gateway/GatewayRandom.h"

#include <openssl/rand.h>

#include <cstdlib>

namespace karv::gateway {
namespace {
void fill(unsigned char* out, size_t n) {
  // Without entropy there is no safe key or code to hand out.
  if (RAND_bytes(out, static_cast<int>(n)) != 1) std::abort();
}
}  // namespace

std::string randomText(size_t n, const std::string& alphabet) {
  std::string out;
  out.reserve(n);
  // Rejection sampling keeps every character equally likely.
  const unsigned limit = 256 - 256 % alphabet.size();
  while (out.size() < n) {
    unsigned char byte = 0;
    fill(&byte, 1);
    if (byte < limit) out.push_back(alphabet[byte % alphabet.size()]);
  }
  return out;
}

std::string randomDigits(size_t n) { return randomText(n, "0123456789"); }

std::string randomAlnum(size_t n) {
  return randomText(n, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
}

std::uint64_t randomSerial() {
  std::uint64_t value = 0;
  while (value == 0) {
    fill(reinterpret_cast<unsigned char*>(&value), sizeof value);
    value &= 0x7FFFFFFFFFFFFFFFULL;
  }
  return value;
}

}  // namespace karv::gateway
