// Signing in with the installed certificate: after the installation through
// the client, real headless Chromium and Firefox ESR fetch a page from a
// loopback site that asks for a certificate of the development gateway's CA,
// and the site sees the user's common name; after the removal, it sees none.
// The browsers trust the site through the development TLS CA in their own
// databases, not through switches that would skip the checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <iostream>

#include "KarvBuildConfig.h"
#include "browsers/BrowserOpener.h"
#include "protocol/KARVLib.h"
#include "support/ClientCertEchoServer.h"
#include "support/TestFiles.h"
#include "support/TestGateway.h"
#include "support/ToolRunner.h"
#include "system/SecureFiles.h"
#include "system/XdgKeyFile.h"

namespace karv {
namespace {

using namespace test;

constexpr char kChrome[] = "com.google.Chrome";
constexpr char kFirefox[] = "org.mozilla.Firefox";

// The page is not what these tests look at: the sign-in is.
struct NoOpener : BrowserOpener {
  bool openUrlWithBrowser(const std::string&, const std::string&) override { return true; }
};

// Every browser run is bounded: `timeout` ends the browser's whole process group.
std::vector<std::string> bounded(std::vector<std::string> argv) {
  argv.insert(argv.begin(), {"timeout", "-k", "5", "60"});
  return argv;
}

class BrowserSignInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Chromium's policy folder is swapped in a private mount namespace.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
    gw = std::make_unique<TestGateway>(
        TestGateway::Scheme::kHttps,
        TestGateway::Settings{{"depCert.templateUrl", "#gatewayOrigin#/RACGW/depCert/depCert.html"}});
    lib = gw->loggedIn(demo::kExpiring);
    site = std::make_unique<ClientCertEchoServer>(readWholeFile(gw->dataDir() + "/ca/issuing.pem").value_or("") +
                                                  readWholeFile(gw->dataDir() + "/ca/root.pem").value_or(""));
    ASSERT_TRUE(site->running());
    writeText(home.path / "tls-ca.pem", build::kExtraCaPem);
    for (const char* id : {"chromium", "firefox-esr"})
      writeText(home.path / "share/applications" / (std::string(id) + ".desktop"),
                "[Desktop Entry]\nType=Application\nName=" + std::string(id) + "\nExec=/bin/true %U\n");
    lib->setBrowserOpener(std::make_shared<NoOpener>());
  }

  // A database that trusts the development TLS CA for sites, made as the browser makes it.
  void trustSiteIn(const std::string& folder) {
    fs::create_directories(folder);
    const std::string db = "sql:" + folder;
    if (!fs::exists(folder + "/cert9.db")) {
      ASSERT_EQ(runTool({"certutil", "-N", "-d", db, "--empty-password"}).exitCode, 0);
    }
    ASSERT_EQ(
        runTool({"certutil", "-A", "-d", db, "-n", "KARV Development TLS CA", "-t", "C,,", "-i", home / "tls-ca.pem"})
            .exitCode,
        0);
  }

  void install(const char* bundleId) {
    const BrowserRecord record{{"bundleId", bundleId}, {"name", bundleId}, {"defaultBrowser", "N"}};
    ASSERT_EQ(lib->deployCert(gw->demoPfx(demo::kExpiring), "demo1234", {record}), 0);
  }

  // Runs the browser against the site and returns the common names the site
  // saw (one per request, "" for none), printing how long the run took.
  std::vector<std::string> visit(const std::string& what, const std::function<ToolResult()>& browser) {
    const auto start = std::chrono::steady_clock::now();
    const ToolResult run = browser();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::cout << "[ timing ] " << what << ": " << took.count() << " s\n";
    EXPECT_EQ(run.exitCode, 0) << what << " (Debian's package, installed by scripts/setup) must run to the end; 124 "
                               << "is a timeout, 126 a refused mount namespace:\n"
                               << run.output.substr(0, 4000);
    return site->takeVisitors();
  }

  // Installed, the browser signs in with the user's certificate; removed, it presents none.
  void proveSignInUntilRemoval(const std::string& browserName, const std::function<ToolResult()>& browser) {
    for (const bool installed : {true, false}) {
      SCOPED_TRACE(installed ? "installed" : "removed");
      if (!installed) {
        ASSERT_EQ(lib->removeDeploiedCert(demo::kExpiring.cn), 0);
      }
      const auto visitors = visit(browserName + (installed ? " after installation" : " after removal"), browser);
      ASSERT_FALSE(visitors.empty()) << "the browser never reached the site";
      for (const auto& cn : visitors) EXPECT_EQ(cn, installed ? demo::kExpiring.cn : "");
    }
  }

  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path.string()};
  ScopedEnv dataDirs{"XDG_DATA_DIRS", home / "share"};
  ScopedEnv dataHome{"XDG_DATA_HOME", home / "data"};
  ScopedEnv configHome{"XDG_CONFIG_HOME", home / "config"};
  // Made in SetUp, for root only.
  std::unique_ptr<TestGateway> gw;
  std::unique_ptr<KARVLib> lib;
  std::unique_ptr<ClientCertEchoServer> site;
};

// The policy picks the certificate of the gateway's issuing CA for the site
// without asking; the machine's /etc/chromium stays as it is.
TEST_F(BrowserSignInTest, ChromiumSignsInWithTheInstalledCertificateUntilItIsRemoved) {
  trustSiteIn(home / ".pki/nssdb");
  install(kChrome);
  const std::string etc = home / "etc-chromium";
  writeText(etc + "/policies/managed/sign-in.json",
            R"({"AutoSelectCertificateForUrls": ["{\"pattern\":\")" + site->origin() +
                R"(\",\"filter\":{\"ISSUER\":{\"CN\":\"KARV Development Issuing CA\"}}}"]})");
  const auto chromium = [&] {
    return runToolWithFolderOver(
        bounded({"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + home / "chromium-profile", "--dump-dom", site->origin() + "/account"}),
        etc, "/etc/chromium");
  };
  proveSignInUntilRemoval("chromium", chromium);
}

// A Firefox that has never run: the installation has it make its own
// profile, and that profile, with the preference that picks a matching
// certificate without asking, signs in.
TEST_F(BrowserSignInTest, FirefoxEsrThatNeverRanSignsInWithTheInstalledCertificateUntilItIsRemoved) {
  ScopedEnv noCrashReporter{"MOZ_CRASHREPORTER_DISABLE", "1"};
  writeText(home.path / "share/applications/firefox-esr.desktop",
            "[Desktop Entry]\nType=Application\nName=firefox-esr\nExec=/usr/bin/firefox-esr %u\n");
  install(kFirefox);
  // The profile Firefox picks for its install at its next start, in the XDG place.
  const std::string root = home / "config/mozilla/firefox";
  const auto installs = xdg::KeyFile::load(root + "/installs.ini");
  ASSERT_TRUE(installs && !installs->groupNames().empty()) << "the installation should have had Firefox start once";
  const auto picked = installs->value(installs->groupNames().front(), "Default");
  ASSERT_TRUE(picked.has_value());
  const std::string profile = root + "/" + *picked;
  EXPECT_FALSE(fs::exists(home.path / ".mozilla"));
  trustSiteIn(profile);
  writeText(profile + "/user.js",
            "user_pref(\"security.default_personal_cert\", \"Select Automatically\");\n"
            // Nothing beyond loopback: no revocation, update or telemetry traffic to wait for.
            "user_pref(\"security.OCSP.enabled\", 0);\n"
            "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
            "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
            "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
            "user_pref(\"network.captive-portal-service.enabled\", false);\n"
            "user_pref(\"network.connectivity-service.enabled\", false);\n"
            "user_pref(\"app.update.disabledForTesting\", true);\n"
            "user_pref(\"browser.safebrowsing.update.enabled\", false);\n"
            "user_pref(\"extensions.update.enabled\", false);\n");
  const auto firefox = [&] {
    // No --profile: Firefox takes the one it picked itself.
    return runTool(
        bounded({"firefox-esr", "--headless", "--screenshot", home / "page.png", site->origin() + "/account"}));
  };
  proveSignInUntilRemoval("firefox-esr", firefox);
}

}  // namespace
}  // namespace karv
