// The user's certificate in the browsers' NSS databases: imported with
// libnss3, checked with NSS's own certutil, removed again.
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
  // A profile as Firefox makes it: listed in profiles.ini, with a database.
  std::string firefoxProfile(const std::string& root, const std::string& name) {
    const std::string folder = home / (root + "/" + name);
    fs::create_directories(folder);
    writeText(home / (root + "/profiles.ini"),
              "[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=default\nIsRelative=1\nPath=" + name + "\n");
    EXPECT_EQ(runTool({"certutil", "-N", "-d", "sql:" + folder, "--empty-password"}).exitCode, 0);
    return folder;
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
};

TEST_F(BrowserCertStoresTest, ImportIntoChromeAndFirefoxThenRemove) {
  const Bytes pfx = fileBytes(saveUserPfx("user.pfx", kPassword));
  const std::string profile = firefoxProfile(".mozilla/firefox", "k3x9.default-esr");
  const BrowserCertStores stores(home.path.string());
  const std::string chrome = stores.chromeDatabase();
  ASSERT_FALSE(fs::exists(chrome));

  ASSERT_TRUE(stores.importInto(kChrome, pfx, kPassword));
  ASSERT_TRUE(stores.importInto(kFirefox, pfx, kPassword));
  EXPECT_EQ(modeOf(chrome), 0700u);
  for (const auto& db : {chrome, profile}) {
    SCOPED_TRACE(db);
    const std::string certs = listing(db, "-L");
    EXPECT_NE(certs.find(std::string(kCn) + " "), std::string::npos) << certs;
    EXPECT_NE(certs.find("u,u,u"), std::string::npos) << certs;  // with its key: a user certificate
    EXPECT_NE(listing(db, "-K").find(kCn), std::string::npos);
  }
  // Again: the database holds it already, which is success, and still once.
  EXPECT_TRUE(stores.importInto(kChrome, pfx, kPassword));
  EXPECT_EQ(countOf(listing(chrome, "-L"), kCn), 1);

  // Removal by name and issuer (in any order of its parts) from both.
  EXPECT_TRUE(stores.removeFrom(kChrome, kCn, "C=TW, O=Test Org, CN=Test Issuing CA"));
  EXPECT_TRUE(stores.removeFrom(kFirefox, kCn, "CN=Test Issuing CA, O=Test Org, C=TW"));
  for (const auto& db : {chrome, profile}) {
    SCOPED_TRACE(db);
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
    const BrowserCertStores stores(caseHome);
    const std::string db = stores.chromeDatabase();
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
  const BrowserCertStores stores(home.path.string());
  EXPECT_FALSE(stores.importInto(kChrome, fileBytes(legacy), "wrong"));
  EXPECT_EQ(listing(stores.chromeDatabase(), "-L").find(kCn), std::string::npos);
  EXPECT_TRUE(stores.importInto(kChrome, fileBytes(legacy), "old-file"));
  EXPECT_NE(listing(stores.chromeDatabase(), "-K").find(kCn), std::string::npos);

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
  EXPECT_NE(listing(stores.chromeDatabase(), "-L").find(std::string(kCn) + " #2"), std::string::npos);
}

TEST_F(BrowserCertStoresTest, FirefoxProfilesOfEveryInstallationKind) {
  const BrowserCertStores stores(home.path.string());
  // Firefox installed but never started: nothing to import into.
  EXPECT_FALSE(stores.importInto(kFirefox, fileBytes(saveUserPfx("user.pfx", kPassword)), kPassword));
  // Removal from databases that do not exist has nothing to do.
  EXPECT_TRUE(stores.removeFrom(kFirefox, kCn, ""));
  EXPECT_TRUE(stores.removeFrom(kChrome, kCn, ""));
  EXPECT_FALSE(fs::exists(stores.chromeDatabase()));

  const std::string distribution = home / ".mozilla/firefox/a.default";
  const std::string snap = home / "snap/firefox/common/.mozilla/firefox/b.default";
  const std::string flatpak = home / ".var/app/org.mozilla.firefox/.mozilla/firefox/c.default";
  for (const auto& folder : {distribution, snap, flatpak}) privateFolder(folder);
  writeText(home.path / ".mozilla/firefox/profiles.ini",
            "[Profile1]\nIsRelative=0\nPath=" + flatpak + "\n[Profile0]\nIsRelative=1\nPath=a.default\n" +
                "[Profile2]\nIsRelative=1\nPath=deleted.default\n[Install4F96D1932A9F858E]\nDefault=a.default\n");
  writeText(home.path / "snap/firefox/common/.mozilla/firefox/profiles.ini", "[Profile0]\nPath=b.default\n");
  writeText(home.path / ".var/app/org.mozilla.firefox/.mozilla/firefox/profiles.ini",
            "[Profile0]\nIsRelative=1\nPath=c.default\n[Profile1]\nIsRelative=0\nPath=" + flatpak + "\n");
  EXPECT_EQ(stores.firefoxProfiles(), (std::vector<std::string>{distribution, snap, flatpak}));
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
  const BrowserCertStores stores(home.path.string());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeText(root + "/profiles.ini", std::string("[Profile0]\nIsRelative=1\nPath=good.default\n") +
                                          "[Profile1]\nIsRelative=" + c.isRelative + "\nPath=" + c.path + "\n");
    std::vector<std::string> expected{good};
    if (c.accepted) expected.push_back(root + "/inside.default");
    EXPECT_EQ(stores.firefoxProfiles(), expected);
  }
}

}  // namespace
}  // namespace karv
