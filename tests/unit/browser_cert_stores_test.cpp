// The user's certificate in the browsers' NSS databases, in every packaged
// form of the browsers: imported with libnss3, checked with NSS's own
// certutil, removed again.
#include <gtest/gtest.h>
#include <unistd.h>

#include "browsers/BrowserCertStores.h"
#include "support/PfxFixture.h"
#include "system/CommonUtility.h"

namespace karv {
namespace {

using namespace test;

constexpr char kChrome[] = "com.google.Chrome";
constexpr char kFirefox[] = "org.mozilla.Firefox";
constexpr char kCn[] = "X12345-01";
// Not ASCII: NSS wants the password as the file's BMPString.
const std::string kPassword = "pässwörd-密碼1";

class BrowserCertStoresTest : public PfxFixture {
 protected:
  // The user's folders under a home of its own.
  static UserDirs dirsOf(const std::string& caseHome) {
    return {caseHome, caseHome + "/.local/share", caseHome + "/.config"};
  }
  // Stores of a home where Chromium's distribution package is installed.
  static BrowserCertStores chromiumStores(const std::string& caseHome) {
    return BrowserCertStores(dirsOf(caseHome), [](const std::string& bundleId) {
      std::vector<InstalledBrowser> forms;
      for (const auto& layout : browserLayouts())
        if (bundleId == kChrome && std::string(layout.desktopId) == "chromium.desktop")
          forms.push_back({layout, DesktopEntry{}});
      return forms;
    });
  }
  // A folder as Firefox makes a profile: owner-only.
  static void privateFolder(const std::string& folder) {
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms(0700));
  }
  static Bytes fileBytes(const std::string& path) { return CommonUtility().getFile(path).value_or(Bytes{}); }
  // The certificate with its key into the database, by openssl and pk12util.
  void addWithKey(const std::string& db, const std::string& nickname, X509* cert, EVP_PKEY* key) {
    const std::string base = home / nickname;
    writeText(base + ".pem", certPem(cert) + keyPem(key));
    ASSERT_EQ(runTool({"openssl", "pkcs12", "-export", "-in", base + ".pem", "-name", nickname, "-passout", "pass:p",
                       "-out", base + ".p12"})
                  .exitCode,
              0);
    ASSERT_EQ(runTool({"pk12util", "-i", base + ".p12", "-d", "sql:" + db, "-W", "p"}).exitCode, 0);
  }
  // certutil's certificate list (-L) or key list (-K) of a database.
  static std::string listing(const std::string& folder, const char* what) {
    return runTool({"certutil", what, "-d", "sql:" + folder}).output;
  }
  static bool holdsUserCertificate(const std::string& db) {
    return containsAll(listing(db, "-L"), {std::string(kCn) + " ", "u,u,u"}) &&
           listing(db, "-K").find(kCn) != std::string::npos;
  }
};

// Each packaged form in a home and XDG data folders laid out as its package
// lays them out: the desktop finds the browser (and its entry as the default
// one), the certificate and its key land in that form's own store, in the
// place the browser reads, and removal takes them away again.
TEST_F(BrowserCertStoresTest, EveryPackagedFormGetsTheCertificateInItsOwnStore) {
  const Bytes pfx = fileBytes(saveUserPfx("user.pfx", kPassword));
  const std::string system = home / "system";
  const std::string native = "usr/share/applications/";
  const std::string snaps = "var/lib/snapd/desktop/applications/";
  const std::string flatpaks = "var/lib/flatpak/exports/share/applications/";
  struct Case {
    const char* what;
    std::string entry;       // where the package puts its desktop entry
    std::string exec;        // its command, after the program
    std::string existing;    // a store the browser made already ("" none)
    std::string store;       // where the certificate must land ("" nowhere)
    std::string madeFolder;  // a folder of the browser's own that exists
  };
  const std::string firefoxProfile = "/k3x9.default-esr";
  const Case cases[] = {
      {"Chromium package, new user", native + "chromium.desktop", " %U", "", ".pki/nssdb", ""},
      {"Chromium package, XDG store", native + "chromium.desktop", " %U", ".local/share/pki/nssdb",
       ".local/share/pki/nssdb", ""},
      {"Brave package", native + "brave-browser.desktop", " %U", "", ".pki/nssdb", ""},
      {"Edge package, old store", native + "microsoft-edge.desktop", " %U", ".pki/nssdb", ".pki/nssdb", ""},
      {"Chromium snap", snaps + "chromium_chromium.desktop", " %U", "", "snap/chromium/current/.pki/nssdb",
       "snap/chromium/2891"},
      {"Chromium snap never run", snaps + "chromium_chromium.desktop", " %U", "", "", ""},
      {"Chrome Flatpak", flatpaks + "com.google.Chrome.desktop", " run com.google.Chrome @@u %U @@", "",
       ".var/app/com.google.Chrome/.pki/nssdb", ".var/app/com.google.Chrome"},
      {"Chromium Flatpak, XDG store", flatpaks + "org.chromium.Chromium.desktop", " run org.chromium.Chromium %U",
       ".var/app/org.chromium.Chromium/data/pki/nssdb", ".var/app/org.chromium.Chromium/data/pki/nssdb", ""},
      {"Firefox ESR package, XDG profile", native + "firefox-esr.desktop", " %u",
       ".config/mozilla/firefox" + firefoxProfile, ".config/mozilla/firefox" + firefoxProfile, ""},
      {"Firefox package, old folder", native + "firefox.desktop", " %u", ".mozilla/firefox" + firefoxProfile,
       ".mozilla/firefox" + firefoxProfile, ""},
      {"Firefox snap", snaps + "firefox_firefox.desktop", " %u",
       "snap/firefox/common/.mozilla/firefox" + firefoxProfile, "snap/firefox/common/.mozilla/firefox" + firefoxProfile,
       ""},
      {"Firefox Flatpak, XDG profile", flatpaks + "org.mozilla.firefox.desktop", " run org.mozilla.firefox @@u %u @@",
       ".var/app/org.mozilla.firefox/config/mozilla/firefox" + firefoxProfile,
       ".var/app/org.mozilla.firefox/config/mozilla/firefox" + firefoxProfile, ""},
      // Its first start fails (the stand-in program exits with 1): no profile.
      {"Firefox that cannot make a profile", native + "firefox.desktop", " %u", "", "", ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string caseHome = home / ("case" + std::to_string(++n));
    const std::string data = caseHome + "/data" + std::to_string(n);
    ScopedEnv homeAt{"HOME", caseHome};
    ScopedEnv dataHome{"XDG_DATA_HOME", caseHome + "/.local/share"};
    ScopedEnv configHome{"XDG_CONFIG_HOME", caseHome + "/.config"};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", data + "/usr/share:" + data + "/var/lib/snapd/desktop:" + data +
                                            "/var/lib/flatpak/exports/share"};
    const std::string program = data + "/bin/browser";
    writeText(program, "#!/bin/sh\nexit 1\n");
    fs::permissions(program, fs::perms(0755));
    const std::string desktopId = fs::path(c.entry).filename().string();
    writeText(data + "/" + c.entry,
              "[Desktop Entry]\nType=Application\nName=" + std::string(c.what) + "\nExec=" + program + c.exec + "\n");
    writeText(caseHome + "/.config/mimeapps.list",
              "[Default Applications]\nx-scheme-handler/https=" + desktopId + "\n");
    const bool firefox = desktopId.find("firefox") != std::string::npos;
    const char* family = firefox ? kFirefox : kChrome;
    if (!c.madeFolder.empty()) fs::create_directories(caseHome + "/" + c.madeFolder);
    if (c.store.rfind("snap/chromium/current", 0) == 0)
      fs::create_directory_symlink("2891", caseHome + "/snap/chromium/current");
    if (!c.existing.empty()) {
      const fs::path db = caseHome + "/" + c.existing;
      privateFolder(db.string());
      if (firefox)
        writeText(db.parent_path() / "profiles.ini",
                  "[Profile0]\nName=default-esr\nIsRelative=1\nPath=" + db.filename().string() + "\n");
      ASSERT_EQ(runTool({"certutil", "-N", "-d", "sql:" + db.string(), "--empty-password"}).exitCode, 0);
    }

    const auto offered = getBrowserInfo();
    ASSERT_TRUE(offered && offered->size() == 1u);
    EXPECT_EQ(offered->front().at("bundleId"), family);
    EXPECT_EQ(offered->front().at("name"), c.what);
    EXPECT_EQ(offered->front().at("defaultBrowser"), "Y");

    const BrowserCertStores stores;
    EXPECT_EQ(stores.importInto(family, pfx, kPassword), !c.store.empty());
    if (c.store.empty()) {
      EXPECT_TRUE(stores.existingDatabases(family).empty());
      continue;
    }
    const std::string db = caseHome + "/" + c.store;
    EXPECT_TRUE(holdsUserCertificate(db)) << listing(db, "-L");
    EXPECT_EQ(modeOf(db), 0700u);
    // The browser's only store: nothing was made where it does not look.
    EXPECT_EQ(stores.existingDatabases(family), std::vector<std::string>{fs::canonical(db).string()});
    // Again: the database holds it already, which is success, and still once.
    EXPECT_TRUE(stores.importInto(family, pfx, kPassword));
    EXPECT_EQ(countOf(listing(db, "-L"), kCn), 1);

    // Removal by name and issuer (in any order of its parts).
    EXPECT_TRUE(stores.removeFrom(family, kCn, "C=TW, O=Test Org, CN=Test Issuing CA"));
    EXPECT_EQ(listing(db, "-L").find(kCn), std::string::npos);
    EXPECT_EQ(listing(db, "-K").find(kCn), std::string::npos);
  }
}

// Removal takes only the certificate named by both its common name and its
// issuer, and a key only when no certificate left uses it. The databases
// are made by NSS's own tools from files made by openssl.
TEST_F(BrowserCertStoresTest, RemovalTakesOnlyTheNamedCertificateAndKeysNoneStillUses) {
  const std::string issuer = "CN=Test Issuing CA, O=Test Org, C=TW";
  // Ours; another issuer's with our common name and its own key; one without a common name.
  const X509Ptr theirs =
      makeCert({kCn, "", "Other", "", "", "TW"}, otherUserKey(), nullptr, otherUserKey(), {7, false});
  const X509Ptr nameless =
      makeCert({"", "Unit", "Nameless", "", "", "TW"}, intermediateKey(), nullptr, intermediateKey(), {8, false});
  const X509Ptr namelessOfOurKey =
      makeCert({"", "Unit", "Nameless", "", "", "TW"}, userKey(), nullptr, intermediateKey(), {9, false});
  struct Case {
    const char* what;
    std::string cn, issuer;
    bool namelessSharesOurKey;
    std::vector<std::string> certsLeft;
    int keysLeft;
  };
  const Case cases[] = {
      {"full record", kCn, issuer, false, {"theirs", "nameless"}, 2},
      {"full record, our key still used", kCn, issuer, true, {"theirs", "nameless"}, 2},
      {"issuer-less record", kCn, "", false, {"ours", "theirs", "nameless"}, 3},
      {"cn-less record", "", issuer, false, {"ours", "theirs", "nameless"}, 3},
      {"another issuer", kCn, "CN=Other CA, C=TW", false, {"ours", "theirs", "nameless"}, 3},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string caseHome = home / ("case" + std::to_string(++n));
    const BrowserCertStores stores = chromiumStores(caseHome);
    const std::string db = caseHome + "/.pki/nssdb";
    fs::create_directories(db);
    ASSERT_EQ(runTool({"certutil", "-N", "-d", "sql:" + db, "--empty-password"}).exitCode, 0);
    addWithKey(db, "ours", chain.user.get(), userKey());
    addWithKey(db, "theirs", theirs.get(), otherUserKey());
    if (c.namelessSharesOurKey) {
      writeText(caseHome + "/nameless.pem", certPem(namelessOfOurKey.get()));
      ASSERT_EQ(
          runTool({"certutil", "-A", "-n", "nameless", "-t", ",,", "-i", caseHome + "/nameless.pem", "-d", "sql:" + db})
              .exitCode,
          0);
    } else {
      addWithKey(db, "nameless", nameless.get(), intermediateKey());
    }
    ASSERT_EQ(countOf(listing(db, "-K"), "\n<"), c.namelessSharesOurKey ? 2 : 3);

    EXPECT_TRUE(stores.removeFrom(kChrome, c.cn, c.issuer));
    const std::string certs = listing(db, "-L");
    std::vector<std::string> left;
    for (const char* name : {"ours", "theirs", "nameless"})
      if (certs.find(std::string("\n") + name + " ") != std::string::npos) left.emplace_back(name);
    EXPECT_EQ(left, c.certsLeft) << certs;
    const std::string keys = listing(db, "-K");
    EXPECT_EQ(countOf(keys, "\n<"), c.keysLeft) << keys;
    EXPECT_EQ(keys.find("orphan"), std::string::npos) << keys;
  }
}

TEST_F(BrowserCertStoresTest, LegacyOpenSslFileImportsAndWrongPasswordDoesNot) {
  writeText(home.path / "user.pem", certPem(chain.user.get()));
  writeText(home.path / "user.key", keyPem(userKey()));
  const std::string legacy = home / "legacy.pfx";
  ASSERT_EQ(runTool({"openssl", "pkcs12", "-export", "-legacy", "-in", home / "user.pem", "-inkey", home / "user.key",
                     "-name", kCn, "-passout", "pass:old-file", "-out", legacy})
                .exitCode,
            0);
  const BrowserCertStores stores = chromiumStores(home.path.string());
  const std::string db = home / ".pki/nssdb";
  EXPECT_FALSE(stores.importInto(kChrome, fileBytes(legacy), "wrong"));
  EXPECT_EQ(listing(db, "-L").find(kCn), std::string::npos);
  EXPECT_TRUE(stores.importInto(kChrome, fileBytes(legacy), "old-file"));
  EXPECT_NE(listing(db, "-K").find(kCn), std::string::npos);

  // Another subject's certificate under the same friendly name gets a name of its own.
  const std::string other = home / "other";
  ASSERT_EQ(runTool({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", other + ".key", "-out",
                     other + ".pem", "-subj", std::string("/CN=") + kCn + "/O=Other", "-days", "1"})
                .exitCode,
            0);
  ASSERT_EQ(runTool({"openssl", "pkcs12", "-export", "-in", other + ".pem", "-inkey", other + ".key", "-name", kCn,
                     "-passout", "pass:other", "-out", other + ".pfx"})
                .exitCode,
            0);
  EXPECT_TRUE(stores.importInto(kChrome, fileBytes(other + ".pfx"), "other"));
  EXPECT_NE(listing(db, "-L").find(std::string(kCn) + " #2"), std::string::npos);
}

// The user's key goes into the database of each profile, made when missing:
// a profile counts only when it really is a private folder of this user
// beside its profiles.ini, however profiles.ini names it.
TEST_F(BrowserCertStoresTest, HostileFirefoxProfilesAreRefused) {
  const std::string root = home / ".mozilla/firefox";
  const std::string good = root + "/good.default";
  const std::string outside = home / "outside";
  for (const auto& folder : {good, outside, root + "/inside.default", root + "/shared.default", root + "/open.default",
                             root + "/foreign.default"})
    privateFolder(folder);
  fs::create_directory_symlink(outside, root + "/link.default");
  fs::permissions(root + "/shared.default", fs::perms(0770));
  fs::permissions(root + "/open.default", fs::perms(0702));
  const bool asRoot = ::geteuid() == 0;
  if (asRoot) {
    ASSERT_EQ(::chown((root + "/foreign.default").c_str(), 65534, 65534), 0);  // nobody
  }

  struct Case {
    const char* what;
    const char* isRelative;
    std::string path;
    bool accepted;
  };
  std::vector<Case> cases = {
      {"absolute, inside", "0", root + "/inside.default", true},
      {"absolute, outside", "0", outside, false},
      {"\"..\" out", "1", "../../outside", false},
      {"\"..\" back in", "1", "../firefox/inside.default", true},
      {"symlink out", "1", "link.default", false},
      {"the list's own folder", "1", ".", false},
      {"group-writable", "1", "shared.default", false},
      {"writable by others", "1", "open.default", false},
  };
  if (asRoot) cases.push_back({"another user's", "1", "foreign.default", false});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeText(root + "/profiles.ini", std::string("[Profile0]\nIsRelative=1\nPath=good.default\n") +
                                          "[Profile1]\nIsRelative=" + c.isRelative + "\nPath=" + c.path + "\n");
    std::vector<std::string> expected{good};
    if (c.accepted) expected.push_back(root + "/inside.default");
    EXPECT_EQ(BrowserCertStores::firefoxProfilesIn(root), expected);
  }
}

}  // namespace
}  // namespace karv
