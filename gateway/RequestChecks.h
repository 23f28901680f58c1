#pragma once
// Checks of what the client sends for a certificate: its PKCS#10 request and,
// for a renewal, the PKCS#7 signature over that request made with the
// current certificate's key.
#include <string>

#include "crypto/OpenSslHandles.h"

namespace karv::gateway {

enum class CsrVerdict { Ok, Malformed, BadSignature, WrongCn };

// The request as the client sends it: the base64 lines of the PEM body
// (line feeds between them, maybe one at the end), without the armour lines.
[[nodiscard]] X509ReqPtr parseClientCsr(const std::string& text);
// Ok when the request's signature verifies with its own RSA key (2048 bits
// or more) and its subject's commonName is exactly `cn`.
[[nodiscard]] CsrVerdict checkCsr(X509_REQ* req, const std::string& cn);

// True when signB64 is base64 of a DER PKCS#7 SignedData whose embedded
// content is exactly `content` and whose signature verifies with `signer`.
[[nodiscard]] bool verifyRenewalSignature(const std::string& signB64, const std::string& content, X509* signer);

}  // namespace karv::gateway
