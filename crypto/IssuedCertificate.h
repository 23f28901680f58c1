#pragma once
#include <optional>
#include <string>
#include <vector>

#include "crypto/OpenSslHandles.h"

namespace karv {

// The certificate text the gateway issues: base64 (one line) of a DER X.509
// certificate, or of a DER PKCS#7 whose certificate list holds the user's
// certificate and its chain.
struct IssuedCertificates {
  std::vector<X509Ptr> certs;  // in the order received
  bool chain = false;          // came as PKCS#7
};

// None when the text is neither form, or the PKCS#7 holds no certificate.
[[nodiscard]] std::optional<IssuedCertificates> readIssuedCertificates(const std::string& b64Cert);

// The certificate that goes with the private key and the CA certificates put
// beside it. A single certificate has no CA list. In a chain, the last
// certificate whose basicConstraints say cA false is the user's and the others
// are the CA list. Without such a certificate the whole list is the CA list,
// and the user's is the one that belongs to `key` (the first when none does),
// so a chain without basicConstraints in any order still finds it.
struct KeyedCertificate {
  X509* cert = nullptr;  // owned by the IssuedCertificates it came from
  X509StackPtr ca;       // null when there is no CA list
};
[[nodiscard]] KeyedCertificate selectKeyedCertificate(const IssuedCertificates& issued, EVP_PKEY* key);

// The certificate's subject commonName as UTF-8, cut to 255 bytes at a
// character boundary: the friendly name of a .pfx.
[[nodiscard]] std::string friendlyNameOf(const X509* cert);

}  // namespace karv
