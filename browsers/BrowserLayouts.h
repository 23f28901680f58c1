#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace karv {

// The gateway's identifiers of the two browser families it knows.
inline constexpr char kChromeFamily[] = "com.google.Chrome";
inline constexpr char kFirefoxFamily[] = "org.mozilla.Firefox";
[[nodiscard]] inline bool isFirefoxFamily(std::string_view bundleId) { return bundleId == kFirefoxFamily; }

// How a browser reached the machine, which decides the home it sees: a
// distribution package sees the user's own; a snap and a Flatpak keep theirs
// inside their sandbox's folder of the home (~/snap/<name>, ~/.var/app/<id>).
enum class Packaging { kNative, kSnap, kFlatpak };

// One packaged form of a supported browser, as its desktop entry names it.
struct BrowserLayout {
  const char* bundleId;   // the gateway's identifier of its family
  const char* desktopId;  // "chromium_chromium.desktop"
  Packaging packaging;
  const char* sandbox;  // the snap's name or the Flatpak application ID; "" for a package
};

// Every form known, the Chromium family ("com.google.Chrome") first, then
// Firefox ("org.mozilla.Firefox"); within a family the first installed one
// names the browser.
[[nodiscard]] const std::vector<BrowserLayout>& browserLayouts();

// The user's home and XDG homes, as the environment sets them.
struct UserDirs {
  std::string home;
  std::string dataHome;
  std::string configHome;
  [[nodiscard]] static UserDirs fromEnvironment();
};

// Where a form keeps its certificate stores. The Chromium family: NSS
// database folders, the one every member reads first (the one to make when
// none exists). Firefox: the folders that hold profiles.ini, in the XDG place
// and the old one, as seen from inside the sandbox.
[[nodiscard]] std::vector<std::string> storeRootsOf(const BrowserLayout& layout, const UserDirs& dirs);

// The sandbox's own folder of the home, which the browser makes when it first
// runs and nothing else may make for it; "" for a distribution package.
[[nodiscard]] std::string sandboxHomeOf(const BrowserLayout& layout, const UserDirs& dirs);

}  // namespace karv
