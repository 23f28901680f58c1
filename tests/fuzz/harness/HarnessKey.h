#pragma once
// The RSA key the harnesses seal replies and match certificates with. Made
// once and kept in the build's key cache: nothing private is checked in.
#include <string>

#include "crypto/OpenSslHandles.h"

namespace karv::fuzz {

[[nodiscard]] EVP_PKEY* harnessKey();
[[nodiscard]] const std::string& harnessPublicKeyPem();

}  // namespace karv::fuzz
