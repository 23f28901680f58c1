#pragma once
// How the gateway writes certificates and their details into replies, in the
// forms the client compares with what it reads from its own files. Written
// apart from the client's own name and serial code on purpose: the gateway
// stands in for a foreign server, so a fault in the client's forms must show
// as a failed comparison instead of being mirrored here.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "crypto/OpenSslHandles.h"

namespace karv::gateway {

// "CN=..., OU=..., O=..., L=..., S=..., C=..." (CN always, the others when
// present; "S" for the state), the client's one-line form of a name.
[[nodiscard]] std::string oneLineName(const X509_NAME* name);
[[nodiscard]] std::string nameEntry(const X509_NAME* name, int nid);

// The serial as upper-case hexadecimal without leading zeros.
[[nodiscard]] std::string serialHex(const X509* cert);
[[nodiscard]] std::string serialHexOf(std::uint64_t serial);
[[nodiscard]] std::time_t notBefore(const X509* cert);
[[nodiscard]] std::time_t notAfter(const X509* cert);
// 14 digits of local time, yyyyMMddHHmmss.
[[nodiscard]] std::string localTime14(std::time_t t);
// Local time in a strftime format.
[[nodiscard]] std::string localTimeText(std::time_t t, const char* format);

[[nodiscard]] Bytes derOf(const X509* cert);
[[nodiscard]] std::string derBase64(const X509* cert);
[[nodiscard]] X509Ptr certFromDerBase64(const std::string& b64);
// A certificates-only PKCS#7 SignedData holding the certificates in order, as one line of base64.
[[nodiscard]] std::string pkcs7Base64(const std::vector<const X509*>& certs);

[[nodiscard]] std::string toPem(const X509* cert);
[[nodiscard]] X509Ptr certFromPem(const std::string& pem);

}  // namespace karv::gateway
