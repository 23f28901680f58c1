#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <climits>

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

  [[nodiscard]] std::unique_ptr<KARVLib> client() const {
    return std::make_unique<KARVLib>(GatewayEndpoint{gw.baseUrl(), build::kPublicKeyPem, "", 10});
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

TEST_F(KARVLibConfig, FolderSettingIsStoredWithForwardSlashes) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> served;
    std::optional<std::string> folder, pfxPath;
  };
  const std::string desktop = home / "Desktop";
  const std::vector<Case> cases = {
      {{{"default.pfxFilePath", "C:\\certs"}, {"default.pfxFileName", "a.pfx"}}, "C:/certs/", "C:/certs/a.pfx"},
      {{{"default.pfxFilePath", "/Users/x/"}, {"default.pfxFileName", "a.pfx"}}, "/Users/x/", "/Users/x/a.pfx"},
      {{{"default.pfxFilePath", "#desktop#\\my certs"}, {"default.pfxFileName", "#cn#-#userId#.pfx"}},
       "#desktop#/my certs/",
       desktop + "/my certs/CN1-X1.pfx"},
      // Incomplete settings read as "" rather than inventing a root folder.
      {{{"default.pfxFilePath", ""}, {"default.pfxFileName", "#userId#.pfx"}}, "", "X1.pfx"},
      {{{"default.pfxFileName", "#userId#.pfx"}}, std::nullopt, "X1.pfx"},
      {{{"default.pfxFilePath", "/certs"}}, "/certs/", "/certs/"},
  };
  for (const auto& c : cases) {
    served = c.served;
    auto lib = client();
    lib->setUserIdno("X1");
    lib->setCn("CN1");
    EXPECT_EQ(lib->getSysCfg("default.pfxFilePath"), c.folder) << c.served.front().second;
    EXPECT_EQ(lib->getCurrentPfxFilePath(), c.pfxPath) << c.served.front().second;
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

TEST_F(KARVLibConfig, NewClientIsDownloadedIntoDownloads) {
  // The gateway hands out the installer bytes as the raw body of a path under its API root.
  const std::string package("!<arch>\ndebian-binary   \0\x01\x02", 26);
  gw.registerApi("karv_1.1_amd64.deb", gateway::Regime::PublicKey, [](gateway::ApiRequest&) { return ApiReply::ok(); });
  gw.setFault("karv_1.1_amd64.deb", Fault{Fault::Kind::RawBody, "", "", package});
  served = {{"app.mac.dlUrl", gw.baseUrl() + "karv_1.1_amd64.deb?channel=stable"}};
  const std::string target = home / "Downloads/KARV.deb";
  test::writeText(target, "an older package");

  auto lib = client();
  lib->setApplicationName("KARV");
  EXPECT_EQ(lib->dlNewClient(), target);
  EXPECT_EQ(CommonUtility().getFile(target), Bytes(package.begin(), package.end()));
  EXPECT_EQ(requestsFor("getSysCfg").at(0).sessionId, std::nullopt);  // before login: no "SID:"
  EXPECT_EQ(requestsFor("karv_1.1_amd64.deb").at(0).method, "GET");

  // A file that cannot be written is a failed download.
  {
    test::FileSizeLimit limit(8);
    EXPECT_EQ(lib->dlNewClient(), "");
  }
  EXPECT_EQ(CommonUtility().getFile(target), Bytes(package.begin(), package.end()));
}

TEST_F(KARVLibConfig, FailedDownloadsWriteNothing) {
  gw.registerApi("empty.AppImage", gateway::Regime::PublicKey, [](gateway::ApiRequest&) { return ApiReply::ok(); });
  gw.setFault("empty.AppImage", Fault{Fault::Kind::EmptyBody, "", "", ""});
  gw.registerApi("installer", gateway::Regime::PublicKey, [](gateway::ApiRequest&) { return ApiReply::ok(); });
  gw.setFault("installer", Fault{Fault::Kind::RawBody, "", "", "xar!"});
  // A web server in front: an error page, and a redirect to the gateway.
  httplib::Server web;
  web.Get("/error.deb", [](const httplib::Request&, httplib::Response& res) {
    res.status = 500;
    res.set_content("<html>internal error</html>", "text/html");
  });
  web.Get("/latest",
          [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(gw.baseUrl() + "installer"); });
  const int webPort = web.bind_to_any_port("127.0.0.1");
  std::thread webThread([&] { web.listen_after_bind(); });
  while (!web.is_running()) std::this_thread::yield();  // so that stop() cannot race the accept loop
  const std::string webUrl = "http://127.0.0.1:" + std::to_string(webPort);

  struct Case {
    std::optional<std::string> url;
    std::string result;
  };
  const std::vector<Case> cases = {
      {gw.baseUrl() + "empty.AppImage", ""},  // empty body
      {gw.baseUrl() + "missing.deb", ""},     // 404
      {webUrl + "/error.deb", ""},            // an error page is no installer
      {"http://127.0.0.1:9/karv.deb", ""},    // nobody answers
      {std::nullopt, ""},                     // no address configured
      {"", ""},
      {webUrl + "/latest", home / "Downloads/KARV.pkg"},  // no extension: .pkg
  };
  for (const auto& c : cases) {
    served.clear();
    if (c.url) served = {{"app.mac.dlUrl", *c.url}};
    auto lib = client();
    lib->setApplicationName("KARV");
    EXPECT_EQ(lib->dlNewClient(), c.result) << c.url.value_or("(none)");
  }
  web.stop();
  webThread.join();
  EXPECT_EQ(test::entryCount(home / "Downloads"), 1u);
  EXPECT_EQ(CommonUtility().getFileAsStr(home / "Downloads/KARV.pkg"), "xar!");
}

}  // namespace
}  // namespace karv
