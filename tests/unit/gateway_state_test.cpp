#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "CertFormat.h"
#include "DemoSeed.h"
#include "KarvBuildConfig.h"
#include "SecureFiles.h"
#include "StateFile.h"
#include "support/GatewayPki.h"
#include "support/TestFiles.h"
#include "support/TestGateway.h"

namespace karv::test {
namespace {

GatewayReply changePwd(const TestGateway& gw, const DemoUserRef& u, const std::string& newPwd) {
  return postPublic(*gw.client(), "changeBtsLoginPwd", {{"idno", u.idno}, {"oldPwd", u.pwd}, {"newPwd", newPwd}});
}

TEST(GatewayState, ChangesSurviveARestart) {
  TestGateway gw({{"gateway.requireVerification", "N"}});
  ASSERT_TRUE(changePwd(gw, demo::kFirstLogin, "Renewed77").ok());
  auto alice = gw.loggedIn(demo::kAlice);
  const GatewayReply issued =
      postAes(*alice, "applyCert", {{"csr", clientCsr(demo::kAlice.cn)}, {"userId", demo::kAlice.idno}});
  ASSERT_TRUE(
      postAes(*alice, "activeCert", {{"certApplyId", issued.field("certInfo/certId")}, {"certPath", "/h/a b%"}}).ok());
  const std::string serial = issued.field("certInfo/serial");
  const std::string ca = gw.gateway().caCertificatesPem();

  gw.restart();
  EXPECT_EQ(gw.gateway().caCertificatesPem(), ca);  // the same CA, read from the data folder
  EXPECT_FALSE(postAes(*alice, "getFnStatus", {{"cn", demo::kAlice.cn}}).text.has_value());  // sessions do not survive
  alice = gw.loggedIn(demo::kAlice);
  const GatewayReply status = postAes(*alice, "getFnStatus", {{"cn", demo::kAlice.cn}});
  EXPECT_EQ(status.field("fnStatus"), "00");
  EXPECT_EQ(postAes(*alice, "qryCert", {{"cn", demo::kAlice.cn}}).field("serial"), serial);
  DemoUserRef changed = demo::kFirstLogin;
  changed.pwd = "Renewed77";
  EXPECT_EQ(gw.login(*gw.client(), changed).rtnCode, "0");  // no longer a first login
  EXPECT_EQ(gw.login(*gw.client(), demo::kFirstLogin).rtnCode, "2001");

  // The file: owner only, the new password only as a hash.
  const auto text = readWholeFile(gw.stateFile());
  ASSERT_TRUE(text);
  EXPECT_EQ(modeOf(gw.stateFile()), 0600u);
  EXPECT_EQ(text->find("Renewed77"), std::string::npos);
  EXPECT_NE(text->find("user idno=C120001686 mustChangePwd=N pwdHash=pbkdf2-sha256%24"), std::string::npos);
  EXPECT_NE(text->find("certPath=%2Fh%2Fa%20b%25"), std::string::npos);
  EXPECT_EQ(modeOf(gw.dataDir() + "/ca/issuing-key.pem"), 0600u);
}

TEST(GatewayState, FreshFolderStartsFromDemoUsersAndADamagedOneDoesNotStart) {
  TestGateway gw;
  const PfxContent pfx = readPfx(gw.demoPfx(demo::kExpiring), gateway::kDemoPfxPassword);
  ASSERT_TRUE(pfx.cert && pfx.key);
  EXPECT_EQ(modeOf(gw.demoPfx(demo::kExpiring)), 0600u);
  auto lib = gw.loggedIn(demo::kExpiring);
  EXPECT_EQ(postAes(*lib, "getFnStatus", {{"cn", demo::kExpiring.cn}}).field("fnStatus"), "01");
  EXPECT_EQ(postAes(*lib, "qryLastActiveCert", {{"cn", demo::kExpiring.cn}}).field("serial"),
            gateway::serialHex(pfx.cert.get()));
  const std::time_t left = gateway::notAfter(pfx.cert.get()) - std::time(nullptr);
  EXPECT_GT(left, 9 * 86400);
  EXPECT_LE(left, 10 * 86400);

  TempDir damaged;
  ASSERT_TRUE(writeFileAtomically(damaged / "state.txt", "certs nextId=1001\ncert id=oops\n"));
  gateway::GatewayOptions options;
  options.dataDir = damaged.path.string();
  options.consoleOutbox = false;
  gateway::DevGateway broken(options);
  EXPECT_FALSE(broken.start());
  EXPECT_NE(broken.lastError().find("state.txt"), std::string::npos) << broken.lastError();
  EXPECT_EQ(readWholeFile(damaged / "state.txt"), "certs nextId=1001\ncert id=oops\n");  // left for a look
}

TEST(GatewayState, FailedWriteIsRefusedAndForgotten) {
  TestGateway gw;
  // A folder where the state file should be: every write fails.
  std::filesystem::remove(gw.stateFile());
  std::filesystem::create_directories(gw.stateFile() + "/blocked");
  EXPECT_EQ(changePwd(gw, demo::kFirstLogin, "Renewed77").rtnCode, "9010");
  EXPECT_EQ(gw.login(*gw.client(), demo::kFirstLogin).rtnCode, "999");  // the change did not stick

  std::filesystem::remove_all(gw.stateFile());
  EXPECT_TRUE(changePwd(gw, demo::kFirstLogin, "Renewed77").ok());
}

TEST(GatewayState, InMemoryGatewayWritesNothing) {
  gateway::GatewayOptions options;
  options.consoleOutbox = false;
  gateway::DevGateway gw(options);
  ASSERT_TRUE(gw.start()) << gw.lastError();
  KARVLib lib(GatewayEndpoint{gw.baseUrl(), build::kPublicKeyPem, "", 10});
  const GatewayReply login =
      postPublic(lib, "doBtsLogin", {{"loginType", "2"}, {"idno", demo::kAlice.idno}, {"pwd", demo::kAlice.pwd}});
  ASSERT_TRUE(login.ok());
  lib.setSessionId(login.field("sessionId"));
  lib.setAesKey(login.field("aeskey"));
  ASSERT_TRUE(
      postAes(lib, "sendAuthCode", {{"authType", "2"}, {"opType", "Revoke"}, {"phone", demo::kAlice.phone}}).ok());
  const auto messages = gw.outboxMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].channel, "sms");
  EXPECT_EQ(messages[0].code.size(), 6u);
  EXPECT_FALSE(gw.caCertificatesPem().empty());
}

}  // namespace
}  // namespace karv::test
