#pragma once
// Test-side certificate material, made with OpenSSL directly (not with the
// client's own code): requests and renewal signatures in the forms the
// client sends, reading certificates out of replies and .pfx files, and
// running the openssl tool.
#include <string>
#include <vector>

#include "OpenSslHandles.h"

namespace karv::test {

// A 2048-bit RSA key, made once for all test runs of the build (key generation is slow).
[[nodiscard]] EVP_PKEY* sharedTestKey();
// A second key, for requests that must differ from the first.
[[nodiscard]] EVP_PKEY* otherTestKey();

// A PKCS#10 request for the common name, signed with SHA-256, as the client
// sends it: the base64 lines of the PEM body joined by line feeds, with the
// line feed that followed the last one.
[[nodiscard]] std::string clientCsr(const std::string& cn, EVP_PKEY* key = sharedTestKey());
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

[[nodiscard]] std::string pemOf(const X509* cert);
[[nodiscard]] bool writeText(const std::string& path, const std::string& text);

struct ToolResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};
// Runs a program with an argument vector (no shell) and waits for it.
[[nodiscard]] ToolResult runTool(const std::vector<std::string>& argv);

}  // namespace karv::test
