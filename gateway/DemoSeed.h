#pragma once
#include <ctime>
#include <string>

#include "gateway/CertStore.h"
#include "gateway/DevCa.h"
#include "gateway/UserStore.h"

namespace karv::gateway {

// The password of the PKCS#12 files the gateway writes for demo users that
// start with a certificate (<data folder>/demo-certs/<ID number>.pfx).
inline constexpr char kDemoPfxPassword[] = "demo1234";
inline std::string demoPfxPath(const std::string& dataDir, const std::string& idno) {
  return dataDir + "/demo-certs/" + idno + ".pfx";
}

struct DemoSeedPlace {
  std::time_t now = 0;
  long validityDays = 365;
  std::string dataDir;      // "" : no .pfx files
  std::string keyCacheDir;  // see cachedRsaKey
};

// Gives every demo user with "certExpiresInDays" an active certificate that
// expires that many days from now, and (with a data folder) writes it with its
// key as a .pfx, so the client can renew it. False when something fails.
[[nodiscard]] bool seedDemoCertificates(UserStore& users, CertStore& certs, const DevCa& ca, const DemoSeedPlace& place,
                                        std::string& error);

// A PKCS#12 file: key and certificate with the CA certificates, PBE-SHA1-3DES
// for key and certificates, an HMAC-SHA1 MAC, 2048 iterations. Made here, not
// with the client's writer, so the client is tested on a file it did not write.
[[nodiscard]] Bytes makePfx(EVP_PKEY* key, X509* cert, const DevCa& ca, const std::string& password);

}  // namespace karv::gateway
