#include "crypto/SecretWipe.h"

#include <openssl/crypto.h>

namespace karv {

void wipeSecret(std::string& secret) {
  // OPENSSL_cleanse, unlike a plain fill, is not optimised away.
  if (!secret.empty()) OPENSSL_cleanse(secret.data(), secret.size());
  secret.clear();
}

void wipeSecret(std::optional<std::string>& secret) {
  if (secret) wipeSecret(*secret);
  secret.reset();
}

}  // namespace karv
