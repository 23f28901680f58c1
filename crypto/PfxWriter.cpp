#include "crypto/PfxWriter.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <optional>

#include "crypto/CertStatus.h"
#include "crypto/IssuedCertificate.h"
#include "crypto/PfxReader.h"
#include "crypto/SecretWipe.h"
#include "system/CommonUtility.h"
#include "system/IntSize.h"
#include "system/Log.h"
#include "system/SecureFiles.h"

namespace karv {
namespace {

PkeyPtr readPemKey(const std::string& pem) {
  BioPtr bio(fitsInt(pem.size()) ? BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())) : nullptr);
  return PkeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

int32_t saveIssued(const std::optional<IssuedCertificates>& issued, const std::string& pemKey, const std::string& path,
                   const std::string& password) {
  if (!issued) return certstatus::kBadIssuedCertificate;
  PkeyPtr key = readPemKey(pemKey);
  const KeyedCertificate keyed = selectKeyedCertificate(*issued, key.get());
  Pkcs12Ptr pkcs12 =
      key ? PfxWriter::build(password, friendlyNameOf(keyed.cert), key.get(), keyed.cert, keyed.ca.get()) : nullptr;
  if (!pkcs12) {
    ERR_clear_error();  // an unreadable or foreign key: expected while trying key files
    return certstatus::kPfxBuildFailed;
  }
  return PfxWriter::write(pkcs12.get(), path);
}

// The friendly name the file had, or the commonName when it had none.
std::string existingFriendlyName(X509* cert) {
  int len = 0;
  const unsigned char* alias = X509_alias_get0(cert, &len);
  return alias && len > 0 ? std::string(reinterpret_cast<const char*>(alias), static_cast<size_t>(len))
                          : friendlyNameOf(cert);
}

}  // namespace

Pkcs12Ptr PfxWriter::build(const std::string& password, const std::string& friendlyName, EVP_PKEY* key, X509* cert,
                           STACK_OF(X509) * ca) {
  constexpr int kPbe = NID_pbe_WithSHA1And3_Key_TripleDES_CBC;
  // -1: no MAC from create; it is set below with SHA-1 (3.0 defaults to SHA-256).
  Pkcs12Ptr pkcs12(PKCS12_create(password.c_str(), friendlyName.empty() ? nullptr : friendlyName.c_str(), key, cert, ca,
                                 kPbe, kPbe, kIterations, -1, 0));
  if (!pkcs12 || PKCS12_set_mac(pkcs12.get(), password.c_str(), -1, nullptr, 0, kIterations, EVP_sha1()) != 1)
    return nullptr;
  return pkcs12;
}

int32_t PfxWriter::write(PKCS12* pkcs12, const std::string& path) {
  unsigned char* der = nullptr;
  const int len = pkcs12 ? i2d_PKCS12(pkcs12, &der) : 0;
  OpenSslStringPtr owned(reinterpret_cast<char*>(der));
  if (len <= 0) return certstatus::kMissing;
  // Atomic and owner-only: a failed write leaves the old file as it was.
  const bool saved = CommonUtility().saveFile(path, std::string(owned.get(), static_cast<size_t>(len)));
  return saved ? certstatus::kOk : certstatus::kMissing;
}

int32_t PfxWriter::saveWithKey(const std::string& b64Cert, const std::string& pemKey, const std::string& path,
                               const std::string& password) const {
  if (b64Cert.empty() || pemKey.empty() || path.empty()) return certstatus::kMissing;
  return saveIssued(readIssuedCertificates(b64Cert), pemKey, path, password);
}

int32_t PfxWriter::saveWithStoredKey(const std::string& b64Cert, const std::string& path,
                                     const std::string& password) const {
  const auto keyFiles = store_.keyFiles();
  if (!keyFiles || keyFiles->empty() || b64Cert.empty() || path.empty()) return certstatus::kMissing;
  const auto issued = readIssuedCertificates(b64Cert);
  int32_t status = certstatus::kMissing;
  for (const auto& file : *keyFiles) {
    auto pemKey = readWholeFile(file);
    if (!pemKey || pemKey->empty()) continue;
    status = saveIssued(issued, *pemKey, path, password);
    wipeSecret(pemKey);
    if (status == certstatus::kOk) return status;
  }
  return status;
}

int PfxWriter::removeKeyFilesSavedIn(const std::string& path, const std::string& password) const {
  Pkcs12Ptr pkcs12;
  OpenedPfx saved;
  if (openPfxFile(path, password, pkcs12, saved) != certstatus::kOk || !saved.key ||
      X509_check_private_key(saved.cert.get(), saved.key.get()) != 1) {
    ERR_clear_error();
    return -1;
  }
  const auto keyFiles = store_.keyFiles();
  if (!keyFiles) return 0;
  int removed = 0;
  for (const auto& file : *keyFiles) {
    auto pemKey = readWholeFile(file);
    const PkeyPtr key = pemKey ? readPemKey(*pemKey) : nullptr;
    wipeSecret(pemKey);
    if (key && EVP_PKEY_eq(key.get(), saved.key.get()) == 1 && store_.removeKeyFile(file)) ++removed;
  }
  ERR_clear_error();  // key files that are no keys are not faults here
  return removed;
}

int32_t PfxWriter::changePassword(const std::string& path, const std::string& oldPassword,
                                  const std::string& newPassword) const {
  Pkcs12Ptr pkcs12;
  OpenedPfx opened;
  const int32_t status = openPfxFile(path, oldPassword, pkcs12, opened);
  if (status != certstatus::kOk) return status;
  const std::string name = existingFriendlyName(opened.cert.get());
  Pkcs12Ptr renewed = build(newPassword, name, opened.key.get(), opened.cert.get(), opened.ca.get());
  if (!renewed) logOpenSslErrors("rebuild pkcs12");
  return write(renewed.get(), path);
}

}  // namespace karv
