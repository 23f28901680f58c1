#include "browsers/BrowserCertStores.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "browsers/FirefoxFirstRun.h"
#include "browsers/NssDatabase.h"
#include "system/Log.h"
#include "system/XdgKeyFile.h"

namespace karv {
namespace {

namespace fs = std::filesystem;

const char* outcomeText(NssDatabase::Import outcome) {
  switch (outcome) {
    case NssDatabase::Import::kImported:
      return "imported";
    case NssDatabase::Import::kAlreadyPresent:
      return "already present";
    default:
      return "failed";
  }
}

// The user's key goes into a profile's database, made there when missing:
// only a folder that Firefox itself could have made for this user qualifies,
// one inside the folder of its profiles.ini (after links are resolved), owned
// by the user and writable by nobody else.
bool isPrivateFolderInside(const fs::path& real, const fs::path& realParent) {
  const std::string parent = realParent.string();
  if (real.string().rfind(parent + "/", 0) != 0) return false;
  struct stat st {};
  return ::lstat(real.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool isFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

// Appends the folders not yet listed (by their real path).
void addEach(std::vector<std::string>& list, const std::vector<std::string>& folders) {
  for (const auto& folder : folders) {
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(folder, ec);
    const std::string key = ec ? folder : real.string();
    if (std::find(list.begin(), list.end(), key) == list.end()) list.push_back(key);
  }
}

std::vector<InstalledBrowser> desktopForms(const std::string& bundleId) {
  return XdgBrowsers().installedForms(bundleId);
}

}  // namespace

BrowserCertStores::BrowserCertStores(UserDirs dirs, FormsFinder installedForms)
    : dirs_(std::move(dirs)), installedForms_(installedForms ? std::move(installedForms) : desktopForms) {}

std::vector<std::string> BrowserCertStores::firefoxProfilesIn(const std::string& root) {
  std::vector<std::string> profiles;
  const fs::path folder = root;
  const auto ini = xdg::KeyFile::load((folder / "profiles.ini").string());
  std::error_code ec;
  const fs::path realFolder = fs::canonical(folder, ec);
  if (!ini || ec) return profiles;
  for (const auto& group : ini->groupNames()) {
    const auto path = ini->value(group, "Path");
    if (group.rfind("Profile", 0) != 0 || !path || path->empty()) continue;
    const fs::path profile = ini->value(group, "IsRelative").value_or("1") == "0" ? fs::path(*path) : folder / *path;
    const fs::path real = fs::canonical(profile, ec);
    if (ec) continue;  // listed, but deleted since
    if (!isPrivateFolderInside(real, realFolder)) {
      logf("Firefox profile %s refused: not a private folder of this user beside its profiles.ini",
           real.string().c_str());
      continue;
    }
    if (std::find(profiles.begin(), profiles.end(), real.string()) == profiles.end()) profiles.push_back(real.string());
  }
  return profiles;
}

std::vector<std::string> BrowserCertStores::existingDatabasesOf(const BrowserLayout& layout) const {
  std::vector<std::string> databases;
  for (const auto& root : storeRootsOf(layout, dirs_)) {
    if (isFirefoxFamily(layout.bundleId))
      addEach(databases, firefoxProfilesIn(root));
    else if (NssDatabase::existsIn(root))
      addEach(databases, {root});
  }
  return databases;
}

std::vector<std::string> BrowserCertStores::existingDatabases(const std::string& bundleId) const {
  std::vector<std::string> databases;
  for (const auto& layout : browserLayouts())
    if (bundleId == layout.bundleId) addEach(databases, existingDatabasesOf(layout));
  return databases;
}

std::vector<std::string> BrowserCertStores::newDatabasesFor(const InstalledBrowser& form) const {
  // A sandbox's folder is the browser's to make; without it the browser has
  // never run and nothing of ours belongs there.
  const std::string sandbox = sandboxHomeOf(form.layout, dirs_);
  if (!isFirefoxFamily(form.layout.bundleId)) {
    if (!sandbox.empty() && !isFolder(sandbox)) {
      logf("%s has never run: no certificate database for it yet", form.entry.id.c_str());
      return {};
    }
    return {storeRootsOf(form.layout, dirs_).front()};
  }
  if (!runFirefoxFirstStart(form.entry)) return {};
  return existingDatabasesOf(form.layout);
}

bool BrowserCertStores::importInto(const std::string& bundleId, const Bytes& pkcs12Der,
                                   const std::string& password) const {
  if (bundleId != kFirefoxFamily && bundleId != kChromeFamily) return true;  // no NSS database
  std::vector<std::string> databases = existingDatabases(bundleId);
  for (const auto& form : installedForms_(bundleId))
    if (existingDatabasesOf(form.layout).empty()) addEach(databases, newDatabasesFor(form));
  if (databases.empty()) {
    logf("certificate import for %s: no database to import into", bundleId.c_str());
    return false;
  }
  bool allDone = true;
  for (const auto& folder : databases) {
    std::string error;
    // A folder for a new database, or a Firefox profile that has none yet,
    // gets one, as the browser would make it.
    auto database = NssDatabase::open(folder, true, error);
    const NssDatabase::Import outcome =
        database ? database->importPkcs12(pkcs12Der, password, error) : NssDatabase::Import::kFailed;
    logf("certificate import for %s into %s: %s%s%s", bundleId.c_str(), folder.c_str(), outcomeText(outcome),
         error.empty() ? "" : ": ", error.c_str());
    allDone = allDone && outcome != NssDatabase::Import::kFailed;
  }
  return allDone;
}

bool BrowserCertStores::removeFrom(const std::string& bundleId, const std::string& cn,
                                   const std::string& issuer) const {
  bool allDone = true;
  for (const auto& folder : existingDatabases(bundleId)) {
    if (!NssDatabase::existsIn(folder)) continue;  // a profile never used: nothing to remove
    std::string error;
    auto database = NssDatabase::open(folder, false, error);
    const int removed = database ? database->removeCertificates(cn, issuer, error) : -1;
    logf("certificate removal for %s from %s: %d removed%s%s", bundleId.c_str(), folder.c_str(), removed,
         error.empty() ? "" : ": ", error.c_str());
    allDone = allDone && removed >= 0;
  }
  return allDone;
}

}  // namespace karv
