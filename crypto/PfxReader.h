#pragma once
#include <cstdint>
#include <string>

#include "crypto/OpenSslHandles.h"

namespace karv {

// The contents of a .pfx file opened with its password.
struct OpenedPfx {
  PkeyPtr key;      // null when the file holds no key
  X509Ptr cert;     // the certificate that goes with the key
  X509StackPtr ca;  // the other certificates; may be null
};

// Reads and decodes a .pfx file (DER PKCS#12). 1 when it cannot be read or is
// empty, 52301 when it is not PKCS#12.
[[nodiscard]] int32_t readPkcs12File(const std::string& path, Pkcs12Ptr& pkcs12);

// The same for the bytes of a file.
[[nodiscard]] int32_t decodePkcs12(const std::string& bytes, Pkcs12Ptr& pkcs12);

// Checks the integrity MAC with the password (52303 when it fails), then
// decrypts the contents (52403 when that fails or no certificate comes out).
// Files with RC2-40 certificate bags open too (legacy provider).
[[nodiscard]] int32_t openPkcs12(PKCS12* pkcs12, const std::string& password, OpenedPfx& opened);

// Decrypts without the separate MAC check; 52403 on failure.
[[nodiscard]] int32_t parsePkcs12(PKCS12* pkcs12, const std::string& password, OpenedPfx& opened);

// Both steps: read the file, then open it with the password. `pkcs12` is
// handed over as soon as the file decodes.
[[nodiscard]] int32_t openPfxFile(const std::string& path, const std::string& password, Pkcs12Ptr& pkcs12,
                                  OpenedPfx& opened);

}  // namespace karv
