#include "gateway/PasswordHash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <vector>

#include "gateway/GatewayRandom.h"
#include "system/CommonUtility.h"

namespace karv::gateway {
namespace {
constexpr char kScheme[] = "pbkdf2-sha256";
constexpr int kIterations = 10000;
constexpr size_t kHashBytes = 32;

std::string derive(const std::string& password, const std::string& salt, int iterations) {
  std::vector<unsigned char> out(kHashBytes);
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), iterations,
                        EVP_sha256(), static_cast<int>(out.size()), out.data()) != 1)
    return {};
  return CommonUtility().hexEncode(out.data(), static_cast<int32_t>(out.size()));
}
}  // namespace

std::string hashPassword(const std::string& password) {
  const std::string salt = randomAlnum(16);
  return std::string(kScheme) + "$" + std::to_string(kIterations) + "$" + salt + "$" +
         derive(password, salt, kIterations);
}

bool verifyPassword(const std::string& password, const std::string& hash) {
  // scheme $ iterations $ salt $ hash
  const auto a = hash.find('$');
  const auto b = hash.find('$', a + 1);
  const auto c = hash.find('$', b + 1);
  if (a == std::string::npos || b == std::string::npos || c == std::string::npos) return false;
  if (hash.substr(0, a) != kScheme) return false;
  const int iterations = std::atoi(hash.substr(a + 1, b - a - 1).c_str());
  if (iterations <= 0) return false;
  const std::string expected = derive(password, hash.substr(b + 1, c - b - 1), iterations);
  return !expected.empty() && sameSecret(expected, hash.substr(c + 1));
}

bool sameSecret(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace karv::gateway
