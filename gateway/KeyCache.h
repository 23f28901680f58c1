#pragma once
#include <string>

#include "crypto/OpenSslHandles.h"

namespace karv::gateway {

// Development RSA keys (2048 bits) by name. Making one takes a noticeable
// fraction of a second, so each is made once per process and, when a folder
// is given, kept there (owner-only) for later processes: the test programs
// start many gateways.
[[nodiscard]] PkeyPtr cachedRsaKey(const std::string& name, const std::string& folder);

[[nodiscard]] PkeyPtr generateRsaKey(int bits);
[[nodiscard]] std::string privateKeyPem(EVP_PKEY* key);  // unencrypted PKCS#8
[[nodiscard]] PkeyPtr privateKeyFromPem(const std::string& pem);

}  // namespace karv::gateway
