#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "browsers/BrowserLayouts.h"

namespace karv {

// One installed web browser: "bundleId", "name", "path", "version",
// "defaultBrowser" (and "selected" once the user chose).
using BrowserRecord = std::map<std::string, std::string>;

// Safari, Chrome, Firefox in this order, those installed; none when none is.
[[nodiscard]] std::optional<std::vector<BrowserRecord>> getBrowserInfo();

// An installed application as its XDG desktop entry describes it.
struct DesktopEntry {
  std::string id;                 // desktop file ID, "firefox-esr.desktop"
  std::string path;               // absolute path of the .desktop file
  std::string name;               // "Name"
  std::string icon;               // "Icon" (a theme name or a path)
  std::vector<std::string> exec;  // "Exec" split into arguments, field codes kept
  std::string program;            // absolute path of the program Exec starts

  // The argument vector that opens `url` (the field codes filled in); run it
  // directly, never through a shell.
  [[nodiscard]] std::vector<std::string> commandFor(const std::string& url) const;
  // The argument vector that starts the application with these arguments
  // after its own, and no file or address.
  [[nodiscard]] std::vector<std::string> commandWith(const std::vector<std::string>& arguments) const;

 private:
  // Exec with the field codes filled in; file and address codes get `url`
  // once, or are dropped when there is none.
  [[nodiscard]] std::vector<std::string> expandExec(const std::string* url, bool& urlPlaced) const;
};

// A packaged form of a browser found on the machine.
struct InstalledBrowser {
  BrowserLayout layout;
  DesktopEntry entry;
};

// Finds the supported browsers among the installed desktop entries
// ($XDG_DATA_HOME and $XDG_DATA_DIRS "applications") and the default handler
// of "https" (mimeapps.list in the order of the mime-apps rules). The
// environment is read when the object is made.
class XdgBrowsers {
 public:
  XdgBrowsers();

  // The browser identifiers the gateway's configuration uses, in their fixed
  // order, each with the desktop entries that stand for it.
  struct Candidate {
    const char* bundleId;
    std::vector<const char*> desktopIds;
  };
  [[nodiscard]] static const std::vector<Candidate>& candidates();

  // The entry with this desktop ID when the application is installed: the
  // first file found by precedence, a real application whose program exists,
  // not hidden.
  [[nodiscard]] std::optional<DesktopEntry> findApplication(const std::string& desktopId) const;
  // The installed entry of a browser identifier ("org.mozilla.Firefox").
  [[nodiscard]] std::optional<DesktopEntry> findBrowser(const std::string& bundleId) const;
  // Every installed form of a browser identifier, in the order of browserLayouts().
  [[nodiscard]] std::vector<InstalledBrowser> installedForms(const std::string& bundleId) const;
  // Desktop ID of the default application of a MIME type
  // ("x-scheme-handler/https"): the first installed one listed.
  [[nodiscard]] std::optional<std::string> defaultApplication(const std::string& mimeType) const;
  // The version an installed application declares without being run (the
  // application.ini beside its program), else "".
  [[nodiscard]] static std::string versionOf(const DesktopEntry& entry);

  // One record per installed candidate, in candidate order; none when none is.
  [[nodiscard]] std::optional<std::vector<BrowserRecord>> browserInfo() const;

 private:
  [[nodiscard]] std::vector<std::string> mimeappsLists() const;

  std::vector<std::string> applicationDirs_;  // by precedence
  std::vector<std::string> configDirs_;       // config home first
  std::vector<std::string> desktops_;
};

}  // namespace karv
