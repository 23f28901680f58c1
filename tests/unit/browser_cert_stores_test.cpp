// The user's certificate in the browsers' NSS databases: imported with
// libnss3, checked with NSS's own certutil, removed again.
#include <gtest/gtest.h>

#include "browsers/BrowserCertStores.h"
#include "system/CommonUtility.h"
#include "support/PfxFixture.h"

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
  static Bytes fileBytes(const std::string& path) { return CommonUtility().getFile(path).value_or(Bytes{}); }
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

  // Removal by name and issuer; another issuer's certificate of that name stays.
  const std::string issuer = "CN=Test Issuing CA, O=Test Org, C=TW";
  EXPECT_TRUE(stores.removeFrom(kChrome, kCn, "CN=Other CA, C=TW"));
  EXPECT_NE(listing(chrome, "-L").find(kCn), std::string::npos);
  EXPECT_TRUE(stores.removeFrom(kChrome, kCn, "C=TW, O=Test Org, CN=Test Issuing CA"));
  EXPECT_TRUE(stores.removeFrom(kFirefox, kCn, issuer));
  for (const auto& db : {chrome, profile}) {
    SCOPED_TRACE(db);
    EXPECT_EQ(listing(db, "-L").find(kCn), std::string::npos);
    EXPECT_EQ(listing(db, "-K").find(kCn), std::string::npos);
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
  const std::string elsewhere = home / "profiles/d";
  for (const auto& folder : {distribution, snap, flatpak, elsewhere}) fs::create_directories(folder);
  writeText(home.path / ".mozilla/firefox/profiles.ini",
            "[Profile1]\nIsRelative=0\nPath=" + elsewhere + "\n[Profile0]\nIsRelative=1\nPath=a.default\n" +
                "[Profile2]\nIsRelative=1\nPath=deleted.default\n[Install4F96D1932A9F858E]\nDefault=a.default\n");
  writeText(home.path / "snap/firefox/common/.mozilla/firefox/profiles.ini", "[Profile0]\nPath=b.default\n");
  writeText(home.path / ".var/app/org.mozilla.firefox/.mozilla/firefox/profiles.ini",
            "[Profile0]\nIsRelative=1\nPath=c.default\n[Profile1]\nIsRelative=0\nPath=" + elsewhere + "\n");
  EXPECT_EQ(stores.firefoxProfiles(), (std::vector<std::string>{distribution, elsewhere, snap, flatpak}));
}

}  // namespace
}  // namespace karv
