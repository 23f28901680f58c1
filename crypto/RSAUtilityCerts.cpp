// The certificate operations of RSAUtility; the work is done by the small
// single-purpose classes they call.
#include "Asn1TimeText.h"
#include "CsrGenerator.h"
#include "RSAUtility.h"

namespace karv {

int32_t RSAUtility::createCSR(const std::string& cn, int32_t keyLength, std::string& csr,
                              std::string& privateKey) const {
  return CsrGenerator().createCSR(cn, keyLength, csr, privateKey);
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
