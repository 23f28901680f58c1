// The certificate calls of the protocol client against the development
// gateway: the continued forms, what the gateway received, the edge cases and
// every failure code.
#include <gtest/gtest.h>

#include "CommonUtility.h"
#include "DemoSeed.h"
#include "RSAUtility.h"
#include "SecureFiles.h"
#include "support/TestFiles.h"
#include "support/TestGateway.h"
#include "support/ToolRunner.h"

namespace karv::test {
namespace {

using gateway::Fault;

class CertificateCalls : public ::testing::Test {
 protected:
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path.string()};  // key files go to $HOME/.plix
  TestGateway gw{{"gateway.requireVerification", "N"}};
  RSAUtility rsa;
  std::optional<std::string> errMsg;

  // The last request of an API as the gateway decrypted it.
  std::map<std::string, std::string> lastParams(const std::string& api) {
    const auto requests = gw.gateway().requests();
    for (auto it = requests.rbegin(); it != requests.rend(); ++it)
      if (it->api == api) return it->params;
    ADD_FAILURE() << "no " << api << " request";
    return {};
  }
  int count(const std::string& api) {
    int n = 0;
    for (const auto& r : gw.gateway().requests()) n += r.api == api ? 1 : 0;
    return n;
  }
  std::string write(const std::string& name, const std::string& bytes) {
    const std::string path = home / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
};

TEST_F(CertificateCalls, GatewaySeesVerifiableRequestAndSignature) {
  auto lib = gw.loggedIn(demo::kExpiring);
  const std::string cn = *lib->getCn();
  std::string cert;
  StringMap info;
  ASSERT_EQ(lib->renewCert(cn, gw.demoPfx(demo::kExpiring), gateway::kDemoPfxPassword, cert, info, errMsg), 0);
  const auto sent = lastParams("renewCert");
  const std::string csr = sent.at("csr");
  // Sent without armour: base64 lines with their line feeds, one line feed at the end.
  EXPECT_EQ(csr.find("-----"), std::string::npos);
  EXPECT_EQ(csr.back(), '\n');
  EXPECT_NE(csr.front(), '\n');
  const std::string pem =
      write("sent.csr", "-----BEGIN CERTIFICATE REQUEST-----\n" + csr + "-----END CERTIFICATE REQUEST-----\n");
  const ToolResult req = runTool({"openssl", "req", "-in", pem, "-noout", "-verify", "-subject"});
  EXPECT_EQ(req.exitCode, 0) << req.output;
  EXPECT_NE(req.output.find("CN = " + cn), std::string::npos) << req.output;

  // The signature verifies against the old certificate and carries exactly the sent text.
  auto der = CommonUtility().base64Decode(sent.at("sign"));
  ASSERT_TRUE(der);
  const std::string sig = write("sent.p7", std::string(der->begin(), der->end()));
  const std::string content = home / "content.txt";
  const ToolResult verify =
      runTool({"openssl", "smime", "-verify", "-inform", "DER", "-in", sig, "-noverify", "-out", content});
  EXPECT_EQ(verify.exitCode, 0) << verify.output;
  EXPECT_EQ(readWholeFile(content), csr);
  EXPECT_EQ(sent.at("hexSerial"), lib->getLastActiveCertInfo(cn).value_or(StringMap{})["serial"]);
}

TEST_F(CertificateCalls, ContinuedApplicationAndRenewalSendEmptyRequests) {
  auto lib = gw.loggedIn(demo::kBob);
  const std::string cn = *lib->getCn();
  std::string key, cert;
  StringMap info;
  ASSERT_EQ(lib->applyCert(cn, key, cert, info, errMsg), 0);
  EXPECT_FALSE(key.empty());
  // Not activated: the application waits ("2") and continues without a request.
  std::string key2 = "untouched", cert2;
  StringMap info2;
  ASSERT_EQ(lib->applyCert(cn, key2, cert2, info2, errMsg), 0) << errMsg.value_or("");
  EXPECT_EQ(lastParams("applyCert").at("csr"), "");
  EXPECT_EQ(lastParams("applyCert").at("userId"), demo::kBob.idno);
  EXPECT_EQ(key2, "");
  const std::string pfx = home / "bob.pfx";
  ASSERT_EQ(rsa.savePfxFile(cert2, pfx, "secret12"), 0);  // the key the client kept
  ASSERT_EQ(lib->activeCert(std::stoi(info2.at("certId")), home.path.string(), errMsg), 0);
  EXPECT_EQ(lastParams("activeCert").at("certPath"), home.path.string());

  // A renewal that waits ("2") sends empty "csr" and "sign" and opens no .pfx.
  auto expiring = gw.loggedIn(demo::kExpiring);
  const std::string cn2 = *expiring->getCn();
  ASSERT_EQ(expiring->renewCert(cn2, gw.demoPfx(demo::kExpiring), gateway::kDemoPfxPassword, cert, info, errMsg), 0);
  ASSERT_EQ(expiring->renewCert(cn2, home / "no-such.pfx", "wrong", cert, info, errMsg), 0);
  EXPECT_EQ(lastParams("renewCert").at("csr"), "");
  EXPECT_EQ(lastParams("renewCert").at("sign"), "");
  ASSERT_EQ(rsa.savePfxFile(cert, home / "renewed.pfx", "secret12"), 0);
  ASSERT_EQ(expiring->activeCert(std::stoi(info.at("certId")), std::nullopt, errMsg), 0);
}

TEST_F(CertificateCalls, StatusGatesAndQueries) {
  auto lib = gw.loggedIn(demo::kExpiring);
  const std::string cn = *lib->getCn();
  // Application closed ("0"): nothing sent, nothing set.
  std::string key = "k", cert = "c";
  StringMap info{{"x", "y"}};
  EXPECT_EQ(lib->applyCert(cn, key, cert, info, errMsg), 0);
  EXPECT_EQ(count("applyCert"), 0);
  EXPECT_EQ(key, "k");
  EXPECT_EQ(cert, "c");
  EXPECT_EQ(info.size(), 1u);

  // "3" in the renewal position: refused after asking for the last active certificate.
  gw.gateway().setFault(
      "getFnStatus",
      Fault::plainReply("<Root><rtnCode>0</rtnCode><rtnMsg></rtnMsg><fnStatus>03</fnStatus><certCount>1</certCount>"
                        "<effectCertCount>1</effectCertCount></Root>"));
  const int lastActiveBefore = count("qryLastActiveCert");
  EXPECT_EQ(lib->renewCert(cn, gw.demoPfx(demo::kExpiring), gateway::kDemoPfxPassword, cert, info, errMsg),
            KARVLib::kRenewNotAllowed);
  EXPECT_EQ(count("qryLastActiveCert"), lastActiveBefore + 1);
  EXPECT_EQ(count("renewCert"), 0);
  gw.gateway().clearFaults();

  // A rejected query returns 0 with no record and the gateway's message.
  gw.gateway().setFault("qryCert", Fault::reply("4012", "查無憑證資料"));
  std::optional<StringMap> server;
  EXPECT_EQ(lib->qrySvrCertInfo(cn, server, errMsg), 0);
  EXPECT_FALSE(server);
  EXPECT_EQ(errMsg, "查無憑證資料");
  gw.gateway().clearFaults();
  ASSERT_EQ(lib->qrySvrCertInfo(cn, server, errMsg), 0);
  ASSERT_TRUE(server);
  for (const char* field : {"cn", "serial", "notBefore", "notAfter", "state"})
    EXPECT_TRUE(server->count(field)) << field;

  // Activation with 42 and no path: "certApplyId" only.
  EXPECT_EQ(lib->activeCert(42, std::nullopt, errMsg), KARVLib::kActivateFailed);
  const auto sent = lastParams("activeCert");
  EXPECT_EQ(sent.at("certApplyId"), "42");
  EXPECT_EQ(sent.count("certPath"), 0u);

  // The local file query is the .pfx load.
  StringMap local;
  EXPECT_EQ(lib->qryClntCertInfo(cn, gw.demoPfx(demo::kExpiring), gateway::kDemoPfxPassword, local, errMsg), 0);
  EXPECT_EQ(local.at("serial"), server->at("serial"));
  EXPECT_EQ(lib->qryClntCertInfo(cn, gw.demoPfx(demo::kExpiring), "wrong", local, errMsg), 52303);

  // Revocation marks the certificate; the record gets the envelope.
  StringMap revoked;
  ASSERT_EQ(lib->revokeCert(cn, &revoked, errMsg), 0);
  EXPECT_EQ(revoked.at("rvkCode"), "0");
  std::optional<StringMap> after;
  ASSERT_EQ(lib->qrySvrCertInfo(cn, after, errMsg), 0);
  ASSERT_TRUE(after);
  EXPECT_NE(after->at("state"), server->at("state"));
}

TEST_F(CertificateCalls, EveryFailureHasItsCode) {
  auto lib = gw.loggedIn(demo::kExpiring);
  const std::string cn = *lib->getCn();
  std::string key, cert;
  StringMap info;
  std::optional<StringMap> server;
  auto& g = gw.gateway();
  const std::string pfx = gw.demoPfx(demo::kExpiring);
  auto renew = [&] { return lib->renewCert(cn, pfx, gateway::kDemoPfxPassword, cert, info, errMsg); };

  // The function status fails: the application passes its code on, the renewal says 1.
  g.setFault("getFnStatus", Fault::noAnswer());
  EXPECT_EQ(lib->applyCert(cn, key, cert, info, errMsg), KARVLib::kFnStatusRejected);
  EXPECT_EQ(renew(), 1);
  EXPECT_EQ(lib->applyCert("", key, cert, info, errMsg), KARVLib::kFnStatusNoCn);
  g.clearFaults();
  g.setFault("qryLastActiveCert", Fault::reply("4006", "無有效憑證"));
  EXPECT_EQ(renew(), 1);
  EXPECT_FALSE(lib->getLastActiveCertInfo(cn));
  g.clearFaults();
  // An active certificate without "serial": "hexSerial" is left out, not sent empty.
  g.setFault("qryLastActiveCert", Fault::reply("0", "ok"));
  EXPECT_EQ(renew(), KARVLib::kRenewRejected);
  EXPECT_EQ(lastParams("renewCert").count("hexSerial"), 0u);
  g.clearFaults();

  for (const Fault& f : {Fault::noAnswer(), Fault::reply("4005", "拒絕")}) {
    const bool transport = f.kind == Fault::Kind::NoAnswer;
    for (const char* api : {"renewCert", "revokeCert", "activeCert", "qryCert"}) g.setFault(api, f);
    errMsg = "caller";
    EXPECT_EQ(renew(), transport ? -1 : KARVLib::kRenewRejected);
    EXPECT_EQ(errMsg, "caller");  // a rejected renewal hands no message back
    EXPECT_EQ(lib->revokeCert(cn, nullptr, errMsg), KARVLib::kRevokeFailed);
    EXPECT_EQ(errMsg, transport ? "caller" : "拒絕");
    EXPECT_EQ(lib->activeCert(1, std::nullopt, errMsg), KARVLib::kActivateFailed);
    EXPECT_EQ(lib->qrySvrCertInfo(cn, server, errMsg), transport ? -1 : 0);
    g.clearFaults();
  }
  // Application refused or unanswered: 55015, with the gateway's message when it gave one.
  auto bob = gw.loggedIn(demo::kBob);
  for (const Fault& f : {Fault::noAnswer(), Fault::reply("4002", "申請書格式錯誤")}) {
    g.setFault("applyCert", f);
    errMsg.reset();
    EXPECT_EQ(bob->applyCert(*bob->getCn(), key, cert, info, errMsg), KARVLib::kApplyFailed);
    EXPECT_EQ(errMsg.value_or(""), f.kind == Fault::Kind::NoAnswer ? "" : "申請書格式錯誤");
  }
}

TEST(PemArmour, RemovesFirstLineAndLineBeforeEnd) {
  const std::string body = "MIIBAAAA\nBBBBCCCC";
  EXPECT_EQ(
      KARVLib::stripPemArmour("-----BEGIN CERTIFICATE REQUEST-----\n" + body + "\n-----END CERTIFICATE REQUEST-----"),
      body);
  EXPECT_EQ(
      KARVLib::stripPemArmour("-----BEGIN CERTIFICATE REQUEST-----\n" + body + "\n-----END CERTIFICATE REQUEST-----\n"),
      body + "\n");
}

}  // namespace
}  // namespace karv::test
