#include "browsers/BrowserLayouts.h"

#include "system/SecureFiles.h"
#include "system/XdgDirs.h"

namespace karv {
const std::vector<BrowserLayout>& browserLayouts() {
  // Desktop IDs as the packages install them: distribution packages by their
  // own names, snaps as <snap>_<app>.desktop, Flatpaks as <application ID>.desktop.
  // The Chromium family's distribution packages all share ~/.pki/nssdb.
  static const std::vector<BrowserLayout> kLayouts = {
      {kChromeFamily, "google-chrome.desktop", Packaging::kNative, ""},
      {kChromeFamily, "chromium.desktop", Packaging::kNative, ""},
      {kChromeFamily, "chromium-browser.desktop", Packaging::kNative, ""},
      {kChromeFamily, "brave-browser.desktop", Packaging::kNative, ""},
      {kChromeFamily, "microsoft-edge.desktop", Packaging::kNative, ""},
      {kChromeFamily, "vivaldi-stable.desktop", Packaging::kNative, ""},
      {kChromeFamily, "opera.desktop", Packaging::kNative, ""},
      {kChromeFamily, "chromium_chromium.desktop", Packaging::kSnap, "chromium"},
      {kChromeFamily, "brave_brave.desktop", Packaging::kSnap, "brave"},
      {kChromeFamily, "com.google.Chrome.desktop", Packaging::kFlatpak, "com.google.Chrome"},
      {kChromeFamily, "org.chromium.Chromium.desktop", Packaging::kFlatpak, "org.chromium.Chromium"},
      {kChromeFamily, "com.brave.Browser.desktop", Packaging::kFlatpak, "com.brave.Browser"},
      {kChromeFamily, "com.microsoft.Edge.desktop", Packaging::kFlatpak, "com.microsoft.Edge"},
      {kChromeFamily, "com.vivaldi.Vivaldi.desktop", Packaging::kFlatpak, "com.vivaldi.Vivaldi"},
      {kChromeFamily, "com.opera.Opera.desktop", Packaging::kFlatpak, "com.opera.Opera"},
      {kFirefoxFamily, "firefox.desktop", Packaging::kNative, ""},
      {kFirefoxFamily, "firefox-esr.desktop", Packaging::kNative, ""},
      {kFirefoxFamily, "firefox_firefox.desktop", Packaging::kSnap, "firefox"},
      {kFirefoxFamily, "org.mozilla.firefox.desktop", Packaging::kFlatpak, "org.mozilla.firefox"},
  };
  return kLayouts;
}

UserDirs UserDirs::fromEnvironment() { return {userHomePath(), xdg::dataHome(), xdg::configHome()}; }

std::string sandboxHomeOf(const BrowserLayout& layout, const UserDirs& dirs) {
  switch (layout.packaging) {
    case Packaging::kSnap:
      // snapd points the snap's HOME at its current revision's folder.
      return dirs.home + "/snap/" + layout.sandbox + "/current";
    case Packaging::kFlatpak:
      return dirs.home + "/.var/app/" + layout.sandbox;
    default:
      return {};
  }
}

std::vector<std::string> storeRootsOf(const BrowserLayout& layout, const UserDirs& dirs) {
  // Current Chromium keeps a new user's database in $XDG_DATA_HOME/pki/nssdb
  // and Firefox a new user's profiles in $XDG_CONFIG_HOME/mozilla/firefox;
  // both keep using the old folder when it exists. Inside a sandbox the XDG
  // homes are the sandbox's own: a Flatpak's ~/.var/app/<id>/data and
  // /config, a snap's .local/share and .config of its HOME.
  const std::string sandbox = sandboxHomeOf(layout, dirs);
  if (!isFirefoxFamily(layout.bundleId)) {
    switch (layout.packaging) {
      case Packaging::kSnap:
        return {sandbox + "/.pki/nssdb", sandbox + "/.local/share/pki/nssdb"};
      case Packaging::kFlatpak:
        return {sandbox + "/.pki/nssdb", sandbox + "/data/pki/nssdb"};
      default:
        return {dirs.home + "/.pki/nssdb", dirs.dataHome + "/pki/nssdb"};
    }
  }
  switch (layout.packaging) {
    case Packaging::kSnap: {
      // The Firefox snap's launcher sets HOME to the snap's common folder;
      // snapd sets XDG_CONFIG_HOME inside the current revision.
      const std::string common = dirs.home + "/snap/" + layout.sandbox + "/common";
      return {common + "/.mozilla/firefox", common + "/.config/mozilla/firefox", sandbox + "/.config/mozilla/firefox"};
    }
    case Packaging::kFlatpak:
      return {sandbox + "/.mozilla/firefox", sandbox + "/config/mozilla/firefox"};
    default:
      return {dirs.home + "/.mozilla/firefox", dirs.configHome + "/mozilla/firefox"};
  }
}

}  // namespace karv
