#include "crypto/Pkcs7Signer.h"

#include <openssl/err.h>

#include "crypto/CertStatus.h"
#include "crypto/PfxReader.h"
#include "system/IntSize.h"
#include "system/Log.h"

namespace karv {
namespace {

// Streams the content through the signed-data BIO chain, which digests,
// signs and stores it.
bool signContent(PKCS7* p7, const Bytes& plainText) {
  BioPtr stream(PKCS7_dataInit(p7, nullptr));
  if (!stream || !fitsInt(plainText.size())) return false;
  if (!plainText.empty() && BIO_write(stream.get(), plainText.data(), static_cast<int>(plainText.size())) !=
                                static_cast<int>(plainText.size()))
    return false;
  return BIO_flush(stream.get()) == 1 && PKCS7_dataFinal(p7, stream.get()) == 1;
}

int32_t signOpened(const OpenedPfx& opened, const Bytes& plainText, Bytes& sign) {
  if (!opened.key || X509_check_private_key(opened.cert.get(), opened.key.get()) != 1) {
    ERR_clear_error();
    return certstatus::kSignKeyMismatch;
  }
  Pkcs7Ptr p7(PKCS7_new());
  // No signed attributes are added: the signature covers the content digest itself.
  const bool ready = p7 && PKCS7_set_type(p7.get(), NID_pkcs7_signed) == 1 &&
                     PKCS7_add_signature(p7.get(), opened.cert.get(), opened.key.get(), EVP_sha1()) != nullptr &&
                     PKCS7_add_certificate(p7.get(), opened.cert.get()) == 1 &&
                     PKCS7_content_new(p7.get(), NID_pkcs7_data) == 1;
  if (!ready || !signContent(p7.get(), plainText)) {
    logOpenSslErrors("pkcs7 sign");
    return certstatus::kSignFailed;
  }
  unsigned char* der = nullptr;
  const int len = i2d_PKCS7(p7.get(), &der);
  OpenSslStringPtr owned(reinterpret_cast<char*>(der));
  if (len <= 0) return certstatus::kSignFailed;
  sign.assign(der, der + len);
  return certstatus::kOk;
}

}  // namespace

int32_t Pkcs7Signer::signWithFile(const std::string& pfxFilePath, const std::string& password, const Bytes& plainText,
                                  Bytes& sign) const {
  Pkcs12Ptr pkcs12;
  OpenedPfx opened;
  const int32_t status = openPfxFile(pfxFilePath, password, pkcs12, opened);
  // Opened once: the structure form would decrypt the same file again.
  return status == certstatus::kOk ? signOpened(opened, plainText, sign) : status;
}

int32_t Pkcs7Signer::signWithPkcs12(PKCS12* pkcs12, const std::string& password, const Bytes& plainText,
                                    Bytes& sign) const {
  OpenedPfx opened;
  if (!pkcs12 || parsePkcs12(pkcs12, password, opened) != certstatus::kOk) return certstatus::kSignParseFailed;
  return signOpened(opened, plainText, sign);
}

}  // namespace karv
