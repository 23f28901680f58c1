#pragma once
#include <string>

#include "gateway/CertStore.h"
#include "gateway/UserStore.h"

namespace karv::gateway {

// The gateway's state across restarts: changed passwords, whether a first
// login is still due, and every certificate issued. A text file, rewritten
// whole (atomically) after every change:
//
//   # comment lines
//   certs nextId=1004
//   user idno=C120001686 mustChangePwd=N pwdHash=pbkdf2-sha256%2410000%24...
//   cert id=1001 idno=A123456789 kind=apply state=active installed=Y certPath=... der=<base64>
//
// One record per line: its kind, then name=value fields separated by blanks,
// the values percent-encoded as in a form. A user line appears only for users
// that differ from the demo data.
class StateFile {
 public:
  enum class Load { Loaded, Missing, Corrupt };

  explicit StateFile(std::string path) : path_(std::move(path)) {}
  [[nodiscard]] const std::string& path() const { return path_; }

  // Applies the file to the demo users and fills the certificate store.
  [[nodiscard]] Load load(UserStore& users, CertStore& certs, std::string& error) const;
  // Writes the text atomically; true without a file (state kept in memory).
  [[nodiscard]] bool write(const std::string& text) const;

  [[nodiscard]] static std::string render(const UserStore& users, const CertStore& certs);
  // Applies a rendered text to the demo users and fills the certificate store;
  // `where` names the text in the error.
  [[nodiscard]] static bool apply(const std::string& text, const std::string& where, UserStore& users, CertStore& certs,
                                  std::string& error);

 private:
  std::string path_;
};

}  // namespace karv::gateway
