// The protocol client's certificate calls against the development gateway:
// whole flows with what the gateway received, checked with the openssl tool,
// and what the client keeps, saves and compares afterwards.
#include <gtest/gtest.h>

#include "CommonUtility.h"
#include "DemoSeed.h"
#include "RSAUtility.h"
#include "SecureFiles.h"
#include "support/TestGateway.h"
#include "support/ToolRunner.h"

namespace karv::test {
namespace {

using gateway::Fault;

class CertificateCalls : public ::testing::Test {
 protected:
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path.string()};  // key files go to $HOME/.plix
  TestGateway gw;
  RSAUtility rsa;
  std::optional<std::string> errMsg;

  // The last request of an API as the gateway decrypted it.
  std::map<std::string, std::string> lastParams(const std::string& api) {
    const auto sent = requestsOf(gw.gateway(), api);
    return sent.empty() ? std::map<std::string, std::string>{} : sent.back().params;
  }
  size_t count(const std::string& api) { return requestsOf(gw.gateway(), api).size(); }
  std::unique_ptr<KARVLib> login(const DemoUserRef& u) {
    auto lib = gw.client();
    std::optional<std::string> idno = u.idno, agCode, accNo;
    EXPECT_EQ(lib->login(idno, agCode, accNo, std::string(u.pwd), errMsg, "2"), 0) << errMsg.value_or("");
    return lib;
  }
  void verify(KARVLib& lib, const std::string& opType) {
    std::string email, phone, birth;
    ASSERT_EQ(lib.queryContactInfo(email, phone, birth, errMsg), 0);
    ASSERT_EQ(lib.sendAuthCode(email, phone, "1", opType, errMsg), 0) << errMsg.value_or("");
    ASSERT_EQ(lib.VerifyAuthCode(gw.lastOutboxCode().value_or(""), opType, errMsg), 0) << errMsg.value_or("");
  }
  std::string fnStatus(KARVLib& lib) {
    std::string status;
    int32_t certs = -1, effective = -1;
    EXPECT_EQ(lib.getFnStatus(*lib.getCn(), status, certs, effective, errMsg), 0);
    return status + "/" + std::to_string(certs) + "/" + std::to_string(effective);
  }
};

TEST_F(CertificateCalls, ApplyContinueSaveActivateCompareAndRevoke) {
  auto lib = login(demo::kAlice);
  const std::string cn = *lib->getCn();
  EXPECT_EQ(fnStatus(*lib), "10/0/0");
  verify(*lib, "Apply");
  std::string key, cert;
  StringMap info;
  ASSERT_EQ(lib->applyCert(cn, key, cert, info, errMsg), 0) << errMsg.value_or("");
  EXPECT_FALSE(key.empty());
  // Not activated: the application waits ("2") and continues without a request,
  // and the .pfx takes the key the client kept.
  verify(*lib, "Apply");
  key = "untouched";
  ASSERT_EQ(lib->applyCert(cn, key, cert, info, errMsg), 0) << errMsg.value_or("");
  EXPECT_EQ(lastParams("applyCert"), (std::map<std::string, std::string>{{"csr", ""}, {"userId", demo::kAlice.idno}}));
  EXPECT_EQ(key, "");
  const std::string pfx = home / "KARV/A123456789.pfx";
  ASSERT_EQ(rsa.savePfxFile(cert, pfx, "secret12"), 0);
  ASSERT_EQ(lib->activeCert(std::stoi(info.at("certId")), home / "KARV", errMsg), 0);
  EXPECT_EQ(lastParams("activeCert").at("certPath"), home / "KARV");
  EXPECT_EQ(fnStatus(*lib), "00/1/1");

  // What the gateway and the file say agree the way the Load-PFX checks compare them.
  CertInfo local;
  ASSERT_EQ(rsa.loadPfx(pfx, "secret12", local), 0);
  const auto last = lib->getLastActiveCertInfo(cn);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->at("hexSerial"), local.at("serial"));
  EXPECT_EQ(last->at("cn"), local.at("cn"));
  EXPECT_TRUE(rsa.cmpSubject(local.at("issuer"), last->at("issuer"))) << local.at("issuer");
  std::optional<StringMap> server;
  ASSERT_EQ(lib->qrySvrCertInfo(cn, server, errMsg), 0);
  ASSERT_TRUE(server);
  EXPECT_EQ(server->at("serial"), local.at("serial"));
  EXPECT_EQ(server->at("notAfter"), local.at("notAfter"));
  StringMap client;
  EXPECT_EQ(lib->qryClntCertInfo(cn, pfx, "secret12", client, errMsg), 0);
  EXPECT_EQ(client.at("serial"), local.at("serial"));
  EXPECT_EQ(lib->qryClntCertInfo(cn, pfx, "wrong", client, errMsg), 52303);

  verify(*lib, "Revoke");
  StringMap revoked;
  ASSERT_EQ(lib->revokeCert(cn, &revoked, errMsg), 0) << errMsg.value_or("");
  EXPECT_EQ(revoked.at("rvkCode"), "0");
  EXPECT_EQ(fnStatus(*lib), "10/1/0");
}

TEST_F(CertificateCalls, RenewalSignedThenContinued) {
  auto lib = login(demo::kExpiring);
  const std::string cn = *lib->getCn();
  EXPECT_EQ(fnStatus(*lib), "01/1/1");
  // Application closed ("0"): nothing sent, nothing set.
  std::string key = "k", cert = "c";
  StringMap info{{"x", "y"}};
  EXPECT_EQ(lib->applyCert(cn, key, cert, info, errMsg), 0);
  EXPECT_EQ(count("applyCert"), 0u);
  EXPECT_EQ(key + cert + std::to_string(info.size()), "kc1");

  ASSERT_EQ(lib->renewCert(cn, gw.demoPfx(demo::kExpiring), gateway::kDemoPfxPassword, cert, info, errMsg), 0);
  const auto sent = lastParams("renewCert");
  EXPECT_EQ(sent.at("hexSerial"), lib->getLastActiveCertInfo(cn).value_or(StringMap{})["serial"]);
  // The request goes without armour: base64 lines with their line feeds, one at the end.
  const std::string csr = sent.at("csr");
  EXPECT_EQ(csr.find("-----"), std::string::npos);
  EXPECT_EQ(csr.back(), '\n');
  writeText(home / "sent.csr", "-----BEGIN CERTIFICATE REQUEST-----\n" + csr + "-----END CERTIFICATE REQUEST-----\n");
  const ToolResult req = runTool({"openssl", "req", "-in", home / "sent.csr", "-noout", "-verify", "-subject"});
  EXPECT_EQ(req.exitCode, 0) << req.output;
  EXPECT_NE(req.output.find("CN = " + cn), std::string::npos) << req.output;
  // The signature verifies against the old certificate and carries exactly the sent text.
  const auto der = CommonUtility().base64Decode(sent.at("sign"));
  ASSERT_TRUE(der);
  writeText(home / "sent.p7", std::string(der->begin(), der->end()));
  const ToolResult verified = runTool({"openssl", "smime", "-verify", "-inform", "DER", "-in", home / "sent.p7",
                                       "-noverify", "-out", home / "content.txt"});
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  EXPECT_EQ(readWholeFile(home / "content.txt"), csr);
  EXPECT_EQ(fnStatus(*lib), "02/1/1");

  // A renewal that waits ("2") sends empty "csr" and "sign" and opens no .pfx;
  // the new .pfx takes the key kept from the first call.
  ASSERT_EQ(lib->renewCert(cn, home / "no-such.pfx", "wrong", cert, info, errMsg), 0);
  EXPECT_EQ(lastParams("renewCert").at("csr") + lastParams("renewCert").at("sign"), "");
  ASSERT_EQ(rsa.savePfxFile(cert, home / "renewed.pfx", "secret12"), 0);
  ASSERT_EQ(lib->activeCert(std::stoi(info.at("certId")), std::nullopt, errMsg), 0);
  EXPECT_EQ(lastParams("activeCert").count("certPath"), 0u);  // absent values are not sent
  EXPECT_EQ(fnStatus(*lib), "00/2/1");
  CertInfo renewed;
  ASSERT_EQ(rsa.loadPfx(home / "renewed.pfx", "secret12", renewed), 0);
  EXPECT_EQ(lib->getLastActiveCertInfo(cn).value_or(StringMap{})["serial"], renewed.at("serial"));
}

// The renewal stands on the function status and the last active certificate:
// when those fail or say no, it stops before sending anything wrong.
TEST_F(CertificateCalls, RenewalAndApplicationStopOnWhatTheyDependOn) {
  auto lib = gw.loggedIn(demo::kExpiring);
  const std::string cn = *lib->getCn();
  std::string key, cert;
  StringMap info;
  auto& g = gw.gateway();
  auto renew = [&] {
    return lib->renewCert(cn, gw.demoPfx(demo::kExpiring), gateway::kDemoPfxPassword, cert, info, errMsg);
  };

  g.setFault("getFnStatus", Fault::noAnswer());
  EXPECT_EQ(lib->applyCert(cn, key, cert, info, errMsg), KARVLib::kFnStatusRejected);
  EXPECT_EQ(renew(), 1);
  EXPECT_EQ(lib->applyCert("", key, cert, info, errMsg), KARVLib::kFnStatusNoCn);
  // "3" in the renewal position: refused after asking for the last active certificate.
  g.setFault("getFnStatus",
             Fault::plainReply("<Root><rtnCode>0</rtnCode><fnStatus>03</fnStatus><certCount>1</certCount>"
                               "<effectCertCount>1</effectCertCount></Root>"));
  EXPECT_EQ(renew(), KARVLib::kRenewNotAllowed);
  EXPECT_EQ(count("qryLastActiveCert"), 1u);
  g.clearFaults();
  g.setFault("qryLastActiveCert", Fault::reply("4006", "無有效憑證"));
  EXPECT_EQ(renew(), 1);
  EXPECT_FALSE(lib->getLastActiveCertInfo(cn));
  // An active certificate without "serial": "hexSerial" is left out, not sent empty.
  g.setFault("qryLastActiveCert", Fault::reply("0", "ok"));
  EXPECT_EQ(renew(), KARVLib::kRenewRejected);
  EXPECT_EQ(lastParams("renewCert").count("hexSerial"), 0u);
  EXPECT_EQ(count("renewCert"), 1u);
}

}  // namespace
}  // namespace karv::test
