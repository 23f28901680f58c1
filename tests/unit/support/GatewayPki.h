#pragma once
// What the client sends for certificates, made with OpenSSL directly (not
// with the client's own code), and reading what the gateway sends back:
// requests and renewal signatures in the client's forms, the user's
// certificate in a "cert" reply, the demo users' .pfx files.
#include <string>
#include <vector>

#include "OpenSslHandles.h"

namespace karv::test {

// 2048-bit RSA keys for requests, kept in the build's key cache across test runs.
[[nodiscard]] EVP_PKEY* requestKey();
[[nodiscard]] EVP_PKEY* otherRequestKey();

// A PKCS#10 request for the common name, signed with SHA-256, as the client
// sends it: the base64 lines of the PEM body joined by line feeds, with the
// line feed that followed the last one.
[[nodiscard]] std::string clientCsr(const std::string& cn, EVP_PKEY* key = requestKey());
// The same with its signature spoiled (the last byte of the DER changed).
[[nodiscard]] std::string clientCsrWithBadSignature(const std::string& cn);
// The client's renewal signature over the request text: base64 of a DER
// PKCS#7 SignedData (SHA-1, embedded content, signer certificate, no attributes).
[[nodiscard]] std::string renewalSignature(const std::string& content, X509* cert, EVP_PKEY* key);

// The user's certificate in a "cert" reply: a DER certificate, or the
// certificate with basicConstraints cA false in a PKCS#7 chain.
[[nodiscard]] X509Ptr userCertOfReply(const std::string& b64);
// The certificates of a base64 PKCS#7 reply, in order (empty when it is not one).
[[nodiscard]] std::vector<X509Ptr> pkcs7Certs(const std::string& b64);

struct PfxContent {
  PkeyPtr key;
  X509Ptr cert;
};
[[nodiscard]] PfxContent readPfx(const std::string& path, const std::string& password);

}  // namespace karv::test
