#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <climits>
#include <thread>

#include "KarvBuildConfig.h"
#include "gateway/DevGateway.h"
#include "protocol/ErrMsgTable.h"
#include "protocol/KARVLib.h"
#include "support/TestGateway.h"
#include "system/CommonUtility.h"
#include "system/TextCodec.h"

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
  const auto sent = test::requestsOf(gw, "getSysCfg");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].sessionId, std::nullopt);  // before login: no "SID:"

  const std::string h = home.path.string();
  EXPECT_EQ(lib->getSysCfg("env.userDeskTop"), h + "/Desktop");  // the client's own entries
  // After login: the first read fixes the path, and it stays.
  lib->setUserIdno("X1");
  EXPECT_EQ(lib->getSysCfg("depCert.mode"), "M");
  EXPECT_EQ(lib->getSysCfg("env.userPfxFilePath"), h + "/Documents/X1.pfx");
  EXPECT_EQ(lib->getCurrentPfxFilePath(), h + "/Documents/X1.pfx");
  lib->setUserIdno("Y2");
  EXPECT_EQ(lib->getSysCfg("env.userPfxFilePath"), h + "/Documents/X1.pfx");
  EXPECT_EQ(test::requestsOf(gw, "getSysCfg").size(), 1u);
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
      {"#userHome#/KARV/", "#userId#.pfx", "../../x", "CN1", "#userHome#/KARV/", "cert.pfx"},
      {"#userHome#/KARV/", "#cn#.pfx", "X1", "a/b", "#userHome#/KARV/", "cert.pfx"},
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

// A configuration that did not come is asked for again at the next read.
TEST_F(KARVLibConfig, RejectedConfigurationIsAskedAgainAtEachRead) {
  served = {{"depCert.mode", "S"}};
  auto lib = client();
  lib->setSessionId("S1");
  for (const Fault& fault : {Fault::reply("1", "err"), Fault::noAnswer()}) {
    gw.setFault("getSysCfg", fault);
    EXPECT_EQ(lib->getSysCfg("depCert.mode"), std::nullopt);
  }
  gw.clearFaults();
  EXPECT_EQ(lib->getSysCfg("depCert.mode"), "S");
  EXPECT_EQ(lib->getSysCfg("depCert.templateUrl"), std::nullopt);  // absent key, no new request
  const auto sent = test::requestsOf(gw, "getSysCfg");
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent.back().sessionId, "S1");  // the session travels in the URL once set
}

TEST_F(KARVLibConfig, KeepAliveIsSentOnlyWithASessionKey) {
  auto lib = client();
  EXPECT_EQ(lib->iAmAlive(), 0);
  EXPECT_TRUE(test::requestsOf(gw, "iAmAlive").empty());
}

TEST(KARVLibErrMsg, EveryResultCodeHasATraditionalChineseText) {
  const KARVLib lib(GatewayEndpoint{"http://127.0.0.1:9/RACGW/api/", build::kPublicKeyPem, "", 1});
  const int32_t codes[] = {-1,    1,     52109, 52111, 52112, 52301, 52303, 52403, 52601, 52603, 52605,
                           52701, 52703, 52705, 52707, 52709, 52711, 53701, 53705, 53907, 53913, 54003,
                           54101, 54103, 54303, 54701, 55015, 55201, 55801, 56001, 56003, 56005, 56007};
  // Big5 holds Traditional characters; a Simplified one would not convert.
  for (int32_t code : codes) {
    const std::string text = lib.getErrMsg(code);
    EXPECT_TRUE(text != std::to_string(code) && utf8ToBig5(text)) << code << " " << text;
  }
  EXPECT_EQ(errMsgEntries().size(), std::size(codes));  // nothing else slipped in
  for (int32_t unknown : {12345, 0, INT32_MIN}) EXPECT_EQ(lib.getErrMsg(unknown), std::to_string(unknown));
}

// The installer is handed to the system to open: it comes only from an https
// address of a .deb package, redirects included, and replaces the old file.
TEST_F(KARVLibConfig, NewClientOnlyFromHttpsDebAddresses) {
  const std::string package("!<arch>\ndebian-binary   \0\x01\x02", 26);
  const std::string pki = build::kDevPkiDir;
  httplib::SSLServer web((pki + "/tls-server.pem").c_str(), (pki + "/tls-server-key.pem").c_str());
  httplib::Server plain;
  const std::string webUrl = "https://127.0.0.1:" + std::to_string(web.bind_to_any_port("127.0.0.1"));
  const std::string plainUrl = "http://127.0.0.1:" + std::to_string(plain.bind_to_any_port("127.0.0.1"));
  // The path names what the secure server answers: an error, nothing, a redirect, or the package.
  web.Get(".*", [&](const httplib::Request& req, httplib::Response& res) {
    if (req.path == "/to-http.deb") return res.set_redirect(plainUrl + "/karv.deb");
    if (req.path == "/to-https.deb") return res.set_redirect(webUrl + "/karv_1.1_amd64.deb");
    res.status = req.path == "/error.deb" ? 500 : 200;
    res.set_content(req.path == "/empty.deb" ? "" : package, "application/octet-stream");
  });
  std::atomic<int> plainHits = 0;
  plain.Get(".*", [&](const httplib::Request&, httplib::Response& res) {
    ++plainHits;
    res.set_content(package, "application/octet-stream");
  });
  std::thread webThread([&] { web.listen_after_bind(); });
  std::thread plainThread([&] { plain.listen_after_bind(); });
  while (!web.is_running() || !plain.is_running()) std::this_thread::yield();

  const std::string target = home / "Downloads/KARV.deb";
  const std::pair<std::optional<std::string>, bool> cases[] = {
      {webUrl + "/karv_1.1_amd64.deb?channel=stable", true},
      {webUrl + "/to-https.deb", true},
      {"HTTPS" + webUrl.substr(5) + "/KARV.DEB", true},
      {webUrl + "/to-http.deb", false},  // redirected away from https
      {webUrl + "/karv.pkg", false},     // not a package this system installs
      {webUrl + "/empty.deb", false},
      {webUrl + "/error.deb", false},           // an error page is no installer
      {"https://127.0.0.1:9/karv.deb", false},  // nobody answers
      {std::nullopt, false},
  };
  for (const auto& [url, saved] : cases) {
    test::writeText(target, "an older package");
    served.clear();
    if (url) served = {{"app.mac.dlUrl", *url}};
    auto lib = client(build::kExtraCaPem);
    lib->setApplicationName("KARV");
    EXPECT_EQ(lib->dlNewClient(), saved ? target : "") << url.value_or("(none)");
    EXPECT_EQ(CommonUtility().getFileAsStr(target), saved ? package : "an older package") << url.value_or("");
  }
  EXPECT_EQ(plainHits, 0);
  EXPECT_EQ(test::entryCount(home / "Downloads"), 1u);

  // A file that cannot be written is a failed download.
  served = {{"app.mac.dlUrl", webUrl + "/karv_1.1_amd64.deb"}};
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
