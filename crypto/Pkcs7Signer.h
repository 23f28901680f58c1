#pragma once
#include <cstdint>
#include <string>

#include "crypto/OpenSslHandles.h"

namespace karv {

// Signs content with the key of a .pfx: a DER PKCS#7 SignedData with the
// content embedded, SHA-1, exactly the signer's certificate, and no signed
// attributes (so the same content always gives the same bytes).
class Pkcs7Signer {
 public:
  // 0, or the opening statuses of a .pfx file (1, 52301, 52303, 52403), or
  // those of the structure form.
  [[nodiscard]] int32_t signWithFile(const std::string& pfxFilePath, const std::string& password,
                                     const Bytes& plainText, Bytes& sign) const;
  // 52601 when the structure does not open with the password, 52603 when
  // its key does not belong to its certificate, 52605 when signing fails.
  [[nodiscard]] int32_t signWithPkcs12(PKCS12* pkcs12, const std::string& password, const Bytes& plainText,
                                       Bytes& sign) const;
};

}  // namespace karv
