#include <gtest/gtest.h>
#include <sys/stat.h>

#include "SecureFiles.h"
#include "support/TestGateway.h"

namespace karv::test {
namespace {

ParamList identity(const DemoUserRef& u) { return {{"idno", u.idno}, {"agCode", u.brnhId}, {"account", u.acctNo}}; }

ParamList with(ParamList params, std::initializer_list<std::pair<const std::string, std::string>> more) {
  for (const auto& [name, value] : more) params.put(name, value);
  return params;
}

TEST(GatewayVerification, ContactInfoBelongsToTheSessionUser) {
  TestGateway gw;
  auto lib = gw.loggedIn(demo::kAlice);
  const GatewayReply info = postAes(*lib, "queryContactInfo", {{"agCode", "001"}, {"account", "0012345"}});
  ASSERT_TRUE(info.ok());
  EXPECT_EQ(info.field("email"), demo::kAlice.email);
  EXPECT_EQ(info.field("phone"), demo::kAlice.phone);
  EXPECT_EQ(info.field("birth"), demo::kAlice.birth);
  EXPECT_TRUE(postAes(*lib, "queryContactInfo", {}).ok());  // absent fields name nobody
  // Another user's account through this session is refused.
  EXPECT_EQ(postAes(*lib, "queryContactInfo", {{"agCode", demo::kBob.brnhId}, {"account", demo::kBob.acctNo}}).rtnCode,
            "2104");

  auto none = gw.loggedIn(demo::kNoContact);
  const GatewayReply empty = postAes(*none, "queryContactInfo", identity(demo::kNoContact));
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(empty.field("email"), "");
  EXPECT_EQ(empty.field("phone"), "");
  EXPECT_EQ(postAes(*none, "sendAuthCode",
                    with(identity(demo::kNoContact), {{"authType", "1"}, {"opType", "Apply"}, {"mail", ""}}))
                .rtnCode,
            "3001");
}

TEST(GatewayVerification, CodesGoToTheOutboxAndWorkOnceForTheirOperation) {
  TestGateway gw;
  auto lib = gw.loggedIn(demo::kAlice);
  const ParamList id = identity(demo::kAlice);
  auto send = [&](const std::string& type, const std::string& op, const std::string& to) {
    return postAes(*lib, "sendAuthCode",
                   with(id, {{"authType", type}, {"opType", op}, {type == "1" ? "mail" : "phone", to}}))
        .rtnCode;
  };
  auto verify = [&](const std::string& code, const std::string& op) {
    return postAes(*lib, "verifyAuthCode", with(id, {{"authcode", code}, {"opType", op}})).rtnCode;
  };
  EXPECT_EQ(verify("123456", "Apply"), "3005");  // nothing sent yet

  ASSERT_EQ(send("1", "Apply", demo::kAlice.email), "0");
  const auto outbox = readWholeFile(gw.outboxFile());
  ASSERT_TRUE(outbox);
  EXPECT_NE(outbox->find("to=A123456789 channel=mail address=a.chen@example.com op=Apply"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(gw.outboxFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // live codes: owner only
  const std::string code = gw.lastOutboxCode().value_or("");
  ASSERT_EQ(code.size(), 6u);

  EXPECT_EQ(verify(code, "Revoke"), "3005");  // a code serves its own operation only
  EXPECT_EQ(verify(code == "000000" ? "111111" : "000000", "Apply"), "3002");
  EXPECT_EQ(verify(code, "Apply"), "0");
  EXPECT_EQ(verify(code, "Apply"), "3005");  // used once

  ASSERT_EQ(send("2", "Revoke", demo::kAlice.phone), "0");
  EXPECT_NE(readWholeFile(gw.outboxFile())->find("channel=sms address=0912345678 op=Revoke"), std::string::npos);
  EXPECT_EQ(verify(*gw.lastOutboxCode(), "Revoke"), "0");

  // Codes expire; too many wrong tries use a code up; a new code replaces the old.
  ASSERT_EQ(send("1", "Apply", demo::kAlice.email), "0");
  const std::string stale = *gw.lastOutboxCode();
  gw.advance(301);
  EXPECT_EQ(verify(stale, "Apply"), "3003");
  ASSERT_EQ(send("1", "Apply", demo::kAlice.email), "0");
  const std::string guessed = *gw.lastOutboxCode();
  const std::string wrong = guessed == "999999" ? "999998" : "999999";
  for (int i = 0; i < 4; ++i) EXPECT_EQ(verify(wrong, "Apply"), "3002");
  EXPECT_EQ(verify(wrong, "Apply"), "3004");
  EXPECT_EQ(verify(guessed, "Apply"), "3005");

  // Addresses must be the ones on file; the channel and operation must be known.
  EXPECT_EQ(send("1", "Apply", "someone@else.example"), "3008");
  EXPECT_EQ(send("2", "Apply", "0900000000"), "3008");
  EXPECT_EQ(send("1", "Renew", demo::kAlice.email), "3009");
  EXPECT_EQ(postAes(*lib, "sendAuthCode", with(id, {{"authType", "1"}, {"opType", "Apply"}})).rtnCode, "9001");
  EXPECT_EQ(postAes(*lib, "verifyAuthCode", with(id, {{"opType", "Apply"}})).rtnCode, "9001");
  const auto messages = gw.gateway().outboxMessages();
  EXPECT_EQ(messages.size(), 4u);
}

TEST(GatewayVerification, DownloadPasswordVouchesForApplicationOnly) {
  TestGateway gw;
  auto lib = gw.loggedIn(demo::kBob);
  EXPECT_EQ(postAes(*lib, "validateBtsCertDlPwd", {{"idno", demo::kBob.idno}, {"pwd", "Dl000000"}}).rtnCode, "3006");
  EXPECT_EQ(postAes(*lib, "validateBtsCertDlPwd", {{"idno", demo::kAlice.idno}, {"pwd", demo::kBob.dlPwd}}).rtnCode,
            "2104");
  EXPECT_EQ(postAes(*lib, "validateBtsCertDlPwd", {{"idno", demo::kBob.idno}}).rtnCode, "9001");
  // Before it: the application is refused; after it: the revocation still is.
  EXPECT_EQ(postAes(*lib, "applyCert", {{"csr", ""}, {"userId", demo::kBob.idno}}).rtnCode, "3007");
  EXPECT_TRUE(postAes(*lib, "validateBtsCertDlPwd", {{"idno", demo::kBob.idno}, {"pwd", demo::kBob.dlPwd}}).ok());
  EXPECT_EQ(postAes(*lib, "applyCert", {{"csr", ""}, {"userId", demo::kBob.idno}}).rtnCode, "4001");  // no request
  EXPECT_EQ(postAes(*lib, "revokeCert", {{"cn", demo::kBob.cn}}).rtnCode, "3007");
}

}  // namespace
}  // namespace karv::test
