#pragma once
#include <functional>
#include <string>
#include <vector>

#include "browsers/BrowserLayouts.h"
#include "browsers/XdgBrowsers.h"
#include "crypto/OpenSslHandles.h"

namespace karv {

// Where the supported browsers keep client certificates on Linux (NSS
// databases), in every packaged form, and the import and removal of the
// user's certificate there. A page cannot hand a browser a client
// certificate, so the client does it.
class BrowserCertStores {
 public:
  // The installed forms of a browser identifier; the desktop's by default.
  using FormsFinder = std::function<std::vector<InstalledBrowser>(const std::string& bundleId)>;
  explicit BrowserCertStores(UserDirs dirs = UserDirs::fromEnvironment(), FormsFinder installedForms = {});

  // The databases of a browser identifier that exist now, each once: the
  // Chromium family's NSS folders and every Firefox profile, of every form.
  [[nodiscard]] std::vector<std::string> existingDatabases(const std::string& bundleId) const;
  // The existing profile folders listed in the profiles.ini of one folder:
  // only those whose real path lies inside that folder and which are the
  // user's own, writable by nobody else.
  [[nodiscard]] static std::vector<std::string> firefoxProfilesIn(const std::string& root);

  // Imports the certificate and key of the DER PKCS#12 data into every
  // existing database of the browser's family. An installed form that has
  // none gets one first: a Chromium-family database where every member reads
  // it, a Firefox profile made by that Firefox itself. False when any import
  // failed or there was no database at all; a database already holding the
  // certificate counts as done. A browser without NSS databases (Safari)
  // needs nothing.
  [[nodiscard]] bool importInto(const std::string& bundleId, const Bytes& pkcs12Der, const std::string& password) const;
  // Deletes the certificates with that common name and issuer, and the keys
  // no remaining certificate uses, from every existing database of the
  // family; nothing when either name is "". False when a database could not
  // be changed.
  [[nodiscard]] bool removeFrom(const std::string& bundleId, const std::string& cn, const std::string& issuer) const;

 private:
  [[nodiscard]] std::vector<std::string> existingDatabasesOf(const BrowserLayout& layout) const;
  // The databases to import into for an installed form that has none yet
  // (made by then for Firefox); none when none can be made for it.
  [[nodiscard]] std::vector<std::string> newDatabasesFor(const InstalledBrowser& form) const;

  UserDirs dirs_;
  FormsFinder installedForms_;
};

}  // namespace karv
