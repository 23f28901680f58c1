#include "browsers/BrowserCertStores.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "browsers/NssDatabase.h"
#include "system/Log.h"
#include "system/XdgKeyFile.h"

namespace karv {
namespace {

namespace fs = std::filesystem;

constexpr char kChrome[] = "com.google.Chrome";
constexpr char kFirefox[] = "org.mozilla.Firefox";

// The folders that hold Firefox's profiles.ini: distribution package, snap, Flatpak.
constexpr const char* kFirefoxRoots[] = {
    "/.mozilla/firefox",
    "/snap/firefox/common/.mozilla/firefox",
    "/.var/app/org.mozilla.firefox/.mozilla/firefox",
};

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

}  // namespace

BrowserCertStores::BrowserCertStores(std::string home) : home_(std::move(home)) {}

std::string BrowserCertStores::chromeDatabase() const { return home_ + "/.pki/nssdb"; }

std::vector<std::string> BrowserCertStores::firefoxProfiles() const {
  std::vector<std::string> profiles;
  for (const char* root : kFirefoxRoots) {
    const fs::path folder = home_ + root;
    const auto ini = xdg::KeyFile::load((folder / "profiles.ini").string());
    std::error_code ec;
    const fs::path realFolder = fs::canonical(folder, ec);
    if (!ini || ec) continue;
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
      if (std::find(profiles.begin(), profiles.end(), real.string()) == profiles.end())
        profiles.push_back(real.string());
    }
  }
  return profiles;
}

std::vector<std::string> BrowserCertStores::databasesOf(const std::string& bundleId) const {
  if (bundleId == kChrome) return {chromeDatabase()};
  if (bundleId == kFirefox) return firefoxProfiles();
  return {};
}

bool BrowserCertStores::importInto(const std::string& bundleId, const Bytes& pkcs12Der,
                                   const std::string& password) const {
  const auto databases = databasesOf(bundleId);
  if (databases.empty() && bundleId == kFirefox) {
    logf("certificate import for %s: no profile to import into", bundleId.c_str());
    return false;
  }
  bool allDone = true;
  for (const auto& folder : databases) {
    std::string error;
    // Chrome's folder, or a Firefox profile that has no database yet, gets a
    // new one, as the browser would make it.
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
  for (const auto& folder : databasesOf(bundleId)) {
    if (!NssDatabase::existsIn(folder)) continue;  // never used: nothing to remove
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
