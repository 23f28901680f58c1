// The client's own calls (KARVLib, RSAUtility) against the development
// gateway: what the gateway issues must save, load, sign and compare the way
// the client expects.
#include <gtest/gtest.h>

#include "CertInfo.h"
#include "DemoSeed.h"
#include "RSAUtility.h"
#include "SecureFiles.h"
#include "support/TestFiles.h"
#include "support/TestGateway.h"

namespace karv::test {
namespace {

class ClientFlow : public ::testing::Test {
 protected:
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path.string()};  // the client keeps its key files under $HOME/.plix
  TestGateway gw;
  RSAUtility rsa;

  std::unique_ptr<KARVLib> login(const DemoUserRef& u) {
    auto lib = gw.client();
    std::optional<std::string> idno = u.idno, agCode, accNo, errMsg;
    EXPECT_EQ(lib->login(idno, agCode, accNo, std::string(u.pwd), errMsg, "2"), 0) << errMsg.value_or("");
    return lib;
  }
  void verify(KARVLib& lib, const DemoUserRef& u, const std::string& opType) {
    std::string email, phone, birth;
    std::optional<std::string> errMsg;
    ASSERT_EQ(lib.queryContactInfo(email, phone, birth, errMsg), 0);
    EXPECT_EQ(birth, u.birth);
    ASSERT_EQ(lib.sendAuthCode(email, phone, "1", opType, errMsg), 0) << errMsg.value_or("");
    ASSERT_EQ(lib.VerifyAuthCode(gw.lastOutboxCode().value_or(""), opType, errMsg), 0) << errMsg.value_or("");
  }
  std::string fnStatus(KARVLib& lib) {
    std::string status;
    int32_t count = -1, effect = -1;
    std::optional<std::string> errMsg;
    EXPECT_EQ(lib.getFnStatus(*lib.getCn(), status, count, effect, errMsg), 0);
    return status + "/" + std::to_string(count) + "/" + std::to_string(effect);
  }
};

TEST_F(ClientFlow, ApplySaveActivateCompareAndRevoke) {
  auto lib = login(demo::kAlice);
  EXPECT_EQ(fnStatus(*lib), "10/0/0");
  verify(*lib, demo::kAlice, "Apply");
  std::string key, cert;
  StringMap info;
  std::optional<std::string> errMsg;
  ASSERT_EQ(lib->applyCert(*lib->getCn(), key, cert, info, errMsg), 0) << errMsg.value_or("");
  const std::string pfx = home / "KARV/A123456789.pfx";
  ASSERT_EQ(rsa.savePfxFile(cert, key, pfx, "secret12"), 0);  // the PKCS#7 chain as the client reads it
  ASSERT_EQ(lib->activeCert(std::stoi(info.at("certId")), home / "KARV", errMsg), 0);
  EXPECT_EQ(fnStatus(*lib), "00/1/1");

  // The Load-PFX comparisons of a deployment hold: serial exactly, issuer as a name.
  CertInfo local;
  ASSERT_EQ(rsa.loadPfx(pfx, "secret12", local), 0);
  const auto last = lib->getLastActiveCertInfo(*lib->getCn());
  ASSERT_TRUE(last);
  EXPECT_EQ(last->at("hexSerial"), local.at("serial"));
  EXPECT_EQ(last->at("cn"), local.at("cn"));
  EXPECT_TRUE(rsa.cmpSubject(local.at("issuer"), last->at("issuer"))) << local.at("issuer");
  std::optional<StringMap> server;
  ASSERT_EQ(lib->qrySvrCertInfo(*lib->getCn(), server, errMsg), 0);
  ASSERT_TRUE(server);
  EXPECT_EQ(server->at("serial"), local.at("serial"));
  EXPECT_EQ(server->at("notAfter"), local.at("notAfter"));

  verify(*lib, demo::kAlice, "Revoke");
  ASSERT_EQ(lib->revokeCert(*lib->getCn(), nullptr, errMsg), 0) << errMsg.value_or("");
  EXPECT_EQ(fnStatus(*lib), "10/1/0");
}

TEST_F(ClientFlow, RenewalSignedWithTheDemoPfx) {
  auto lib = login(demo::kExpiring);
  EXPECT_EQ(fnStatus(*lib), "01/1/1");
  std::string cert;
  StringMap info;
  std::optional<std::string> errMsg;
  ASSERT_EQ(lib->renewCert(*lib->getCn(), gw.demoPfx(demo::kExpiring), gateway::kDemoPfxPassword, cert, info, errMsg),
            0);
  EXPECT_EQ(fnStatus(*lib), "02/1/1");
  const std::string pfx = home / "renewed.pfx";
  ASSERT_EQ(rsa.savePfxFile(cert, pfx, "secret12"), 0);  // the DER form, with the key the client kept
  ASSERT_EQ(lib->activeCert(std::stoi(info.at("certId")), std::nullopt, errMsg), 0);
  EXPECT_EQ(fnStatus(*lib), "00/2/1");
  CertInfo renewed;
  ASSERT_EQ(rsa.loadPfx(pfx, "secret12", renewed), 0);
  EXPECT_EQ(lib->getLastActiveCertInfo(*lib->getCn())->at("serial"), renewed.at("serial"));
}

TEST_F(ClientFlow, FirstLoginThenPasswordChangeThroughAFreshClient) {
  auto lib = gw.client();
  std::optional<std::string> agCode = demo::kFirstLogin.brnhId, accNo = demo::kFirstLogin.acctNo, idno, errMsg;
  EXPECT_EQ(lib->login(idno, agCode, accNo, std::string(demo::kFirstLogin.pwd), errMsg, "1"),
            KARVLib::kFirstLoginChange);
  EXPECT_EQ(idno, demo::kFirstLogin.idno);
  EXPECT_FALSE(errMsg.value_or("").empty());
  auto change = gw.client();
  EXPECT_EQ(change->changeBtsLoginPwd(idno, std::string(demo::kFirstLogin.pwd), std::string("Changed88"), errMsg), 0);
  std::optional<std::string> again = demo::kFirstLogin.idno;
  EXPECT_EQ(gw.client()->login(again, agCode, accNo, std::string("Changed88"), errMsg, "2"), 0);
}

}  // namespace
}  // namespace karv::test
