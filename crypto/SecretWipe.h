#pragma once
#include <optional>
#include <string>

namespace karv {

// Overwrites a secret (a password, a private key, a verification code) before
// it is let go, so it does not linger in freed memory; it is empty afterwards.
void wipeSecret(std::string& secret);
// The same for one that may be absent; it is absent afterwards.
void wipeSecret(std::optional<std::string>& secret);

}  // namespace karv
