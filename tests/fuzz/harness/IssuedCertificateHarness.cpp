// The certificate text of the application and renewal replies.
#include <openssl/err.h>

#include <string>

#include "FuzzTargets.h"
#include "HarnessKey.h"
#include "crypto/CertInfo.h"
#include "crypto/IssuedCertificate.h"
#include "system/CommonUtility.h"

namespace karv::fuzz {

void issuedCertificate(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  // Even first bytes: the rest is DER, sent as the gateway sends it (base64);
  // odd ones: the rest is the text itself.
  const std::string text = data[0] % 2 == 0 ? CommonUtility().base64Encode(rest) : rest;
  const auto issued = readIssuedCertificates(text);
  if (!issued) return;
  const KeyedCertificate keyed = selectKeyedCertificate(*issued, harnessKey());
  if (keyed.cert) (void)friendlyNameOf(keyed.cert);
  for (const auto& cert : issued->certs) (void)certInfoOf(cert.get());
  ERR_clear_error();
}

}  // namespace karv::fuzz
