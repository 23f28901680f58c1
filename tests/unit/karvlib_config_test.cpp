#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <thread>

#include "CommonUtility.h"
#include "DevGateway.h"
#include "ErrMsgTable.h"
#include "KARVLib.h"
#include "KarvBuildConfig.h"
#include "ServerCrypto.h"
#include "TextCodec.h"
#include "support/TestFiles.h"

namespace karv {
namespace {

using gateway::ApiReply;
using gateway::Fault;
using test::ScopedEnv;
using test::TempDir;
namespace fs = std::filesystem;

// The real client against an in-process development gateway whose
// "getSysCfg" serves `served`, with the home folder in a temp folder.
class KARVLibConfig : public ::testing::Test {
 protected:
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path.string()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", home / ".config"};
  gateway::DevGateway gw{gateway::GatewayOptions{}};
  std::vector<std::pair<std::string, std::string>> served;

  void SetUp() override {
    gw.registerApi("getSysCfg", gateway::Regime::PublicKey, [this](gateway::ApiRequest&) {
      ApiReply reply = ApiReply::ok();
      for (const auto& [key, value] : served) reply.add(key, value);
      return reply;
    });
    ASSERT_TRUE(gw.start());
  }

  [[nodiscard]] std::unique_ptr<KARVLib> client(const std::string& extraCaPem = "") const {
    return std::make_unique<KARVLib>(GatewayEndpoint{gw.baseUrl(), build::kPublicKeyPem, extraCaPem, 10});
  }
  [[nodiscard]] std::vector<gateway::RecordedRequest> requestsFor(const std::string& api) const {
    auto all = gw.requests();
    std::vector<gateway::RecordedRequest> found;
    std::copy_if(all.begin(), all.end(), std::back_inserter(found), [&](const auto& r) { return r.api == api; });
    return found;
  }
};

TEST_F(KARVLibConfig, PlaceholdersGiveThePfxPathOnceTheIdIsKnown) {
  served = {
      {"default.pfxFilePath", "#userHome#/Documents/"}, {"default.pfxFileName", "#userId#.pfx"}, {"depCert.mode", "M"}};
  auto lib = client();
  lib->setCurrentPfxFilePwd("left over");

  // Before login: the configuration loads, the PFX path is not computed.
  EXPECT_EQ(lib->getSysCfg("depCert.mode"), "M");
  EXPECT_EQ(lib->getSysCfg("env.userPfxFilePath"), std::nullopt);
  EXPECT_EQ(lib->getCurrentPfxFilePath(), std::nullopt);
  EXPECT_EQ(lib->getCurrentPfxFilePwd(), "");
  const auto sent = requestsFor("getSysCfg");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].params, (std::map<std::string, std::string>{{"version", "1.0"}}));
  EXPECT_EQ(sent[0].sessionId, std::nullopt);

  // The client's own entries.
  const std::string h = home.path.string();
  EXPECT_EQ(lib->getSysCfg("env.userHome"), h);
  EXPECT_EQ(lib->getSysCfg("env.userDeskTop"), h + "/Desktop");
  EXPECT_EQ(lib->getSysCfg("env.userPrivateKeyFolder"), h + "/.plix");
  EXPECT_EQ(lib->getSysCfg("env.clientVersion"), "1.0");
  EXPECT_EQ(lib->getSysCfg("env.localAppDataPath"), "");
  EXPECT_EQ(lib->getSysCfg("env.userPfxFilePwd"), "");
  EXPECT_EQ(lib->getSysCfg("rtnCode"), "0");
  EXPECT_EQ(lib->getSysCfg(""), std::nullopt);  // even when loaded

  // After login: the first read fixes the path, and it stays.
  lib->setUserIdno("X1");
  EXPECT_EQ(lib->getSysCfg("depCert.mode"), "M");
  EXPECT_EQ(lib->getSysCfg("env.userPfxFilePath"), h + "/Documents/X1.pfx");
  EXPECT_EQ(lib->getCurrentPfxFilePath(), h + "/Documents/X1.pfx");
  lib->setUserIdno("Y2");
  EXPECT_TRUE(lib->getSvrCfg().has_value());
  EXPECT_EQ(lib->getSysCfg("env.userPfxFilePath"), h + "/Documents/X1.pfx");
  EXPECT_EQ(requestsFor("getSysCfg").size(), 1u);
}

// The folder setting is stored with forward slashes; the .pfx path made from
// it is taken only when it is a normalised .pfx path inside the home folder
// and the gateway's values in it are plain names, else <home>/cert.pfx.
TEST_F(KARVLibConfig, PfxPathStaysInsideTheHomeFolder) {
  struct Case {
    std::optional<std::string> folder, name;
    std::string idno, cn;
    std::optional<std::string> storedFolder;
    std::string pfxPath;  // relative to the home folder
  };
  const std::vector<Case> cases = {
      {"#userHome#\\KARV", "#userId#.pfx", "X1", "CN1", "#userHome#/KARV/", "KARV/X1.pfx"},
      {"#desktop#\\my certs", "#cn#-#userId#.pfx", "X1", "A-1", "#desktop#/my certs/", "Desktop/my certs/A-1-X1.pfx"},
      {"C:\\certs", "a.pfx", "X1", "CN1", "C:/certs/", "cert.pfx"},  // not absolute
      {"/etc/", "passwd.pfx", "X1", "CN1", "/etc/", "cert.pfx"},     // outside home
      {"#userHome#/../../etc/", "a.pfx", "X1", "CN1", "#userHome#/../../etc/", "cert.pfx"},
      {"#userHome#/KARV/./", "a.pfx", "X1", "CN1", "#userHome#/KARV/./", "cert.pfx"},  // not normalised
      {"#userHome#/", ".bashrc", "X1", "CN1", "#userHome#/", "cert.pfx"},              // not a .pfx
      {"#userHome#/", ".pfx", "X1", "CN1", "#userHome#/", "cert.pfx"},                 // no name
      {"#userHome#/KARV/", "#userId#.pfx", "../../x", "CN1", "#userHome#/KARV/", "cert.pfx"},
      {"#userHome#/KARV/", "#cn#.pfx", "X1", "a/b", "#userHome#/KARV/", "cert.pfx"},
      {"#userHome#/KARV/", "#cn#.pfx", "X1", "", "#userHome#/KARV/", "cert.pfx"},
      {"", "#userId#.pfx", "X1", "CN1", "", "cert.pfx"},  // relative
      {std::nullopt, "#userId#.pfx", "X1", "CN1", std::nullopt, "cert.pfx"},
  };
  for (const auto& c : cases) {
    served.clear();
    if (c.folder) served.emplace_back("default.pfxFilePath", *c.folder);
    if (c.name) served.emplace_back("default.pfxFileName", *c.name);
    auto lib = client();
    lib->setUserIdno(c.idno);
    lib->setCn(c.cn);
    const std::string expected = home / c.pfxPath;
    EXPECT_EQ(lib->getSysCfg("default.pfxFilePath"), c.storedFolder) << c.folder.value_or("(none)");
    EXPECT_EQ(lib->getSysCfg("env.userPfxFilePath"), expected) << c.folder.value_or("(none)") << c.name.value_or("");
    EXPECT_EQ(lib->getCurrentPfxFilePath(), expected);
  }
}

TEST_F(KARVLibConfig, RejectedConfigurationIsAskedAgainAtEachRead) {
  served = {{"depCert.mode", "S"}};
  auto lib = client();
  lib->setSessionId("S1");
  gw.setFault("getSysCfg", Fault{Fault::Kind::Reply, "1", "err", "", 0});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(lib->getSysCfg("depCert.mode"), std::nullopt);
  gw.setFault("getSysCfg", Fault{Fault::Kind::NoAnswer, "", "", ""});
  EXPECT_EQ(lib->getSysCfg("depCert.mode"), std::nullopt);
  gw.setFault("getSysCfg", Fault{Fault::Kind::Garbage, "", "", ""});
  EXPECT_EQ(lib->getSysCfg(""), std::nullopt);
  EXPECT_FALSE(lib->getSvrCfg().has_value());
  EXPECT_EQ(requestsFor("getSysCfg").size(), 5u);

  gw.clearFaults();
  EXPECT_EQ(lib->getSysCfg("depCert.mode"), "S");
  EXPECT_EQ(lib->getSysCfg("depCert.templateUrl"), std::nullopt);  // absent key, no new request
  const auto sent = requestsFor("getSysCfg");
  ASSERT_EQ(sent.size(), 6u);
  EXPECT_EQ(sent.back().sessionId, "S1");  // the session travels in the URL once set
}

TEST_F(KARVLibConfig, KeepAliveIsSentOnlyWithASessionKey) {
  gw.registerApi("iAmAlive", gateway::Regime::Aes, [](gateway::ApiRequest&) { return ApiReply::ok(); });
  auto lib = client();
  EXPECT_EQ(lib->iAmAlive(), 0);
  EXPECT_TRUE(requestsFor("iAmAlive").empty());

  const std::string aesKey = "0123456789ABCDEF";
  lib->setSessionId("S9");
  lib->setAesKey(aesKey);
  EXPECT_EQ(lib->iAmAlive(), 0);  // whatever the gateway answered
  const auto sent = requestsFor("iAmAlive");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].sessionId, "S9");
  // The body is "version=<AES value>"; the gateway's crypto opens it to "1.0".
  const std::string prefix = "version=";
  ASSERT_EQ(sent[0].body.rfind(prefix, 0), 0u);
  std::string value;
  for (size_t i = prefix.size(); i < sent[0].body.size(); ++i) {
    if (sent[0].body[i] == '%' && i + 2 < sent[0].body.size()) {
      value.push_back(static_cast<char>(std::stoi(sent[0].body.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      value.push_back(sent[0].body[i]);
    }
  }
  const gateway::ServerCrypto crypto(gateway::GatewayOptions::fromBuild().rsaKeyFile);
  EXPECT_EQ(crypto.openAesValue(aesKey, value), "1.0");
}

TEST(KARVLibErrMsg, EveryResultCodeHasATraditionalChineseText) {
  const KARVLib lib(GatewayEndpoint{"http://127.0.0.1:9/RACGW/api/", build::kPublicKeyPem, "", 1});
  const std::vector<int32_t> codes = {-1,    1,     52109, 52111, 52112, 52301, 52303, 52403,
                                      52601, 52603, 52605, 52701, 52703, 52705, 52707, 52709,
                                      52711, 53701, 53705, 53907, 53913, 54003, 54101, 54103,
                                      54303, 54701, 55015, 55201, 55801, 56001, 56003, KARVLib::kCertDlPwdRejected,
                                      56007};
  for (int32_t code : codes) {
    const std::string text = lib.getErrMsg(code);
    EXPECT_NE(text, std::to_string(code)) << code;
    // Big5 holds Traditional characters; a Simplified one would not convert.
    EXPECT_TRUE(utf8ToBig5(text).has_value()) << code << " " << text;
  }
  EXPECT_EQ(errMsgEntries().size(), codes.size());  // nothing else slipped in
  EXPECT_EQ(lib.getErrMsg(52112), "私鑰檔案儲存失敗");
  EXPECT_EQ(lib.getErrMsg(12345), "12345");
  EXPECT_EQ(lib.getErrMsg(0), "0");
  EXPECT_EQ(lib.getErrMsg(INT32_MIN), "-2147483648");
}

// The installer is handed to the system to open: it comes only from an https
// address of a .deb package, redirects included, and replaces the old file.
TEST_F(KARVLibConfig, NewClientOnlyFromHttpsDebAddresses) {
  const std::string package("!<arch>\ndebian-binary   \0\x01\x02", 26);
  const std::string pki = build::kDevPkiDir;
  httplib::SSLServer web((pki + "/tls-server.pem").c_str(), (pki + "/tls-server-key.pem").c_str());
  httplib::Server plain;
  std::atomic<int> plainHits = 0;
  const int webPort = web.bind_to_any_port("127.0.0.1");
  const int plainPort = plain.bind_to_any_port("127.0.0.1");
  const std::string webUrl = "https://127.0.0.1:" + std::to_string(webPort);
  const std::string plainUrl = "http://127.0.0.1:" + std::to_string(plainPort);
  auto serve = [&](httplib::Server& server, const std::string& path, int status, const std::string& body) {
    server.Get(path, [&, status, body](const httplib::Request&, httplib::Response& res) {
      plainHits += &server == &plain ? 1 : 0;
      res.status = status;
      res.set_content(body, "application/octet-stream");
    });
  };
  serve(web, "/karv_1.1_amd64.deb", 200, package);
  serve(web, "/KARV.DEB", 200, package);
  serve(web, "/karv.pkg", 200, package);
  serve(web, "/empty.deb", 200, "");
  serve(web, "/error.deb", 500, "<html>internal error</html>");
  serve(plain, "/karv.deb", 200, package);
  web.Get("/to-http.deb",
          [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(plainUrl + "/karv.deb"); });
  web.Get("/to-https.deb",
          [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(webUrl + "/karv_1.1_amd64.deb"); });
  std::thread webThread([&] { web.listen_after_bind(); });
  std::thread plainThread([&] { plain.listen_after_bind(); });
  while (!web.is_running() || !plain.is_running()) std::this_thread::yield();

  const std::string target = home / "Downloads/KARV.deb";
  struct Case {
    std::optional<std::string> url;
    bool saved;
  };
  const std::vector<Case> cases = {
      {webUrl + "/karv_1.1_amd64.deb?channel=stable", true},
      {webUrl + "/to-https.deb", true},
      {"HTTPS://127.0.0.1:" + std::to_string(webPort) + "/KARV.DEB", true},
      {plainUrl + "/karv.deb", false},   // not https
      {webUrl + "/to-http.deb", false},  // redirected away from https
      {webUrl + "/karv.pkg", false},     // not a package this system installs
      {webUrl + "/karv_1.1_amd64.deb.sh", false},
      {webUrl + "/empty.deb", false},
      {webUrl + "/error.deb", false},           // an error page is no installer
      {webUrl + "/missing.deb", false},         // 404
      {"https://127.0.0.1:9/karv.deb", false},  // nobody answers
      {std::nullopt, false},
      {"", false},
  };
  for (const auto& c : cases) {
    test::writeText(target, "an older package");
    served.clear();
    if (c.url) served = {{"app.mac.dlUrl", *c.url}};
    auto lib = client(build::kExtraCaPem);
    lib->setApplicationName("KARV");
    EXPECT_EQ(lib->dlNewClient(), c.saved ? target : "") << c.url.value_or("(none)");
    EXPECT_EQ(CommonUtility().getFileAsStr(target), c.saved ? package : "an older package") << c.url.value_or("");
  }
  EXPECT_EQ(plainHits, 0);
  EXPECT_EQ(test::entryCount(home / "Downloads"), 1u);
  EXPECT_EQ(requestsFor("getSysCfg").at(0).sessionId, std::nullopt);  // before login: no "SID:"

  // A file that cannot be written is a failed download.
  served = {{"app.mac.dlUrl", webUrl + "/karv_1.1_amd64.deb"}};
  test::writeText(target, "an older package");
  {
    auto lib = client(build::kExtraCaPem);
    lib->setApplicationName("KARV");
    test::FileSizeLimit limit(8);
    EXPECT_EQ(lib->dlNewClient(), "");
  }
  EXPECT_EQ(CommonUtility().getFileAsStr(target), "an older package");
  web.stop();
  plain.stop();
  webThread.join();
  plainThread.join();
}

}  // namespace
}  // namespace karv
