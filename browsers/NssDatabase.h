#pragma once
#include <memory>
#include <string>

#include "crypto/OpenSslHandles.h"

namespace karv {

// A browser's NSS certificate database (cert9.db and key4.db in one folder),
// opened for changes through libnss3 while the object lives. Passwords and
// key material never leave this class, not even into its error texts.
class NssDatabase {
 public:
  enum class Import { kImported, kAlreadyPresent, kFailed };

  // Opens the database in the folder. With createWhenMissing a missing folder
  // (owner-only) and database (empty password, as browsers make theirs) are
  // created; without it a folder holding no database is an error. None, with
  // the reason in `error`, when the database cannot be opened for changes
  // (for example when a primary password protects it).
  [[nodiscard]] static std::unique_ptr<NssDatabase> open(const std::string& folder, bool createWhenMissing,
                                                         std::string& error);
  ~NssDatabase();
  NssDatabase(const NssDatabase&) = delete;
  NssDatabase& operator=(const NssDatabase&) = delete;

  // Imports the certificate and private key of a DER PKCS#12 file, with the
  // file's friendly name as nickname. kAlreadyPresent when the database holds
  // that certificate and its key already.
  [[nodiscard]] Import importPkcs12(const Bytes& pkcs12Der, const std::string& password, std::string& error);

  // Deletes every certificate whose subject common name is `cn` and whose
  // issuer is `issuer` (one-line form, each part exact, parts in any order),
  // then the private keys of those certificates that no certificate left in
  // the database uses. Nothing is deleted when either name is "". The number
  // of certificates deleted, or -1 on failure.
  [[nodiscard]] int removeCertificates(const std::string& cn, const std::string& issuer, std::string& error);

  // Whether the folder holds an NSS database.
  [[nodiscard]] static bool existsIn(const std::string& folder);

 private:
  struct Impl;
  explicit NssDatabase(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace karv
