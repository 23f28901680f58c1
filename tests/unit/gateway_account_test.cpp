// The development gateway's account rules that the client's own flows never
// meet: sessions that end, verification codes that are refused, and what its
// data folder keeps across a restart.
#include <gtest/gtest.h>

#include <filesystem>

#include "SecureFiles.h"
#include "support/TestPki.h"
#include "support/TestGateway.h"

namespace karv::test {
namespace {

ParamList withIdentity(const DemoUserRef& u, std::initializer_list<std::pair<const std::string, std::string>> more) {
  ParamList params{{"idno", u.idno}, {"agCode", u.brnhId}, {"account", u.acctNo}};
  for (const auto& [name, value] : more) params.put(name, value);
  return params;
}

TEST(GatewayAccount, SessionsEndWhenIdleOrLoggedOut) {
  TestGateway gw({{"gateway.sessionIdleSeconds", "600"}});
  auto lib = gw.loggedIn(demo::kAlice);
  const ParamList cn{{"cn", demo::kAlice.cn}};
  gw.advance(500);
  EXPECT_TRUE(lib->postAes("iAmAlive", {{"version", "1.0"}}).accepted());  // keep-alive counts as activity
  gw.advance(500);
  EXPECT_TRUE(lib->postAes("getFnStatus", cn).accepted());
  gw.advance(601);
  EXPECT_EQ(lib->postAes("getFnStatus", cn).rtnCode, "9002");  // sealed with the old key: the client reads it

  auto bob = gw.loggedIn(demo::kBob);
  EXPECT_TRUE(bob->postAes("doLogout", {{"version", "1.0"}}).accepted());
  EXPECT_EQ(bob->postAes("getFnStatus", {{"cn", demo::kBob.cn}}).rtnCode, "9008");

  // A first login may do nothing but keep alive until the password is changed.
  auto first = gw.client();
  ASSERT_EQ(gw.login(*first, demo::kFirstLogin).rtnCode, "999");
  EXPECT_EQ(first->postAes("getFnStatus", {{"cn", demo::kFirstLogin.cn}}).rtnCode, "9009");
  EXPECT_TRUE(first->postAes("iAmAlive", {{"version", "1.0"}}).accepted());
}

TEST(GatewayAccount, VerificationCodesWorkOnceForTheirOperationAndAddress) {
  TestGateway gw;
  const DemoUserRef& u = demo::kAlice;
  auto lib = gw.loggedIn(u);
  auto send = [&](const std::string& type, const std::string& op, const std::string& to) {
    return lib
        ->postAes("sendAuthCode",
                  withIdentity(u, {{"authType", type}, {"opType", op}, {type == "1" ? "mail" : "phone", to}}))
        .rtnCode;
  };
  auto verify = [&](const std::string& code, const std::string& op) {
    return lib->postAes("verifyAuthCode", withIdentity(u, {{"authcode", code}, {"opType", op}})).rtnCode;
  };
  auto other = [](const std::string& code) { return code == "000000" ? std::string("111111") : std::string("000000"); };
  EXPECT_EQ(verify("123456", "Apply"), "3005");  // nothing sent yet
  ASSERT_EQ(send("1", "Apply", u.email), "0");
  EXPECT_EQ(modeOf(gw.outboxFile()), 0600u);  // live codes: owner only
  const std::string code = gw.lastOutboxCode().value_or("");
  EXPECT_EQ(verify(code, "Revoke"), "3005");  // a code serves its own operation only
  EXPECT_EQ(verify(other(code), "Apply"), "3002");
  EXPECT_EQ(verify(code, "Apply"), "0");
  EXPECT_EQ(verify(code, "Apply"), "3005");  // used once

  // Codes expire; too many wrong tries use a code up.
  ASSERT_EQ(send("2", "Apply", u.phone), "0");
  gw.advance(301);
  EXPECT_EQ(verify(*gw.lastOutboxCode(), "Apply"), "3003");
  ASSERT_EQ(send("1", "Apply", u.email), "0");
  const std::string guessed = *gw.lastOutboxCode();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(verify(other(guessed), "Apply"), "3002");
  EXPECT_EQ(verify(other(guessed), "Apply"), "3004");
  EXPECT_EQ(verify(guessed, "Apply"), "3005");

  // Only the addresses on file, known operations, and the session's own user.
  EXPECT_EQ(send("1", "Apply", "someone@else.example"), "3008");
  EXPECT_EQ(send("2", "Apply", "0900000000"), "3008");
  EXPECT_EQ(send("1", "Renew", u.email), "3009");
  EXPECT_EQ(lib->postAes("queryContactInfo", {{"agCode", demo::kBob.brnhId}, {"account", demo::kBob.acctNo}}).rtnCode,
            "2104");
  auto none = gw.loggedIn(demo::kNoContact);
  EXPECT_EQ(none->postAes("sendAuthCode",
                          withIdentity(demo::kNoContact, {{"authType", "1"}, {"opType", "Apply"}, {"mail", ""}}))
                .rtnCode,
            "3001");
  EXPECT_EQ(gw.gateway().outboxMessages().size(), 3u);

  // The download password vouches for an application only.
  auto bob = gw.loggedIn(demo::kBob);
  auto dlPwd = [&](const char* idno, const char* pwd) {
    return bob->postAes("validateBtsCertDlPwd", {{"idno", idno}, {"pwd", pwd}}).rtnCode;
  };
  EXPECT_EQ(dlPwd(demo::kBob.idno, "Dl000000"), "3006");
  EXPECT_EQ(dlPwd(demo::kAlice.idno, demo::kBob.dlPwd), "2104");
  EXPECT_EQ(dlPwd(demo::kBob.idno, demo::kBob.dlPwd), "0");
  EXPECT_EQ(bob->postAes("revokeCert", {{"cn", demo::kBob.cn}}).rtnCode, "3007");
}

TEST(GatewayAccount, DataFolderKeepsChangesButNoPassword) {
  TestGateway gw({{"gateway.requireVerification", "N"}});
  const DemoUserRef& u = demo::kFirstLogin;
  auto changePwd = [&](const std::string& oldPwd, const std::string& newPwd) {
    return gw.client()
        ->postPubKey("changeBtsLoginPwd", {{"idno", u.idno}, {"oldPwd", oldPwd}, {"newPwd", newPwd}})
        .rtnCode;
  };
  const std::tuple<std::string, std::string, const char*> refused[] = {{"Wrong1234", "NewPass99", "2101"},
                                                                       {u.pwd, u.pwd, "2103"},
                                                                       {u.pwd, "abcdef", "2102"},
                                                                       {u.pwd, "123456", "2102"},
                                                                       {u.pwd, "abcdefgh123456789", "2102"}};
  for (const auto& [oldPwd, newPwd, code] : refused) EXPECT_EQ(changePwd(oldPwd, newPwd), code) << newPwd;

  // A write that fails is refused and forgotten.
  std::filesystem::remove(gw.stateFile());
  std::filesystem::create_directories(gw.stateFile() + "/blocked");
  EXPECT_EQ(changePwd(u.pwd, "Renewed77"), "9010");
  EXPECT_EQ(gw.login(*gw.client(), u).rtnCode, "999");
  std::filesystem::remove_all(gw.stateFile());
  ASSERT_EQ(changePwd(u.pwd, "Renewed77"), "0");

  auto alice = gw.loggedIn(demo::kAlice);
  const GatewayReply issued =
      alice->postAes("applyCert", {{"csr", clientCsr(demo::kAlice.cn)}, {"userId", demo::kAlice.idno}});
  ASSERT_TRUE(alice->postAes("activeCert", {{"certApplyId", issued.field("certInfo/certId")}}).accepted());
  const std::string ca = gw.gateway().caCertificatesPem();
  gw.restart();
  EXPECT_EQ(gw.gateway().caCertificatesPem(), ca);                             // the same CA, read from the data folder
  EXPECT_FALSE(alice->postAes("getFnStatus", {{"cn", demo::kAlice.cn}}).doc);  // sessions do not survive
  DemoUserRef changed = u;
  changed.pwd = "Renewed77";
  EXPECT_EQ(gw.login(*gw.client(), changed).rtnCode, "0");  // no longer a first login
  EXPECT_EQ(gw.login(*gw.client(), u).rtnCode, "2001");
  alice = gw.loggedIn(demo::kAlice);
  EXPECT_EQ(alice->postAes("getFnStatus", {{"cn", demo::kAlice.cn}}).field("fnStatus"), "00");  // the certificate too

  const auto text = readWholeFile(gw.stateFile());
  ASSERT_TRUE(text);
  EXPECT_EQ(modeOf(gw.stateFile()), 0600u);
  EXPECT_EQ(modeOf(gw.dataDir() + "/ca/issuing-key.pem"), 0600u);
  EXPECT_EQ(text->find("Renewed77"), std::string::npos);
  EXPECT_NE(text->find("user idno=C120001686 mustChangePwd=N pwdHash=pbkdf2-sha256%24"), std::string::npos);

  // A damaged state file stops the gateway and is left for a look.
  const std::string damaged = "certs nextId=1001\ncert id=oops\n";
  ASSERT_TRUE(writeFileAtomically(gw.stateFile(), damaged));
  gateway::GatewayOptions options;
  options.dataDir = gw.dataDir();
  options.consoleOutbox = false;
  gateway::DevGateway broken(options);
  EXPECT_FALSE(broken.start());
  EXPECT_NE(broken.lastError().find("state.txt"), std::string::npos) << broken.lastError();
  EXPECT_EQ(readWholeFile(gw.stateFile()), damaged);
}

}  // namespace
}  // namespace karv::test
