#pragma once
#include <openssl/x509.h>

#include <map>
#include <string>

namespace karv {

// What the client shows and compares of a certificate: keys "cn",
// "certUserId", "ou", "o", "subject", "issuer", "serial" (upper-case hex
// without leading zeros), "notBefore", "notAfter" (14 digits of local time,
// "" when unusable) and "certHash" (upper-case hex SHA-1 of the DER form).
using CertInfo = std::map<std::string, std::string>;

[[nodiscard]] CertInfo certInfoOf(X509* cert);

// The serial number as upper-case hex without leading zeros ("A1B" for
// 0x0A1B), at any length.
[[nodiscard]] std::string serialHex(const X509* cert);

}  // namespace karv
