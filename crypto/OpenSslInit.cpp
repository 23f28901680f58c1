#include "crypto/OpenSslInit.h"

#include <openssl/provider.h>

#include "system/Log.h"

namespace karv {

bool loadOpenSslProviders() {
  static const bool legacyLoaded = [] {
    // Loading "legacy" explicitly stops the implicit load of "default", so both are named.
    OSSL_PROVIDER* def = OSSL_PROVIDER_load(nullptr, "default");
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    if (!def) logOpenSslErrors("load default provider");
    if (!legacy) logOpenSslErrors("load legacy provider");
    logf("OpenSSL legacy provider %s", legacy ? "loaded" : "not available");
    return legacy != nullptr;
  }();
  return legacyLoaded;
}

}  // namespace karv
