// The certificate operations of RSAUtility; the work is done by the small
// single-purpose classes they call.
#include "crypto/Asn1TimeText.h"
#include "crypto/CertStatus.h"
#include "crypto/CsrGenerator.h"
#include "crypto/PfxReader.h"
#include "crypto/PfxWriter.h"
#include "crypto/Pkcs7Signer.h"
#include "crypto/RSAUtility.h"
#include "system/CommonUtility.h"

namespace karv {

int32_t RSAUtility::createCSR(const std::string& cn, int32_t keyLength, std::string& csr,
                              std::string& privateKey) const {
  return CsrGenerator().createCSR(cn, keyLength, csr, privateKey);
}

int32_t RSAUtility::savePfxFile(const std::string& b64Cert, const std::string& b64PrivateKey,
                                const std::string& pfxFilePath, const std::string& pfxFilePwd) const {
  return PfxWriter().saveWithKey(b64Cert, b64PrivateKey, pfxFilePath, pfxFilePwd);
}

int32_t RSAUtility::savePfxFile(const std::string& b64Cert, const std::string& pfxFilePath,
                                const std::string& pfxFilePwd) const {
  return PfxWriter().saveWithStoredKey(b64Cert, pfxFilePath, pfxFilePwd);
}

int32_t RSAUtility::savePfxFile(PKCS12* pkcs12, const std::string& pfxFilePath) const {
  return PfxWriter::write(pkcs12, pfxFilePath);
}

int RSAUtility::removeKeyFilesSavedIn(const std::string& pfxFilePath, const std::string& pfxFilePwd) const {
  return PfxWriter().removeKeyFilesSavedIn(pfxFilePath, pfxFilePwd);
}

int32_t RSAUtility::loadPfx(const std::string& pfxFilePath, const std::string& pfxFilePwd, Pkcs12Ptr& pkcs12,
                            CertInfo& certInfo) const {
  OpenedPfx opened;
  const int32_t status = openPfxFile(pfxFilePath, pfxFilePwd, pkcs12, opened);
  if (status == certstatus::kOk) certInfo = certInfoOf(opened.cert.get());
  return status;
}

int32_t RSAUtility::loadPfx(const std::string& pfxFilePath, const std::string& pfxFilePwd, CertInfo& certInfo) const {
  Pkcs12Ptr discarded;
  return loadPfx(pfxFilePath, pfxFilePwd, discarded, certInfo);
}

int32_t RSAUtility::loadPfx(const std::string& pfxFilePath, const std::string& pfxFilePwd, std::string& b64X509Cert,
                            std::string& b64P12Cert, CertInfo& certInfo) const {
  Pkcs12Ptr pkcs12;
  OpenedPfx opened;
  const int32_t status = openPfxFile(pfxFilePath, pfxFilePwd, pkcs12, opened);
  if (status != certstatus::kOk) return status;
  certInfo = certInfoOf(opened.cert.get());
  CommonUtility encoder;
  unsigned char* der = nullptr;
  int len = i2d_PKCS12(pkcs12.get(), &der);
  OpenSslStringPtr p12Der(reinterpret_cast<char*>(der));
  if (len <= 0) return certstatus::kOk;
  b64P12Cert = encoder.base64Encode(der, len);
  der = nullptr;
  len = i2d_X509(opened.cert.get(), &der);
  OpenSslStringPtr certDer(reinterpret_cast<char*>(der));
  if (len > 0) b64X509Cert = encoder.base64Encode(der, len);
  return certstatus::kOk;
}

int32_t RSAUtility::checkPfxFile(const std::string& pfxFilePath, const std::string& pfxFilePwd,
                                 const std::string& /*certIssuer*/, const std::string& /*certHexSerial*/) const {
  CertInfo unused;
  return loadPfx(pfxFilePath, pfxFilePwd, unused);
}

int32_t RSAUtility::changePwd(const std::string& pfxFilePath, const std::string& pfxFileOldPwd,
                              const std::string& pfxFileNewPwd) const {
  return PfxWriter().changePassword(pfxFilePath, pfxFileOldPwd, pfxFileNewPwd);
}

int32_t RSAUtility::signPKCS7(const std::string& pfxFilePath, const std::string& pfxFilePwd, const Bytes& plainText,
                              Bytes& sign) const {
  return Pkcs7Signer().signWithFile(pfxFilePath, pfxFilePwd, plainText, sign);
}

int32_t RSAUtility::signPKCS7(PKCS12* p12Cert, const std::string& p12CertPwd, const Bytes& plainText,
                              Bytes& sign) const {
  return Pkcs7Signer().signWithPkcs12(p12Cert, p12CertPwd, plainText, sign);
}

std::string RSAUtility::getX509NamePart(const X509_NAME* name, int nid) const { return x509NamePart(name, nid); }

std::optional<std::string> RSAUtility::asn1TimeToLocalTimeStr(const ASN1_TIME* time) const {
  return localTimeText(time);
}

std::string RSAUtility::getCertUserIdFromCn(const std::string& cn) const { return userIdFromCommonName(cn); }

std::optional<NameParts> RSAUtility::parseSubject(const std::string& subject) const {
  return parseOneLineName(subject);
}

bool RSAUtility::cmpSubject(const std::string& subject1, const std::string& subject2) const {
  return sameOneLineName(subject1, subject2);
}

}  // namespace karv
