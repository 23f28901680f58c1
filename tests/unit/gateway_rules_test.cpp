// The development gateway's own rules, which the client's flows never meet:
// what it refuses (verification codes, download password, requests,
// signatures, serials), sessions that end, how its certificate store moves on
// with time, and what its data folder keeps across a restart. The requests
// and signatures are made with OpenSSL directly, not by the client.
#include <gtest/gtest.h>

#include <filesystem>

#include "gateway/DemoSeed.h"
#include "support/TestGateway.h"
#include "support/TestPki.h"
#include "system/SecureFiles.h"

namespace karv::test {
namespace {

std::string codeOf(const KARVLib& lib, const std::string& api, const ParamList& params) {
  return lib.postAes(api, params).rtnCode.value_or("");
}

std::string fnStatus(const KARVLib& lib, const DemoUserRef& u) {
  const GatewayReply s = lib.postAes("getFnStatus", {{"cn", u.cn}});
  return s.field("fnStatus") + "/" + s.field("certCount") + "/" + s.field("effectCertCount");
}

TEST(GatewayRules, ApplicationActivationAndRevocationRefusals) {
  TestGateway gw;
  const DemoUserRef& u = demo::kAlice;
  auto lib = gw.loggedIn(u);
  auto apply = [&](const DemoUserRef& who, const std::string& csr) {
    return codeOf(*lib, "applyCert", {{"csr", csr}, {"userId", who.idno}});
  };
  EXPECT_EQ(apply(u, clientCsr(u.cn)), "3007");  // identity first
  ASSERT_TRUE(gw.verifyIdentity(*lib, u, "Apply"));
  // Refused requests do not use up the verification.
  const std::tuple<const DemoUserRef*, std::string, const char*> refused[] = {
      {&u, "not a request\n", "4002"},
      {&u, clientCsr("Z999999999-01"), "4003"},
      {&u, clientCsrWithBadSignature(u.cn), "4004"},
      {&demo::kBob, clientCsr(u.cn), "2104"},
      {&u, "", "4001"},  // nothing to continue
  };
  for (const auto& [who, csr, code] : refused) EXPECT_EQ(apply(*who, csr), code) << csr.substr(0, 20);
  const GatewayReply first = lib->postAes("applyCert", {{"csr", clientCsr(u.cn)}, {"userId", u.idno}});
  ASSERT_TRUE(first.accepted()) << first.rtnMsg.value_or("");
  EXPECT_EQ(fnStatus(*lib, u), "20/0/0");  // issued, waiting for activation

  // Continuing needs a new verification; the continued certificate replaces the first.
  EXPECT_EQ(apply(u, ""), "3007");
  ASSERT_TRUE(gw.verifyIdentity(*lib, u, "Apply"));
  const GatewayReply again = lib->postAes("applyCert", {{"csr", ""}, {"userId", u.idno}});
  ASSERT_TRUE(again.accepted());
  for (const std::string& stale : {first.field("certInfo/certId"), std::string("12x")})
    EXPECT_EQ(codeOf(*lib, "activeCert", {{"certApplyId", stale}}), "4007") << stale;
  for (int i = 0; i < 2; ++i)  // a repeated report is no error
    EXPECT_EQ(codeOf(*lib, "activeCert", {{"certApplyId", again.field("certInfo/certId")}}), "0");

  EXPECT_EQ(codeOf(*lib, "revokeCert", {{"cn", u.cn}}), "3007");
  ASSERT_TRUE(gw.verifyIdentity(*lib, u, "Revoke"));
  EXPECT_EQ(codeOf(*lib, "revokeCert", {{"cn", demo::kBob.cn}}), "4009");  // another user's
  EXPECT_EQ(codeOf(*lib, "revokeCert", {{"cn", u.cn}}), "0");
  EXPECT_EQ(codeOf(*lib, "qryLastActiveCert", {{"cn", u.cn}}), "4006");
  ASSERT_TRUE(gw.verifyIdentity(*lib, u, "Revoke"));
  EXPECT_EQ(codeOf(*lib, "revokeCert", {{"cn", u.cn}}), "4006");  // nothing left to revoke
  EXPECT_EQ(codeOf(*lib, "qryCert", {{"cn", demo::kBob.cn}}), "4009");
}

// The client's flows prove that a good signature passes; this proves that
// nothing else does, so those flows mean something.
TEST(GatewayRules, RenewalNeedsSignatureOfCurrentCertificateAndExpiryEndsIt) {
  TestGateway gw;
  const DemoUserRef& u = demo::kExpiring;
  auto lib = gw.loggedIn(u);
  const PfxContent old = readPfx(gw.demoPfx(u), gateway::kDemoPfxPassword);
  ASSERT_TRUE(old.key && old.cert);
  const std::string serial = lib->postAes("qryLastActiveCert", {{"cn", u.cn}}).field("serial");
  const std::string csr = clientCsr(u.cn);
  const std::string sign = renewalSignature(csr, old.cert.get(), old.key.get());
  struct Case {
    const char* what;
    ParamList params;
    const char* code;
  };
  const Case cases[] = {
      {"no signature", {{"hexSerial", serial}, {"csr", csr}, {"sign", ""}}, "4005"},
      {"other content",
       {{"hexSerial", serial}, {"csr", csr}, {"sign", renewalSignature(csr + "x", old.cert.get(), old.key.get())}},
       "4005"},
      {"other key",
       {{"hexSerial", serial}, {"csr", csr}, {"sign", renewalSignature(csr, old.cert.get(), otherUserKey())}},
       "4005"},
      {"other serial", {{"hexSerial", serial + "0"}, {"csr", csr}, {"sign", sign}}, "4011"},
      {"nothing to continue", {{"hexSerial", serial}, {"csr", ""}, {"sign", ""}}, "4010"},
      {"sign missing", {{"hexSerial", serial}, {"csr", csr}}, "9001"},
  };
  for (const auto& c : cases) EXPECT_EQ(codeOf(*lib, "renewCert", c.params), c.code) << c.what;
  EXPECT_EQ(fnStatus(*lib, u), "01/1/1");  // the refusals changed nothing

  // A certificate that runs out: no longer in effect, open for a new application.
  gw.advance(11 * 86400);
  lib = gw.loggedIn(u);
  EXPECT_EQ(fnStatus(*lib, u), "10/1/0");
  EXPECT_EQ(lib->postAes("qryCert", {{"cn", u.cn}}).field("state"), "3");
  EXPECT_EQ(codeOf(*lib, "qryLastActiveCert", {{"cn", u.cn}}), "4006");
  EXPECT_EQ(codeOf(*lib, "renewCert", {{"hexSerial", serial}, {"csr", csr}, {"sign", sign}}), "4006");
}

ParamList withIdentity(const DemoUserRef& u, std::initializer_list<std::pair<const std::string, std::string>> more) {
  ParamList params{{"idno", u.idno}, {"agCode", u.brnhId}, {"account", u.acctNo}};
  for (const auto& [name, value] : more) params.put(name, value);
  return params;
}

TEST(GatewayRules, SessionsEndWhenIdleOrLoggedOut) {
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

TEST(GatewayRules, VerificationCodesWorkOnceForTheirOperationAndAddress) {
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
  EXPECT_EQ(send("1", "Renew", u.email), "3009");
  EXPECT_EQ(lib->postAes("queryContactInfo", {{"agCode", demo::kBob.brnhId}, {"account", demo::kBob.acctNo}}).rtnCode,
            "2104");
  EXPECT_EQ(gw.gateway().outboxMessages().size(), 3u);

  // The download password vouches for the session's own user only.
  EXPECT_EQ(lib->postAes("validateBtsCertDlPwd", {{"idno", demo::kBob.idno}, {"pwd", demo::kBob.dlPwd}}).rtnCode,
            "2104");
}

TEST(GatewayRules, DataFolderKeepsChangesButNoPassword) {
  TestGateway gw({{"gateway.requireVerification", "N"}});
  const DemoUserRef& u = demo::kFirstLogin;
  auto changePwd = [&](const std::string& oldPwd, const std::string& newPwd) {
    return gw.client()
        ->postPubKey("changeBtsLoginPwd", {{"idno", u.idno}, {"oldPwd", oldPwd}, {"newPwd", newPwd}})
        .rtnCode;
  };
  const std::tuple<std::string, std::string, const char*> refused[] = {
      {"Wrong1234", "NewPass99", "2101"}, {u.pwd, u.pwd, "2103"}, {u.pwd, "abcdef", "2102"}};
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
