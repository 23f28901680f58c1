#pragma once
#include <string>

namespace karv::gateway {

// Changed login passwords are kept only as salted PBKDF2-HMAC-SHA256 hashes
// ("pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>").
[[nodiscard]] std::string hashPassword(const std::string& password);
[[nodiscard]] bool verifyPassword(const std::string& password, const std::string& hash);

// Comparison whose time does not depend on where the texts differ.
[[nodiscard]] bool sameSecret(const std::string& a, const std::string& b);

}  // namespace karv::gateway
