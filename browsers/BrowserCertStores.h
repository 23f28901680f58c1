#pragma once
#include <string>
#include <vector>

#include "crypto/OpenSslHandles.h"
#include "system/SecureFiles.h"

namespace karv {

// Where the supported browsers keep client certificates on Linux (NSS
// databases), and the import and removal of the user's certificate there. A
// page cannot hand a browser a client certificate, so the client does it.
class BrowserCertStores {
 public:
  explicit BrowserCertStores(std::string home = userHomePath());

  // Chrome and Chromium share one database: <home>/.pki/nssdb.
  [[nodiscard]] std::string chromeDatabase() const;
  // The existing profile folders listed in the profiles.ini of Firefox's
  // distribution package, snap and Flatpak installations, each once: only
  // those whose real path lies inside the folder of that profiles.ini and
  // which are the user's own, writable by nobody else.
  [[nodiscard]] std::vector<std::string> firefoxProfiles() const;

  // Imports the certificate and key of the DER PKCS#12 data into every
  // database of the browser: Chrome's shared one (made when missing) or each
  // Firefox profile. False when any import failed or Firefox has no profile
  // yet; a database already holding the certificate counts as done. A
  // browser without an NSS database (Safari) needs nothing.
  [[nodiscard]] bool importInto(const std::string& bundleId, const Bytes& pkcs12Der, const std::string& password) const;
  // Deletes the certificates with that common name and issuer, and the keys
  // no remaining certificate uses, from every existing database of the
  // browser; nothing when either name is "". False when a database could not
  // be changed.
  [[nodiscard]] bool removeFrom(const std::string& bundleId, const std::string& cn, const std::string& issuer) const;

 private:
  // The database folders of a browser identifier.
  [[nodiscard]] std::vector<std::string> databasesOf(const std::string& bundleId) const;

  std::string home_;
};

}  // namespace karv
