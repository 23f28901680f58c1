#pragma once
// What the client sends for certificates, made with OpenSSL directly (not
// with the client's own code): requests and renewal signatures in the
// client's forms; and the demo users' .pfx files read the same way.
#include <string>

#include "OpenSslHandles.h"

namespace karv::test {

// A 2048-bit RSA key for requests, kept in the build's key cache across test runs.
[[nodiscard]] EVP_PKEY* requestKey();

// A PKCS#10 request for the common name, signed with SHA-256, as the client
// sends it: the base64 lines of the PEM body joined by line feeds, with the
// line feed that followed the last one.
[[nodiscard]] std::string clientCsr(const std::string& cn, EVP_PKEY* key = requestKey());
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
