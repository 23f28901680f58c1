#include "crypto/PfxReader.h"

#include <openssl/err.h>

#include <cstring>

#include "crypto/CertStatus.h"
#include "crypto/OpenSslInit.h"
#include "system/Log.h"
#include "system/SecureFiles.h"

namespace karv {

int32_t readPkcs12File(const std::string& path, Pkcs12Ptr& pkcs12) {
  const auto bytes = path.empty() ? std::nullopt : readWholeFile(path);
  return bytes ? decodePkcs12(*bytes, pkcs12) : certstatus::kMissing;
}

int32_t decodePkcs12(const std::string& bytes, Pkcs12Ptr& pkcs12) {
  if (bytes.empty()) return certstatus::kMissing;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  Pkcs12Ptr decoded(d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
  if (!decoded) {
    ERR_clear_error();
    return certstatus::kNotPkcs12;
  }
  pkcs12 = std::move(decoded);
  return certstatus::kOk;
}

int32_t parsePkcs12(PKCS12* pkcs12, const std::string& password, OpenedPfx& opened) {
  (void)loadOpenSslProviders();
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  const int parsed = PKCS12_parse(pkcs12, password.c_str(), &key, &cert, &ca);
  OpenedPfx result{PkeyPtr(key), X509Ptr(cert), X509StackPtr(ca)};
  if (parsed != 1 || !result.cert) {
    logOpenSslErrors("parse pkcs12");
    return certstatus::kPfxParseFailed;
  }
  opened = std::move(result);
  return certstatus::kOk;
}

int32_t openPkcs12(PKCS12* pkcs12, const std::string& password, OpenedPfx& opened) {
  (void)loadOpenSslProviders();
  // The password counts up to its first zero byte, as everywhere else.
  if (PKCS12_verify_mac(pkcs12, password.c_str(), static_cast<int>(std::strlen(password.c_str()))) != 1) {
    ERR_clear_error();  // a wrong password is an answer, not a fault
    return certstatus::kWrongPassword;
  }
  return parsePkcs12(pkcs12, password, opened);
}

int32_t openPfxFile(const std::string& path, const std::string& password, Pkcs12Ptr& pkcs12, OpenedPfx& opened) {
  const int32_t status = readPkcs12File(path, pkcs12);
  return status == certstatus::kOk ? openPkcs12(pkcs12.get(), password, opened) : status;
}

}  // namespace karv
