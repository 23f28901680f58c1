#include "gateway/DemoSeed.h"

#include <filesystem>

#include "gateway/CertFormat.h"
#include "gateway/GatewayRandom.h"
#include "gateway/KeyCache.h"
#include "system/SecureFiles.h"

namespace karv::gateway {
namespace {
constexpr long kDay = 86400;
constexpr int kIterations = 2048;

}  // namespace

Bytes makePfx(EVP_PKEY* key, X509* cert, const DevCa& ca, const std::string& password) {
  X509StackPtr chain(sk_X509_new_null());
  for (const X509* c : {ca.issuing(), ca.root()}) {
    X509* copy = X509_dup(c);
    if (!chain || !copy || !sk_X509_push(chain.get(), copy)) {
      X509_free(copy);
      return {};
    }
  }
  const std::string name = nameEntry(X509_get_subject_name(cert), NID_commonName);
  Pkcs12Ptr p12(PKCS12_create(password.c_str(), name.c_str(), key, cert, chain.get(),
                              NID_pbe_WithSHA1And3_Key_TripleDES_CBC, NID_pbe_WithSHA1And3_Key_TripleDES_CBC,
                              kIterations, -1, 0));
  if (!p12 || PKCS12_set_mac(p12.get(), password.c_str(), -1, nullptr, 0, kIterations, EVP_sha1()) != 1) return {};
  unsigned char* der = nullptr;
  const int len = i2d_PKCS12(p12.get(), &der);
  if (len <= 0) return {};
  OpenSslStringPtr owned(reinterpret_cast<char*>(der));
  return Bytes(der, der + len);
}

bool seedDemoCertificates(UserStore& users, CertStore& certs, const DevCa& ca, const DemoSeedPlace& place,
                          std::string& error) {
  const std::time_t now = place.now;
  const std::string& dataDir = place.dataDir;
  for (auto& [idno, user] : users.all()) {
    const long daysLeft = user.demo.certExpiresInDays;
    if (daysLeft <= 0) continue;
    PkeyPtr key = cachedRsaKey("demo-" + idno, place.keyCacheDir);
    X509Ptr cert = key ? ca.issue(key.get(), user.demo.cn, now - (place.validityDays - daysLeft) * kDay,
                                  now + daysLeft * kDay, randomSerial())
                       : nullptr;
    if (!cert) {
      error = "cannot make the demo certificate of " + idno;
      return false;
    }
    if (!dataDir.empty()) {
      const Bytes pfx = makePfx(key.get(), cert.get(), ca, kDemoPfxPassword);
      const std::string path = demoPfxPath(dataDir, idno);
      if (pfx.empty() || !makeFolders(std::filesystem::path(path).parent_path().string(), 0700) ||
          !writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(pfx.data()), pfx.size()), 0600)) {
        error = "cannot write the demo certificate file of " + idno;
        return false;
      }
    }
    CertRecord& record = certs.add(idno, CertKind::Apply, std::move(cert));
    record.state = CertState::Active;
    record.installed = true;
  }
  return true;
}

}  // namespace karv::gateway
