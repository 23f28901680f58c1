#pragma once
// A small certificate authority for tests and what the client sends for
// certificates, all made with OpenSSL directly (not with the client's own
// code): certificates with chosen names, serials and basicConstraints, the
// gateway's certificate forms (base64 DER, base64 PKCS#7 chain), requests and
// renewal signatures in the client's forms, and .pfx files read back.
#include <optional>
#include <string>
#include <vector>

#include "crypto/OpenSslHandles.h"

namespace karv::test {

// 2048-bit keys, kept in the build's key cache across test runs.
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

// A PKCS#10 request for the common name, signed with SHA-256, as the client
// sends it: the base64 lines of the PEM body joined by line feeds, with the
// line feed that followed the last one.
[[nodiscard]] std::string clientCsr(const std::string& cn, EVP_PKEY* key = userKey());
// The same with its signature spoiled (the last byte of the DER changed).
[[nodiscard]] std::string clientCsrWithBadSignature(const std::string& cn);
// The client's renewal signature over the request text: base64 of a DER
// PKCS#7 SignedData (SHA-1, embedded content, signer certificate, no attributes).
[[nodiscard]] std::string renewalSignature(const std::string& content, X509* cert, EVP_PKEY* key);

struct PfxContent {
  PkeyPtr key;
  X509Ptr cert;
};
[[nodiscard]] PfxContent readPfx(const std::string& path, const std::string& password);

}  // namespace karv::test
