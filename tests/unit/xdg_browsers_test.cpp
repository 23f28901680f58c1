#include <gtest/gtest.h>

#include "browsers/XdgBrowsers.h"
#include "support/TestFiles.h"
#include "system/CommonUtility.h"

namespace karv {
namespace {

using test::ScopedEnv;
using test::TempDir;
using test::writeText;
namespace fs = std::filesystem;

// A desktop made of fixture folders: user and system application folders,
// user and system configuration, and programs that exist.
class XdgDesktop : public ::testing::Test {
 protected:
  TempDir root;
  ScopedEnv home{"HOME", root / "home"};
  ScopedEnv dataHome{"XDG_DATA_HOME", root / "home/.local/share"};
  ScopedEnv dataDirs{"XDG_DATA_DIRS", root / "usr/local/share" + ":" + root / "usr/share"};
  ScopedEnv configHome{"XDG_CONFIG_HOME", root / "home/.config"};
  ScopedEnv configDirs{"XDG_CONFIG_DIRS", root / "etc/xdg"};
  ScopedEnv desktop{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"};

  std::string program(const std::string& relative) {
    const fs::path p = root.path / relative;
    writeText(p, "#!/bin/sh\n");
    fs::permissions(p, fs::perms(0755));
    return p.string();
  }
  // Installs a desktop entry for a program into an application folder.
  std::string install(const std::string& appDir, const std::string& id, const std::string& name,
                      const std::string& exec, const std::string& extra = "") {
    const fs::path p = root.path / appDir / id;
    writeText(p, "[Desktop Entry]\nVersion=1.0\nType=Application\nName=" + name + "\nName[zh_TW]=瀏覽器\nExec=" + exec +
                     "\nIcon=web-browser\n" + extra + "[Desktop Action new-window]\nName=New\nExec=/nope\n");
    return p.string();
  }
  void setDefault(const std::string& listFile, const std::string& ids) {
    writeText(root.path / listFile, "[Default Applications]\ntext/html=other.desktop\nx-scheme-handler/https=" + ids +
                                        "\n[Added Associations]\nx-scheme-handler/https=firefox.desktop;\n");
  }
};

TEST_F(XdgDesktop, OnlyEntriesOfInstalledBrowsersCount) {
  setDefault("home/.config/mimeapps.list", "google-chrome.desktop;");
  EXPECT_FALSE(getBrowserInfo().has_value());
  // Entries that do not stand for an installed application.
  install("usr/share/applications", "firefox.desktop", "Firefox", root / "missing/firefox");
  install("usr/share/applications", "chromium.desktop", "Chromium", program("bin/chromium"),
          "TryExec=" + root / "missing/chromium" + "\n");
  install("usr/share/applications", "firefox-esr.desktop", "Firefox ESR", program("bin/firefox-esr"));
  install("home/.local/share/applications", "firefox-esr.desktop", "Firefox ESR", program("bin/firefox-esr"),
          "Hidden=true\n");  // the user deleted it
  EXPECT_FALSE(getBrowserInfo().has_value());

  const std::string entry = install("usr/share/applications", "google-chrome.desktop", "Google Chrome",
                                    program("opt/google/chrome/google-chrome") + " %U");
  const auto records = getBrowserInfo();
  ASSERT_TRUE(records && records->size() == 1u);
  EXPECT_EQ(records->front(), (BrowserRecord{{"bundleId", "com.google.Chrome"},
                                             {"name", "Google Chrome"},
                                             {"path", entry},
                                             {"version", ""},
                                             {"defaultBrowser", "Y"}}));
}

TEST_F(XdgDesktop, OtherBrowsersAreIgnoredAndOrderIsFixed) {
  // Firefox through a symlinked program with its application.ini beside the real one.
  const std::string realFirefox = program("usr/lib/firefox-esr/firefox-esr");
  writeText(root.path / "usr/lib/firefox-esr/application.ini", "[App]\nVendor=Mozilla\nVersion=115.9.1esr\n");
  fs::create_directories(root.path / "usr/bin");
  fs::create_symlink(realFirefox, root.path / "usr/bin/firefox-esr");
  const std::string firefox = install("usr/local/share/applications", "firefox-esr.desktop", "Firefox ESR",
                                      "\"" + root / "usr/bin/firefox-esr" + "\" %u");
  install("usr/share/applications", "chromium.desktop", "Chromium", program("usr/bin/chromium") + " %U");
  install("usr/share/applications", "org.gnome.Epiphany.desktop", "Web", program("usr/bin/epiphany") + " %U");
  setDefault("home/.config/mimeapps.list", "org.gnome.Epiphany.desktop;");

  const auto records = getBrowserInfo();
  ASSERT_TRUE(records.has_value());
  ASSERT_EQ(records->size(), 2u);
  EXPECT_EQ(records->at(0).at("bundleId"), "com.google.Chrome");
  EXPECT_EQ(records->at(0).at("name"), "Chromium");
  EXPECT_EQ(records->at(0).at("defaultBrowser"), "N");
  EXPECT_EQ(records->at(1), (BrowserRecord{{"bundleId", "org.mozilla.Firefox"},
                                           {"name", "Firefox ESR"},
                                           {"path", firefox},
                                           {"version", "115.9.1esr"},
                                           {"defaultBrowser", "N"}}));
}

// The https handler comes from the mimeapps.list files in their order, and
// the default is a browser, whichever of its entries is the handler.
TEST_F(XdgDesktop, DefaultBrowserFollowsMimeAppsAndComparesBrowsersNotEntries) {
  install("usr/share/applications", "firefox-esr.desktop", "Firefox ESR", program("bin/firefox-esr"));
  install("usr/share/applications", "google-chrome.desktop", "Google Chrome", program("bin/chrome"));
  install("usr/share/applications", "chromium.desktop", "Chromium", program("bin/chromium"));
  EXPECT_EQ(XdgBrowsers().defaultApplication("x-scheme-handler/https"), std::nullopt);
  struct Step {
    const char* listFile;
    const char* ids;
    const char* handler;
    const char* chromeFirefox;  // "defaultBrowser" of the two records
  };
  const Step steps[] = {
      {"usr/share/applications/mimeapps.list", "firefox-esr.desktop", "firefox-esr.desktop", "NY"},
      {"etc/xdg/mimeapps.list", "chromium.desktop", "chromium.desktop", "YN"},
      // A listed application that is not installed gives way to the next one.
      {"home/.config/mimeapps.list", "opera.desktop;firefox-esr.desktop;", "firefox-esr.desktop", "NY"},
      // The desktop's own list comes before the general one in the same folder.
      {"home/.config/gnome-mimeapps.list", "google-chrome.desktop", "google-chrome.desktop", "YN"},
  };
  for (const auto& s : steps) {
    setDefault(s.listFile, s.ids);
    EXPECT_EQ(XdgBrowsers().defaultApplication("x-scheme-handler/https"), s.handler) << s.listFile;
    const auto records = getBrowserInfo();
    ASSERT_TRUE(records && records->size() == 2u);
    EXPECT_EQ(records->at(0).at("name"), "Google Chrome");  // the first entry names the browser
    EXPECT_EQ(records->at(0).at("defaultBrowser") + records->at(1).at("defaultBrowser"), s.chromeFirefox) << s.ids;
  }
}

TEST_F(XdgDesktop, CommandForFillsFieldCodesWithoutShell) {
  const std::string chrome = program("opt/google chrome/chrome");
  install("usr/share/applications", "google-chrome.desktop", "Google Chrome",
          "\"" + root / "opt/google chrome/chrome" + "\" \"--class=\\\\\"a b\\\\\"\" --name=%c %i %U 100%%");
  const auto entry = XdgBrowsers().findBrowser("com.google.Chrome");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->program, chrome);
  EXPECT_EQ(entry->commandFor("file:///home/u/.plix/PLIXDepCert.1.html"),
            (std::vector<std::string>{chrome, "--class=\"a b\"", "--name=Google Chrome", "--icon", "web-browser",
                                      "file:///home/u/.plix/PLIXDepCert.1.html", "100%"}));
  EXPECT_FALSE(XdgBrowsers().findBrowser("com.apple.Safari").has_value());

  // A Flatpak's entry forwards files between its markers; started without
  // one, the arguments follow the application ID.
  const std::string flatpak = program("usr/bin/flatpak");
  install("var/lib/flatpak/exports/share/applications", "org.mozilla.firefox.desktop", "Firefox",
          flatpak + " run --command=firefox --file-forwarding org.mozilla.firefox @@u %u @@");
  ScopedEnv flatpakDirs{"XDG_DATA_DIRS", root / "var/lib/flatpak/exports/share"};
  const auto firefox = XdgBrowsers().findBrowser("org.mozilla.Firefox");
  ASSERT_TRUE(firefox.has_value());
  EXPECT_EQ(firefox->commandWith({"--headless", "-silent"}),
            (std::vector<std::string>{flatpak, "run", "--command=firefox", "--file-forwarding", "org.mozilla.firefox",
                                      "@@u", "@@", "--headless", "-silent"}));
  EXPECT_EQ(firefox->commandFor("file:///p.html").at(6), "file:///p.html");
}

}  // namespace
}  // namespace karv
