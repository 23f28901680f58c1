// The browser installation and removal pages: preselection, the certInfo
// block, and the protocol client against the development gateway's template,
// with the page opened in headless Chromium and the NSS databases checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "browsers/BrowserOpener.h"
#include "browsers/BrowserPreselection.h"
#include "browsers/DeployPage.h"
#include "browsers/WaitedProcess.h"
#include "protocol/KARVLib.h"
#include "support/PfxFixture.h"
#include "support/TestGateway.h"
#include "system/Log.h"

namespace karv {
namespace {

using namespace test;

constexpr char kSafari[] = "com.apple.Safari";
constexpr char kChrome[] = "com.google.Chrome";
constexpr char kFirefox[] = "org.mozilla.Firefox";

BrowserRecord browser(const char* bundleId, const char* isDefault = "N") {
  return {{"bundleId", bundleId}, {"name", bundleId}, {"defaultBrowser", isDefault}};
}

// "selected" of each record, in order: "YNY".
std::string selection(const std::vector<BrowserRecord>& records) {
  std::string flags;
  for (const auto& r : records) flags += r.at("selected");
  return flags;
}

TEST(BrowserPreselection, ModesAndNames) {
  const std::vector<BrowserRecord> all{browser(kSafari, "Y"), browser(kChrome), browser(kFirefox)};
  const std::vector<BrowserRecord> noFirefox{browser(kSafari, "Y"), browser(kChrome)};
  const std::vector<BrowserRecord> noDefault{browser(kChrome), browser(kFirefox)};
  struct Case {
    std::optional<std::string> mode, setting;
    std::vector<BrowserRecord> installed;
    std::string selected;
  };
  const std::optional<std::string> none;
  const Case cases[] = {
      {"M", "Chrome,DEFAULT", noFirefox, "YY"},
      {"S", "ALL,FireFox,Safari", all, "NNY"},  // one browser only, never all
      {"S", "ALL,FireFox,Safari", noFirefox, "NN"},
      {"N", "ALL", all, "YYY"},
      {"M", "Safari,ALL", noDefault, "YY"},
      {"M", "Internet Explorer,Microsoft Edge,Chrome64", all, "NNN"},
      {"M", "Safari, Chrome", all, "YNN"},  // no blanks are trimmed
      {"M", "chrome,FIREFOX", all, "NNN"},
      {"N", "DEFAULT", noDefault, "NN"},
      {"X", "Chrome,FireFox", all, "NYN"},
      {none, "FireFox,Chrome", all, "NNY"},
      {"S", "ALL", all, "NNN"},
      {"M", none, all, "NNN"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode.value_or("(none)") + " / " + c.setting.value_or("(none)"));
    const auto records = preselectBrowsers(c.installed, c.mode, c.setting);
    EXPECT_EQ(selection(records), c.selected);
    EXPECT_EQ(records.size(), c.installed.size());
  }
  EXPECT_TRUE(preselectBrowsers({}, "N", "ALL").empty());
}

TEST(DeployPage, BlocksKeepTheirLinesAndEscapeValues) {
  const CertInfo info{{"cn", "A123-01"},         {"serial", "A1B"},         {"issuer", "CN=CA, C=TW"},
                      {"subject", "CN=A123-01"}, {"notBefore", "20250101"}, {"notAfter", "20260101"},
                      {"certHash", "ABCD"},      {"ou", "not a member"}};
  EXPECT_EQ(DeployPage::deploymentBlock(info, "MIIp12+/=", "MIIcert=="),
            "var certInfo={\n\"opType\":\"deploy\",\n\"cn\":\"A123-01\",\n\"serial\":\"A1B\",\n"
            "\"issuer\":\"CN=CA, C=TW\",\n\"subject\":\"CN=A123-01\",\n\"notBefore\":\"20250101\",\n"
            "\"notAfter\":\"20260101\",\n\"certfinger\":\"ABCD\",\n\"b64P12Cert\":\"MIIp12+/=\",\n"
            "\"certb64\":\"MIIcert==\",\n};");
  EXPECT_EQ(DeployPage::removalBlock(CertInfo{{"cn", "A123-01"}, {"issuer", "CN=CA"}, {"serial", "1"}}),
            "var certInfo={\n\"opType\":\"remove\",\n\"cn\":\"A123-01\",\n\"issuer\":\"CN=CA\"\n};");
  EXPECT_EQ(DeployPage::removalBlock(std::nullopt),
            "var certInfo={\n\"opType\":\"remove\",\n\"cn\":\"\",\n\"issuer\":\"\"\n};");

  // Only ASCII comes out: read as Big5, "中" (E4 B8 AD) would join the
  // backslash of "\"" into one character and the quote would end the string.
  const std::pair<std::string, std::string> escapes[] = {
      {R"(a"b)", R"(a\"b)"},
      {R"(a\b)", R"(a\\b)"},
      {"a\nb\rc\td\x7F", R"(a\nb\rc\u0009d\u007F)"},
      {"</script><!--", R"(\u003C/script>\u003C!--)"},
      {"$1 $& '", "$1 $& '"},
      {"中\"", R"(\u4E2D\")"},
      {"王\u2028\u2029é", R"(\u738B\u2028\u2029\u00E9)"},
      {"😀", R"(\uD83D\uDE00)"},  // UTF-16 code units, as JavaScript counts them
      {"a\xFF\xE4\xB8"
       "b",
       R"(a\uFFFD\uFFFDb)"},  // not UTF-8
  };
  for (const auto& [value, literal] : escapes) {
    const std::string out = DeployPage::javaScriptString(value);
    EXPECT_EQ(out, literal) << value;
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) << out;
  }

  // Every placeholder gets the block, as plain text: "$1" stays "$1".
  const std::string block = DeployPage::certInfoBlock({{"cn", "$1\\0"}}, false);
  EXPECT_EQ(DeployPage::fill("<script>#importCertInfo#</script>#importCertInfo#", block),
            "<script>" + block + "</script>" + block);
  EXPECT_NE(block.find(R"("$1\\0")"), std::string::npos);
  // A hostile template of a megabyte of placeholders would make a page of gigabytes.
  std::string flood;
  for (int i = 0; i < 65536; ++i) flood += "#importCertInfo#";
  EXPECT_FALSE(DeployPage::fill(flood, std::string(4096, 'x')).has_value());

  EXPECT_EQ(DeployPage::templateUrl("https://h/RACGW/depCert/depCert.html"),
            "https://h/RACGW/depCertForMac/depCertForMac.html");
  EXPECT_EQ(DeployPage::templateUrl("https://h/page.html"), "https://h/page.html");
}

// The page holding the encrypted PKCS#12 goes at logout, quit and start:
// every file of the hidden working folder named like a page, nothing else,
// and nothing through a link.
TEST(DeployPageRemoval, OnlyPageFilesOfTheOwnHiddenFolder) {
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path.string()};
  const fs::path plix = home.path / ".plix";
  const std::string outside = home / "outside/PLIXDepCert.4.html";
  for (const char* name : {"PLIXDepCert.20250101000000000.html", "PLIXDepCert.1.html", "PLIXDepCert.x.html",
                           "PLIXDepCert.5.html.tmp", "20250101000000000.p8", "PLIXDepCert.2.html/keep"})
    writeText(plix / name, "x");
  writeText(outside, "x");
  fs::create_symlink(outside, plix / "PLIXDepCert.3.html");

  DeployPage::removeSaved();
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(plix)) left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"20250101000000000.p8", "PLIXDepCert.2.html", "PLIXDepCert.3.html",
                                            "PLIXDepCert.5.html.tmp", "PLIXDepCert.x.html"}));
  EXPECT_TRUE(fs::exists(outside));

  // A hidden folder that is a link to another folder is not the user's own.
  fs::remove_all(plix);
  fs::create_directory_symlink(home / "outside", plix);
  DeployPage::removeSaved();
  EXPECT_TRUE(fs::exists(outside));
}

// Records what was opened where; "com.apple.Safari" is never installed.
struct RecordingOpener : BrowserOpener {
  std::vector<std::pair<std::string, std::string>> opened;
  bool openUrlWithBrowser(const std::string& bundleId, const std::string& url) override {
    opened.emplace_back(bundleId, url);
    return bundleId != kSafari;
  }
};

class DeployCertTest : public PfxFixture {
 protected:
  void SetUp() override {
    // Chromium's distribution package is the only browser installed.
    writeText(home.path / "share/applications/chromium.desktop",
              "[Desktop Entry]\nType=Application\nName=Chromium\nExec=/bin/true %U\n");
    lib->setBrowserOpener(opener);
    setLogSink([this](std::string_view line) { logLines.emplace_back(line); });
  }
  void TearDown() override { setLogSink({}); }

  std::vector<std::string> pages() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(home.path / ".plix", ec))
      if (e.path().filename().string().rfind("PLIXDepCert.", 0) == 0) names.push_back(e.path().string());
    return names;
  }

  ScopedEnv dataDirs{"XDG_DATA_DIRS", home / "share"};
  ScopedEnv dataHome{"XDG_DATA_HOME", home / "data"};
  ScopedEnv configHome{"XDG_CONFIG_HOME", home / "config"};
  // The configured address holds "depCert" twice.
  TestGateway gw{TestGateway::Scheme::kHttps, {{"depCert.templateUrl", "#gatewayOrigin#/RACGW/depCert/depCert.html"}}};
  std::unique_ptr<KARVLib> lib = gw.client();
  std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
  std::vector<std::string> logLines;
};

TEST_F(DeployCertTest, FailuresWriteNoPageOrReportOne) {
  const std::string pfx = saveUserPfx("user.pfx", "Pa55word!");
  EXPECT_EQ(lib->deployCert(pfx, "Pa55word!", {}), 1);  // no browser: not even the template is fetched
  EXPECT_TRUE(requestsOf(gw.gateway(), "depCertForMac").empty());
  EXPECT_EQ(lib->deployCert(pfx, "wrong", {browser(kChrome)}), 52303);
  EXPECT_TRUE(pages().empty());
  EXPECT_TRUE(opener->opened.empty());
  // The page cannot be written: no address without a file.
  writeText(home.path / ".plix", "a file where the folder belongs");
  EXPECT_EQ(lib->deployCert(pfx, "Pa55word!", {browser(kChrome)}), 1);
  EXPECT_TRUE(opener->opened.empty());
  fs::remove(home.path / ".plix");
  // Firefox chosen but not installed: the page opens, the import fails.
  EXPECT_EQ(lib->deployCert(pfx, "Pa55word!", {browser(kFirefox)}), 1);
  EXPECT_EQ(opener->opened.size(), 1u);
  EXPECT_EQ(pages().size(), 1u);

  // No template, or one without the placeholder: no page, but the
  // certificate is in Chromium's database all the same.
  const std::string db = "sql:" + home / ".pki/nssdb";
  for (const auto& fault : {gateway::Fault::serverError(), gateway::Fault::rawBody("<html>no placeholder</html>")}) {
    gw.gateway().setFault("depCertForMac", fault);
    DeployPage::removeSaved();
    fs::remove_all(home.path / ".pki");
    EXPECT_EQ(lib->deployCert(pfx, "Pa55word!", {browser(kChrome)}), 1);
    EXPECT_TRUE(pages().empty());
    EXPECT_NE(runTool({"certutil", "-K", "-d", db}).output.find("X12345-01"), std::string::npos);
  }
}

// The template's script runs beside the encrypted PKCS#12: it comes over
// https only, and any other address is a template that could not be fetched.
TEST_F(DeployCertTest, TemplateOnlyFromHttpsAddresses) {
  const std::string pfx = saveUserPfx("user.pfx", "Pa55word!");
  TestGateway plain;  // would serve the template over http
  const std::string secure = gw.gateway().origin() + "/RACGW/depCert/t.html";
  const std::string http = plain.gateway().origin() + "/RACGW/depCert/t.html";
  writeText(home.path / "template.html", "<script>#importCertInfo#</script>");
  const std::pair<std::string, bool> cases[] = {
      {secure, true},
      {"HTTPS" + secure.substr(5), true},
      {http, false},
      {"HTTP" + http.substr(4), false},
      {" " + secure, false},
      {secure.substr(6), false},  // "//host/...": no scheme
      {"file://" + home / "template.html", false},
  };
  for (const auto& [url, fetched] : cases) {
    SCOPED_TRACE(url);
    gw.gateway().setConfigValue("depCert.templateUrl", url);
    const auto client = gw.client();
    client->setBrowserOpener(opener);
    opener->opened.clear();
    EXPECT_EQ(client->deployCert(pfx, "Pa55word!", {browser(kSafari)}), fetched ? 0 : 1);
    EXPECT_EQ(opener->opened.size(), fetched ? 1u : 0u);
    EXPECT_EQ(pages().size(), fetched ? 1u : 0u);
    DeployPage::removeSaved();
  }
  EXPECT_TRUE(requestsOf(plain.gateway(), "depCertForMac").empty());
}

TEST_F(DeployCertTest, RemovalPageFromTheGatewaysRecordAndDatabasesCleared) {
  const auto lib = gw.loggedIn(demo::kExpiring);
  lib->setBrowserOpener(opener);
  fs::remove(home.path / "share/applications/chromium.desktop");
  EXPECT_EQ(lib->removeDeploiedCert(demo::kExpiring.cn), 1);  // no browser installed
  EXPECT_TRUE(requestsOf(gw.gateway(), "depCertForMac").empty());

  writeText(home.path / "share/applications/chromium.desktop",
            "[Desktop Entry]\nType=Application\nName=Chromium\nExec=/bin/true %U\n");
  ASSERT_EQ(lib->deployCert(gw.demoPfx(demo::kExpiring), "demo1234", {browser(kChrome)}), 0);
  const std::string db = "sql:" + home / ".pki/nssdb";
  ASSERT_NE(runTool({"certutil", "-L", "-d", db}).output.find(demo::kExpiring.cn), std::string::npos);

  // A refused query, or a record naming no certificate: the page opens, nothing is removed.
  for (const auto& fault : {gateway::Fault::reply("52001", "查無資料"), gateway::Fault::reply("0", "")}) {
    gw.gateway().setFault("qryCert", fault);
    EXPECT_EQ(lib->removeDeploiedCert(demo::kExpiring.cn), 0);
    EXPECT_NE(runTool({"certutil", "-K", "-d", db}).output.find(demo::kExpiring.cn), std::string::npos);
  }
  gw.gateway().clearFaults();
  ASSERT_EQ(lib->removeDeploiedCert(demo::kExpiring.cn), 0);
  ASSERT_EQ(pages().size(), 1u);
  const std::string page = CommonUtility().getFileAsStr(pages()[0]).value_or("");
  EXPECT_NE(page.find("\"issuer\":\"CN=KARV Development Issuing CA, OU=Certificate Services, O=KARV Development, "
                      "S=Taipei, C=TW\"\n};"),
            std::string::npos);
  EXPECT_EQ(runTool({"certutil", "-L", "-d", db}).output.find(demo::kExpiring.cn), std::string::npos);
  EXPECT_EQ(runTool({"certutil", "-K", "-d", db}).output.find(demo::kExpiring.cn), std::string::npos);

  gw.gateway().setFault("qryCert", gateway::Fault::noAnswer());
  EXPECT_EQ(lib->removeDeploiedCert(demo::kExpiring.cn), -1);
}

// A real browser opens the page written from the development gateway's
// template: headless Chromium (--dump-dom gives the page after its scripts
// ran, with a fresh profile and none of the background traffic this closed
// network refuses) shows the certificate's fields, whatever characters they
// carry. Each run leaves one owner-only page, opened in every browser chosen.
TEST_F(DeployCertTest, ChromiumShowsTheCertificateOnThePageAndOnePageStays) {
  writeText(home.path / ".plix/20250101000000000.p8", "key");  // other files stay
  struct Case {
    std::string cn;
    long serial;
    std::string renderedCn, renderedSerial;  // as the DOM serialises the text
  };
  const Case cases[] = {
      {"X12345-01", 0x0A1B, "X12345-01", "A1B"},
      {R"(Q"uote\Back</script><!--$1)", 0x7F00FF, R"(Q"uote\Back&lt;/script&gt;&lt;!--$1)", "7F00FF"},
      {"中\"王é", 0x2A, "中\"王é", "2A"},  // escaped as ASCII, unescaped by the browser
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cn);
    const X509Ptr cert = makeCert({c.cn, "Retail", "", "", "", "TW"}, userKey(), chain.intermediate.get(),
                                  intermediateKey(), {c.serial, false});
    const std::string pfx = home / "user.pfx";
    ASSERT_EQ(rsa.savePfxFile(b64Der(cert.get()), keyPem(userKey()), pfx, "Pa55word!"), 0);
    opener->opened.clear();
    ASSERT_EQ(lib->deployCert(pfx, "Pa55word!", {browser(kChrome), browser(kSafari)}), 0);
    const auto written = pages();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(modeOf(written[0]), 0600u);
    EXPECT_TRUE(CommonUtility().regexMatch(fs::path(written[0]).filename().string(), R"(PLIXDepCert\.\d{17}\.html)"));
    const std::string url = "file:///" + written[0];  // four slashes: the home folder starts with "/"
    using Opened = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(opener->opened, (Opened{{kChrome, url}, {kSafari, url}}));
    const ToolResult rendered =
        runTool({"timeout", "120", "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + home / "chromium-profile", "--dump-dom", url});
    ASSERT_EQ(rendered.exitCode, 0) << "chromium (Debian's package, installed by scripts/setup) must run:\n"
                                    << rendered.output;
    EXPECT_TRUE(containsAll(rendered.output,
                            {"<h1 id=\"title\">安裝憑證到瀏覽器</h1>", "<th>CN</th><td>" + c.renderedCn + "</td>",
                             "<th>憑證序號</th><td>" + c.renderedSerial + "</td>"}))
        << rendered.output.substr(0, 4000);
  }
  EXPECT_TRUE(fs::exists(home.path / ".plix/20250101000000000.p8"));
  EXPECT_EQ(modeOf(home.path / ".plix"), 0700u);
  EXPECT_EQ(std::count(logLines.begin(), logLines.end(), "open fail!!"), std::ssize(cases));
  for (const auto& line : logLines) EXPECT_EQ(line.find("Pa55word!"), std::string::npos) << line;
  const auto request = gw.gateway().requests().back();
  EXPECT_EQ(request.method + " " + request.path, "GET /RACGW/depCertForMac/depCertForMac.html");
  // Chrome's database was made and holds the certificates with their key ("u,u,u").
  EXPECT_TRUE(
      containsAll(runTool({"certutil", "-L", "-d", "sql:" + home / ".pki/nssdb"}).output, {"X12345-01 ", "u,u,u"}));
}

TEST(XdgBrowserOpener, StartsTheDesktopEntrysCommandDetached) {
  TempDir root;
  ScopedEnv dataDirs{"XDG_DATA_DIRS", root / "share"};
  ScopedEnv dataHome{"XDG_DATA_HOME", root / "data"};
  ScopedEnv configHome{"XDG_CONFIG_HOME", root / "config"};
  // The browser stand-in writes its arguments next to itself.
  const std::string program = root / "bin/fake browser";
  writeText(program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.out\"\n");
  fs::permissions(program, fs::perms(0755));
  writeText(root.path / "share/applications/chromium.desktop",
            "[Desktop Entry]\nType=Application\nName=Chromium\nExec=\"" + program + "\" --flag %U\n");

  const std::string url = "file:////home/u/.plix/PLIXDepCert.1.html";
  XdgBrowserOpener opener;
  ASSERT_TRUE(opener.openUrlWithBrowser(kChrome, url));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(program + ".out") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(CommonUtility().getFileAsStr(program + ".out"), "--flag\n" + url + "\n");

  EXPECT_FALSE(opener.openUrlWithBrowser(kFirefox, url));  // not installed
  writeText(program, "not a program");                     // executable, but exec fails
  EXPECT_FALSE(opener.openUrlWithBrowser(kChrome, url));
}

// A program run to its end (a Firefox making its profile) gives its exit
// code; one that cannot start gives none, and so does one that hangs, which
// is killed with its whole group once the time is up.
TEST(WaitedProcess, ExitCodeOrNone) {
  using std::chrono::milliseconds;
  EXPECT_EQ(runAndWait("/bin/sh", {"sh", "-c", "exit 3"}, milliseconds(60'000)), 3);
  EXPECT_EQ(runAndWait("/bin/true", {"true"}, milliseconds(60'000)), 0);
  EXPECT_EQ(runAndWait("/nonexistent/firefox", {"firefox"}, milliseconds(60'000)), std::nullopt);
  EXPECT_EQ(runAndWait("/bin/sh", {"sh", "-c", "sleep 600 & sleep 600"}, milliseconds(100)), std::nullopt);
}

}  // namespace
}  // namespace karv
