#pragma once
#include <cstdint>
#include <string>

#include "system/KeyFileStore.h"

namespace karv {

// Makes an RSA key pair and its PKCS#10 request (version 0, subject exactly
// one CN, SHA-256), and keeps the private key in a new key file.
class CsrGenerator {
 public:
  explicit CsrGenerator(KeyFileStore store = KeyFileStore()) : store_(std::move(store)) {}

  // Status codes of certstatus. On success `csr` is the PEM request and
  // `privateKey` the unencrypted PKCS#8 PEM key; otherwise both stay untouched.
  [[nodiscard]] int32_t createCSR(const std::string& cn, int32_t keyLength, std::string& csr,
                                  std::string& privateKey) const;

 private:
  KeyFileStore store_;
};

}  // namespace karv
