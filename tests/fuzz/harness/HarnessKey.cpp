#include "HarnessKey.h"

#include <openssl/pem.h>

#include "gateway/DevGateway.h"
#include "gateway/KeyCache.h"

namespace karv::fuzz {

EVP_PKEY* harnessKey() {
  static const PkeyPtr key = gateway::cachedRsaKey("fuzz-harness", gateway::GatewayOptions::defaultKeyCacheDir());
  return key.get();
}

const std::string& harnessPublicKeyPem() {
  static const std::string pem = [] {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || !harnessKey() || PEM_write_bio_PUBKEY(bio.get(), harnessKey()) != 1) return std::string();
    return bioToString(bio.get());
  }();
  return pem;
}

}  // namespace karv::fuzz
