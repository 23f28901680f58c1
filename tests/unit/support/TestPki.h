#pragma once
// A small certificate authority for tests: RSA keys made once per run,
// certificates with chosen names, serials and basicConstraints, and the
// gateway's certificate text forms (base64 DER, base64 PKCS#7 chain).
#include <optional>
#include <string>
#include <vector>

#include "OpenSslHandles.h"
#include "support/TestFiles.h"

namespace karv::test {

// 2048-bit keys, generated on first use and kept for the whole run.
EVP_PKEY* rootKey();
EVP_PKEY* intermediateKey();
EVP_PKEY* userKey();
EVP_PKEY* otherUserKey();

struct Subject {
  std::string cn, ou, o, l, st, c;
};

struct CertOptions {
  long serial = 1;
  std::optional<bool> caConstraint;  // basicConstraints cA, none: no extension
};

// Signed by issuerKey; issuer null makes it self-signed.
X509Ptr makeCert(const Subject& subject, EVP_PKEY* subjectKey, X509* issuer, EVP_PKEY* issuerKey,
                 const CertOptions& options);

// Root CA -> intermediate CA -> user certificate (cA false) for userKey().
struct Chain {
  X509Ptr root, intermediate, user;
};
const Chain& standardChain();

std::string b64Der(X509* cert);
// A certs-only PKCS#7 SignedData holding the certificates in this order.
std::string b64Pkcs7(const std::vector<X509*>& certs);
std::string certPem(X509* cert);
std::string keyPem(EVP_PKEY* key);

}  // namespace karv::test
