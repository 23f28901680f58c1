#include <gtest/gtest.h>

#include "KarvBuildConfig.h"
#include "support/TestGateway.h"

namespace karv::test {
namespace {

TEST(GatewayAccount, VersionCheckAndServedConfiguration) {
  TestGateway gw({{"depCert.mode", "N"}});
  auto lib = gw.client();
  std::optional<std::string> errMsg;
  EXPECT_EQ(lib->versionCheck(errMsg), 0);
  EXPECT_EQ(postPublic(*lib, "checkVersion", {{"os", "mac"}, {"version", "0.9"}}).rtnCode, "1001");
  EXPECT_EQ(postPublic(*lib, "checkVersion", {{"os", "mac"}}).rtnCode, "9001");
  gw.gateway().setVersionAccepted(false);
  EXPECT_EQ(lib->versionCheck(errMsg), KARVLib::kVersionRejected);

  const GatewayReply cfg = postPublic(*lib, "getSysCfg", {{"version", build::kClientVersion}});
  ASSERT_TRUE(cfg.ok());
  const auto map = cfg.map();
  ASSERT_TRUE(map);
  for (const char* key :
       {"default.pfxFilePath", "default.pfxFileName", "pfx.pwd.prompt", "pfx.pwd.minLen", "pfx.pwd.maxLen",
        "pfx.pwd.digit", "pfx.pwd.UCAlpha", "pfx.pwd.LCAlph", "pfx.pwd.punctuation", "depCert.selectedBrowser"})
    EXPECT_FALSE(map->at(key).empty()) << key;
  EXPECT_EQ(map->at("depCert.mode"), "N");  // the run's setting over the built-in "M"
  EXPECT_NE(map->at("default.pfxFileName").find("#userId#"), std::string::npos);
  EXPECT_EQ(map->at("depCert.templateUrl"), gw.gateway().origin() + "/RACGW/depCert/template.html");
  EXPECT_EQ(map->at("app.mac.dlUrl").rfind(gw.gateway().origin(), 0), 0u);
  for (const auto& [key, value] : *map) EXPECT_NE(key.rfind("gateway.", 0), 0u) << key << " is the gateway's own";
}

TEST(GatewayAccount, LoginByAccountAndByIdOpensSessionsWithFreshKeys) {
  TestGateway gw;
  auto byAccount = gw.client();
  const GatewayReply a = gw.login(*byAccount, demo::kAlice, "1");
  ASSERT_EQ(a.rtnCode, "0") << a.rtnMsg.value_or("");
  EXPECT_EQ(a.field("idno"), demo::kAlice.idno);
  EXPECT_EQ(a.field("brnhId"), demo::kAlice.brnhId);
  EXPECT_EQ(a.field("acctNo"), demo::kAlice.acctNo);
  EXPECT_EQ(a.field("cn"), demo::kAlice.cn);
  EXPECT_EQ(a.field("aeskey").size(), 16u);
  EXPECT_FALSE(a.field("sessionId").empty());

  auto byId = gw.client();
  const GatewayReply b = gw.login(*byId, demo::kAlice, "2");
  ASSERT_EQ(b.rtnCode, "0");
  EXPECT_EQ(b.field("acctNo"), demo::kAlice.acctNo);  // the ID login learns the account too
  EXPECT_NE(b.field("aeskey"), a.field("aeskey"));
  EXPECT_NE(b.field("sessionId"), a.field("sessionId"));

  // Both sessions work side by side; each request carries "SID:" in its URL.
  for (KARVLib* lib : {byAccount.get(), byId.get()}) {
    const GatewayReply status = postAes(*lib, "getFnStatus", {{"cn", demo::kAlice.cn}});
    EXPECT_EQ(status.field("fnStatus"), "10");
  }
  const auto recorded = gw.gateway().requests();
  EXPECT_EQ(recorded.back().path, "/RACGW/api/SID:" + b.field("sessionId") + "/getFnStatus");

  // Refusals leave the client without a session.
  auto refused = gw.client();
  DemoUserRef wrong = demo::kAlice;
  wrong.pwd = "Wrong0000";
  EXPECT_EQ(gw.login(*refused, wrong, "2").rtnCode, "2001");
  EXPECT_EQ(gw.login(*refused, wrong, "1").rtnCode, "2001");
  DemoUserRef unknown = demo::kAlice;
  unknown.acctNo = "9999999";
  EXPECT_EQ(gw.login(*refused, unknown, "1").rtnCode, "2001");
  EXPECT_EQ(gw.login(*refused, demo::kAlice, "3").rtnCode, "2002");
  EXPECT_EQ(postPublic(*refused, "doBtsLogin", {{"loginType", "2"}, {"idno", demo::kAlice.idno}}).rtnCode, "9001");
  EXPECT_FALSE(refused->getSessionId().has_value());
}

TEST(GatewayAccount, FirstLoginDemandsPasswordChangeBeforeAnythingElse) {
  TestGateway gw;
  auto lib = gw.client();
  const GatewayReply first = gw.login(*lib, demo::kFirstLogin, "1");
  ASSERT_EQ(first.rtnCode, "999");
  EXPECT_FALSE(first.field("rtnMsg").empty());
  EXPECT_EQ(first.field("aeskey").size(), 16u);  // the session exists, but may do nothing yet
  EXPECT_EQ(postAes(*lib, "getFnStatus", {{"cn", demo::kFirstLogin.cn}}).rtnCode, "9009");
  EXPECT_EQ(postAes(*lib, "queryContactInfo", {}).rtnCode, "9009");
  EXPECT_TRUE(postAes(*lib, "iAmAlive", {{"version", "1.0"}}).ok());

  // The change goes through a client of its own, without a session.
  auto change = gw.client();
  auto changePwd = [&](const std::string& oldPwd, const std::string& newPwd) {
    return postPublic(*change, "changeBtsLoginPwd",
                      {{"idno", demo::kFirstLogin.idno}, {"oldPwd", oldPwd}, {"newPwd", newPwd}})
        .rtnCode;
  };
  EXPECT_EQ(changePwd("Wrong1234", "NewPass99"), "2101");
  EXPECT_EQ(changePwd(demo::kFirstLogin.pwd, demo::kFirstLogin.pwd), "2103");
  for (const char* weak : {"abcdef", "123456", "ab1", "abcdefgh123456789"})
    EXPECT_EQ(changePwd(demo::kFirstLogin.pwd, weak), "2102") << weak;
  EXPECT_EQ(changePwd(demo::kFirstLogin.pwd, "NewPass99"), "0");
  EXPECT_EQ(gw.gateway().requests().back().path, "/RACGW/api/changeBtsLoginPwd");

  auto again = gw.client();
  EXPECT_EQ(gw.login(*again, demo::kFirstLogin).rtnCode, "2001");  // the old password is gone
  DemoUserRef changed = demo::kFirstLogin;
  changed.pwd = "NewPass99";
  EXPECT_EQ(gw.login(*again, changed).rtnCode, "0");
  EXPECT_EQ(postAes(*again, "getFnStatus", {{"cn", demo::kFirstLogin.cn}}).field("fnStatus"), "10");
}

TEST(GatewayAccount, LogoutIdleExpiryAndUnknownSessions) {
  TestGateway gw({{"gateway.sessionIdleSeconds", "600"}});
  auto lib = gw.loggedIn(demo::kAlice);
  gw.advance(500);
  EXPECT_TRUE(postAes(*lib, "iAmAlive", {{"version", "1.0"}}).ok());  // keep-alive counts as activity
  gw.advance(500);
  EXPECT_TRUE(postAes(*lib, "getFnStatus", {{"cn", demo::kAlice.cn}}).ok());
  gw.advance(601);
  const GatewayReply expired = postAes(*lib, "getFnStatus", {{"cn", demo::kAlice.cn}});
  EXPECT_EQ(expired.rtnCode, "9002");  // sealed with the old key, so the client reads the message
  EXPECT_FALSE(expired.rtnMsg.value_or("").empty());

  auto other = gw.loggedIn(demo::kBob);
  EXPECT_TRUE(postAes(*other, "doLogout", {{"version", "1.0"}}).ok());
  EXPECT_EQ(postAes(*other, "getFnStatus", {{"cn", demo::kBob.cn}}).rtnCode, "9008");

  // A session the gateway never made: the refusal cannot be sealed for the
  // client, which sees a response without a readable document.
  auto stranger = gw.client();
  stranger->setSessionId("nosuchsession");
  stranger->setAesKey("0123456789abcdef");
  const GatewayReply unknown = postAes(*stranger, "getFnStatus", {{"cn", demo::kAlice.cn}});
  EXPECT_EQ(unknown.status, 0);
  EXPECT_FALSE(unknown.text.has_value());
  stranger->setSessionId(std::nullopt);
  EXPECT_FALSE(postAes(*stranger, "getFnStatus", {{"cn", demo::kAlice.cn}}).text.has_value());
}

}  // namespace
}  // namespace karv::test
