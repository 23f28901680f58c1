#pragma once
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "crypto/OpenSslHandles.h"

namespace karv::gateway {

// The development CA: a root and an issuing intermediate that signs the
// users' certificates. Kept as PEM files in the data folder (the root's key
// is not kept: only the intermediate issues); made on first use, with keys
// from the key cache.
class DevCa {
 public:
  // Loads the CA from `folder`, or makes it and saves it there ("" keeps it
  // in memory only). None, with the reason, when files exist but do not load
  // or the new ones cannot be written.
  static std::unique_ptr<DevCa> openOrCreate(const std::string& folder, const std::string& keyCacheDir,
                                             std::string& error);

  [[nodiscard]] const X509* root() const { return root_.get(); }
  [[nodiscard]] const X509* issuing() const { return issuing_.get(); }

  // An end-entity certificate (basicConstraints cA false) for the key, with
  // subject C=TW, O=KARV Development, OU=Customers, CN=<cn>. None on failure.
  [[nodiscard]] X509Ptr issue(EVP_PKEY* subjectKey, const std::string& cn, std::time_t notBefore, std::time_t notAfter,
                              std::uint64_t serial) const;

 private:
  DevCa() = default;
  X509Ptr root_;
  X509Ptr issuing_;
  PkeyPtr issuingKey_;
};

}  // namespace karv::gateway
