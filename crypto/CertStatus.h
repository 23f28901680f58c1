#pragma once
#include <cstdint>

// Result codes of the certificate operations (key pairs and requests, .pfx
// files, signing). The error-message table has a text for each.
namespace karv::certstatus {

inline constexpr int32_t kOk = 0;
// A required text is missing, no key file is present, the file cannot be read
// or written, or there is nothing to write.
inline constexpr int32_t kMissing = 1;

// Key pair and request.
inline constexpr int32_t kEmptyCommonName = 52701;
inline constexpr int32_t kNoKeyContainer = 52703;
inline constexpr int32_t kRequestFailed = 52705;
inline constexpr int32_t kKeyGenerationFailed = 52707;
inline constexpr int32_t kKeyAssignFailed = 52709;
inline constexpr int32_t kRequestSignFailed = 52711;
// The key file could not be saved: a certificate issued for the request would
// have no key, so the request is not handed out.
inline constexpr int32_t kKeyFileNotSaved = 52112;

// .pfx files.
inline constexpr int32_t kBadIssuedCertificate = 52109;
inline constexpr int32_t kPfxBuildFailed = 52111;
inline constexpr int32_t kNotPkcs12 = 52301;
inline constexpr int32_t kWrongPassword = 52303;
inline constexpr int32_t kPfxParseFailed = 52403;

// Signing with the .pfx key.
inline constexpr int32_t kSignParseFailed = 52601;
inline constexpr int32_t kSignKeyMismatch = 52603;
inline constexpr int32_t kSignFailed = 52605;

}  // namespace karv::certstatus
