#include "crypto/CertInfo.h"

#include "crypto/Asn1TimeText.h"
#include "crypto/OpenSslHandles.h"
#include "crypto/X509Names.h"
#include "system/CommonUtility.h"

namespace karv {

std::string serialHex(const X509* cert) {
  // Through a bignum: real CAs use serials of up to 20 bytes, which no
  // machine integer holds.
  BignumPtr bn(ASN1_INTEGER_to_BN(X509_get0_serialNumber(cert), nullptr));
  OpenSslStringPtr hex(bn ? BN_bn2hex(bn.get()) : nullptr);
  if (!hex) return {};
  std::string text(hex.get());
  const size_t sign = text.starts_with('-') ? 1 : 0;
  const size_t digits = text.find_first_not_of('0', sign);
  return digits == std::string::npos ? text.substr(0, sign) + "0" : text.substr(0, sign) + text.substr(digits);
}

CertInfo certInfoOf(X509* cert) {
  CertInfo info;
  const X509_NAME* subject = X509_get_subject_name(cert);
  info["cn"] = x509NamePart(subject, NID_commonName);
  info["certUserId"] = userIdFromCommonName(info["cn"]);
  info["ou"] = x509NamePart(subject, NID_organizationalUnitName);
  info["o"] = x509NamePart(subject, NID_organizationName);
  info["subject"] = oneLineName(subject);
  info["issuer"] = oneLineName(X509_get_issuer_name(cert));
  info["serial"] = serialHex(cert);
  info["notBefore"] = localTimeText(X509_get0_notBefore(cert)).value_or("");
  info["notAfter"] = localTimeText(X509_get0_notAfter(cert)).value_or("");
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLen = 0;
  const bool hashed = X509_digest(cert, EVP_sha1(), digest, &digestLen) == 1;
  info["certHash"] = hashed ? CommonUtility().hexEncode(digest, static_cast<int32_t>(digestLen)) : "";
  return info;
}

}  // namespace karv
