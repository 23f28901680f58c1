#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CommonUtility.h"
#include "DemoSeed.h"
#include "support/GatewayPki.h"
#include "support/TestFiles.h"
#include "support/TestGateway.h"
#include "support/TestPki.h"
#include "support/ToolRunner.h"

namespace karv::test {
namespace {

constexpr char kIssuerLine[] =
    "CN=KARV Development Issuing CA, OU=Certificate Services, O=KARV Development, S=Taipei, C=TW";

std::string serialOf(const X509* cert) {
  char hex[32];
  std::snprintf(hex, sizeof hex, "%lX", ASN1_INTEGER_get(X509_get0_serialNumber(cert)));
  return hex;
}

std::string cnOf(const X509* cert) {
  char cn[256] = {};
  X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, cn, sizeof cn);
  return cn;
}

void expectStatus(const KARVLib& lib, const DemoUserRef& u, const std::string& fn, const std::string& count,
                  const std::string& effect) {
  const GatewayReply s = postAes(lib, "getFnStatus", {{"cn", u.cn}});
  ASSERT_TRUE(s.ok()) << s.rtnMsg.value_or("");
  EXPECT_EQ(s.field("fnStatus"), fn);
  EXPECT_EQ(s.field("certCount"), count);
  EXPECT_EQ(s.field("effectCertCount"), effect);
}

GatewayReply apply(const KARVLib& lib, const DemoUserRef& u, const std::string& csr) {
  return postAes(lib, "applyCert", {{"csr", csr}, {"userId", u.idno}});
}

GatewayReply renew(const KARVLib& lib, const std::string& serial, const std::string& csr, const std::string& sign) {
  return postAes(lib, "renewCert", {{"hexSerial", serial}, {"csr", csr}, {"sign", sign}});
}

std::string certIdOf(const GatewayReply& r) { return r.field("certInfo/certId"); }

// Applies (after verifying) and activates: the user then holds one certificate.
X509Ptr issueActive(const TestGateway& gw, const KARVLib& lib, const DemoUserRef& u) {
  EXPECT_TRUE(gw.verifyIdentity(lib, u, "Apply"));
  const GatewayReply issued = apply(lib, u, clientCsr(u.cn));
  EXPECT_TRUE(issued.ok()) << issued.rtnMsg.value_or("");
  EXPECT_TRUE(postAes(lib, "activeCert", {{"certApplyId", certIdOf(issued)}}).ok());
  return userCertOfReply(issued.field("cert"));
}

TEST(GatewayCertificates, ApplicationIssuesChainVerifiedByOpensslAndActivates) {
  TestGateway gw;
  auto lib = gw.loggedIn(demo::kAlice);
  const DemoUserRef& u = demo::kAlice;
  expectStatus(*lib, u, "10", "0", "0");
  EXPECT_EQ(apply(*lib, u, clientCsr(u.cn)).rtnCode, "3007");  // identity first

  ASSERT_TRUE(gw.verifyIdentity(*lib, u, "Apply"));
  // Refused requests do not use up the verification.
  EXPECT_EQ(apply(*lib, u, "not a request\n").rtnCode, "4002");
  EXPECT_EQ(apply(*lib, u, clientCsr("Z999999999-01")).rtnCode, "4003");
  EXPECT_EQ(apply(*lib, u, clientCsrWithBadSignature(u.cn)).rtnCode, "4004");
  EXPECT_EQ(apply(*lib, demo::kBob, clientCsr(u.cn)).rtnCode, "2104");
  EXPECT_EQ(apply(*lib, u, "").rtnCode, "4001");  // nothing to continue
  EXPECT_EQ(postAes(*lib, "applyCert", {{"userId", u.idno}}).rtnCode, "9001");

  const GatewayReply first = apply(*lib, u, clientCsr(u.cn));
  ASSERT_TRUE(first.ok()) << first.rtnMsg.value_or("");
  const auto chain = pkcs7Certs(first.field("cert"));
  ASSERT_EQ(chain.size(), 3u);  // user, issuing CA, root
  X509Ptr cert = userCertOfReply(first.field("cert"));
  ASSERT_TRUE(cert);
  EXPECT_EQ(cnOf(cert.get()), u.cn);
  EXPECT_EQ(EVP_PKEY_eq(X509_get0_pubkey(cert.get()), requestKey()), 1);
  const auto info = first.map("//Root/certInfo");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->at("serial"), serialOf(cert.get()));
  EXPECT_EQ(info->at("issuer"), kIssuerLine);
  EXPECT_THAT(info->at("certId"), testing::MatchesRegex("[1-9][0-9]*"));
  expectStatus(*lib, u, "20", "0", "0");  // issued, waiting for activation

  // Continuing: a new verification, an empty request, a certificate for the key kept.
  EXPECT_EQ(apply(*lib, u, "").rtnCode, "3007");
  ASSERT_TRUE(gw.verifyIdentity(*lib, u, "Apply"));
  const GatewayReply again = apply(*lib, u, "");
  ASSERT_TRUE(again.ok());
  X509Ptr reissued = userCertOfReply(again.field("cert"));
  EXPECT_EQ(EVP_PKEY_eq(X509_get0_pubkey(reissued.get()), requestKey()), 1);
  EXPECT_NE(certIdOf(again), certIdOf(first));

  EXPECT_EQ(postAes(*lib, "activeCert", {{"certApplyId", certIdOf(first)}}).rtnCode, "4007");  // replaced
  EXPECT_EQ(postAes(*lib, "activeCert", {{"certApplyId", "12x"}}).rtnCode, "4007");
  EXPECT_TRUE(postAes(*lib, "activeCert", {{"certApplyId", certIdOf(again)}, {"certPath", "/home/u/KARV"}}).ok());
  EXPECT_TRUE(postAes(*lib, "activeCert", {{"certApplyId", certIdOf(again)}}).ok());  // a repeated report
  expectStatus(*lib, u, "00", "1", "1");

  const GatewayReply server = postAes(*lib, "qryCert", {{"cn", u.cn}});
  ASSERT_TRUE(server.ok());
  EXPECT_EQ(server.field("certUserId"), u.idno);
  EXPECT_EQ(server.field("cn"), u.cn);
  EXPECT_EQ(server.field("serial"), serialOf(reissued.get()));
  EXPECT_THAT(server.field("notBefore"), testing::MatchesRegex("[0-9]{14}"));
  EXPECT_THAT(server.field("notAfter"), testing::MatchesRegex("[0-9]{14}"));
  EXPECT_EQ(server.field("state"), "1");
  EXPECT_EQ(server.field("stateMessage"), "有效");
  EXPECT_EQ(server.field("actFlg"), "Y");
  EXPECT_EQ(server.field("issuer"), kIssuerLine);
  const GatewayReply last = postAes(*lib, "qryLastActiveCert", {{"cn", u.cn}});
  ASSERT_TRUE(last.ok());
  EXPECT_EQ(last.field("serial"), serialOf(reissued.get()));  // upper-case, no leading zeros
  EXPECT_EQ(last.field("hexSerial"), last.field("serial"));
  EXPECT_THAT(last.field("serial"), testing::MatchesRegex("[1-9A-F][0-9A-F]*"));
  EXPECT_EQ(last.field("issuer"), kIssuerLine);
  EXPECT_EQ(last.field("cn"), u.cn);

  // The openssl tool agrees: the chain verifies, the user certificate is no CA,
  // and the PKCS#7 reply parses.
  const std::string dir = gw.dataDir();
  writeText(dir + "/user.pem", certPem(reissued.get()));
  const ToolResult verified = runTool(
      {"openssl", "verify", "-CAfile", dir + "/ca/root.pem", "-untrusted", dir + "/ca/issuing.pem", dir + "/user.pem"});
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  EXPECT_NE(verified.output.find(": OK"), std::string::npos);
  const ToolResult ext = runTool({"openssl", "x509", "-in", dir + "/user.pem", "-noout", "-ext", "basicConstraints"});
  EXPECT_NE(ext.output.find("CA:FALSE"), std::string::npos) << ext.output;
  const auto der = CommonUtility().base64Decode(again.field("cert"));
  ASSERT_TRUE(der);
  writeText(dir + "/chain.p7b", std::string(der->begin(), der->end()));
  const ToolResult p7 =
      runTool({"openssl", "pkcs7", "-inform", "DER", "-in", dir + "/chain.p7b", "-print_certs", "-noout"});
  EXPECT_EQ(p7.exitCode, 0) << p7.output;
  EXPECT_NE(p7.output.find("CN = A123456789-01"), std::string::npos) << p7.output;
  EXPECT_NE(p7.output.find("CN = KARV Development Root CA"), std::string::npos);
}

TEST(GatewayCertificates, DerFormWhenConfigured) {
  TestGateway gw({{"gateway.applyCertForm", "der"}});
  auto lib = gw.loggedIn(demo::kBob);
  ASSERT_TRUE(gw.verifyIdentity(*lib, demo::kBob, "Apply"));
  const GatewayReply issued = apply(*lib, demo::kBob, clientCsr(demo::kBob.cn));
  ASSERT_TRUE(issued.ok());
  EXPECT_TRUE(pkcs7Certs(issued.field("cert")).empty());
  const auto der = CommonUtility().base64Decode(issued.field("cert"));
  ASSERT_TRUE(der);
  const unsigned char* p = der->data();
  X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der->size())));
  ASSERT_TRUE(cert);
  EXPECT_EQ(cnOf(cert.get()), demo::kBob.cn);
}

TEST(GatewayCertificates, RenewalNeedsSignatureOfCurrentCertificate) {
  TestGateway gw;
  const DemoUserRef& u = demo::kExpiring;
  auto lib = gw.loggedIn(u);
  expectStatus(*lib, u, "01", "1", "1");
  const PfxContent old = readPfx(gw.demoPfx(u), gateway::kDemoPfxPassword);
  ASSERT_TRUE(old.key && old.cert);
  const GatewayReply last = postAes(*lib, "qryLastActiveCert", {{"cn", u.cn}});
  ASSERT_EQ(last.field("serial"), serialOf(old.cert.get()));

  const std::string serial = last.field("serial");
  const std::string csr = clientCsr(u.cn, otherRequestKey());
  EXPECT_EQ(renew(*lib, serial, csr, "").rtnCode, "4005");
  EXPECT_EQ(renew(*lib, serial, csr, "!!not base64!!").rtnCode, "4005");
  EXPECT_EQ(renew(*lib, serial, csr, renewalSignature(csr + "x", old.cert.get(), old.key.get())).rtnCode, "4005");
  EXPECT_EQ(renew(*lib, serial, csr, renewalSignature(csr, old.cert.get(), requestKey())).rtnCode, "4005");
  const std::string sign = renewalSignature(csr, old.cert.get(), old.key.get());
  EXPECT_EQ(renew(*lib, serial + "0", csr, sign).rtnCode, "4011");
  EXPECT_EQ(renew(*lib, serial, "", "").rtnCode, "4010");  // nothing to continue yet
  EXPECT_EQ(postAes(*lib, "renewCert", {{"hexSerial", serial}, {"csr", csr}}).rtnCode, "9001");
  expectStatus(*lib, u, "01", "1", "1");  // refusals changed nothing

  const GatewayReply renewed = renew(*lib, serial, csr, sign);
  ASSERT_TRUE(renewed.ok()) << renewed.rtnMsg.value_or("");
  EXPECT_TRUE(pkcs7Certs(renewed.field("cert")).empty());  // renewals answer in DER by default
  X509Ptr cert = userCertOfReply(renewed.field("cert"));
  ASSERT_TRUE(cert);
  EXPECT_EQ(EVP_PKEY_eq(X509_get0_pubkey(cert.get()), otherRequestKey()), 1);
  expectStatus(*lib, u, "02", "1", "1");

  // Continued renewal: empty request and signature, a certificate for the kept key.
  const GatewayReply continued = renew(*lib, serial, "", "");
  ASSERT_TRUE(continued.ok());
  X509Ptr again = userCertOfReply(continued.field("cert"));
  EXPECT_EQ(EVP_PKEY_eq(X509_get0_pubkey(again.get()), otherRequestKey()), 1);
  ASSERT_TRUE(postAes(*lib, "activeCert", {{"certApplyId", certIdOf(continued)}}).ok());
  expectStatus(*lib, u, "00", "2", "1");  // the old one is held but no longer in effect
  EXPECT_EQ(postAes(*lib, "qryLastActiveCert", {{"cn", u.cn}}).field("serial"), serialOf(again.get()));
  EXPECT_EQ(renew(*lib, serialOf(again.get()), csr, renewalSignature(csr, again.get(), otherRequestKey())).rtnCode,
            "4010");  // far from expiry
}

TEST(GatewayCertificates, RevocationAndExpiryFollowTheStore) {
  TestGateway gw;
  const DemoUserRef& u = demo::kAlice;
  auto lib = gw.loggedIn(u);
  X509Ptr cert = issueActive(gw, *lib, u);
  ASSERT_TRUE(cert);
  EXPECT_EQ(postAes(*lib, "revokeCert", {{"cn", u.cn}}).rtnCode, "3007");
  ASSERT_TRUE(gw.verifyIdentity(*lib, u, "Revoke"));
  EXPECT_EQ(postAes(*lib, "revokeCert", {{"cn", demo::kBob.cn}}).rtnCode, "4009");
  EXPECT_TRUE(postAes(*lib, "revokeCert", {{"cn", u.cn}}).ok());
  expectStatus(*lib, u, "10", "1", "0");
  const GatewayReply server = postAes(*lib, "qryCert", {{"cn", u.cn}});
  EXPECT_EQ(server.field("state"), "2");
  EXPECT_EQ(server.field("stateMessage"), "已廢止");
  EXPECT_EQ(server.field("serial"), serialOf(cert.get()));
  EXPECT_EQ(postAes(*lib, "qryLastActiveCert", {{"cn", u.cn}}).rtnCode, "4006");
  ASSERT_TRUE(gw.verifyIdentity(*lib, u, "Revoke"));
  EXPECT_EQ(postAes(*lib, "revokeCert", {{"cn", u.cn}}).rtnCode, "4006");

  // A certificate that runs out: no longer in effect, open for a new application.
  auto expiring = gw.loggedIn(demo::kExpiring);
  EXPECT_EQ(postAes(*expiring, "qryCert", {{"cn", demo::kBob.cn}}).rtnCode, "4009");
  gw.advance(11 * 86400);
  expiring = gw.loggedIn(demo::kExpiring);
  expectStatus(*expiring, demo::kExpiring, "10", "1", "0");
  EXPECT_EQ(postAes(*expiring, "qryCert", {{"cn", demo::kExpiring.cn}}).field("state"), "3");
  EXPECT_EQ(postAes(*expiring, "qryLastActiveCert", {{"cn", demo::kExpiring.cn}}).rtnCode, "4006");

  auto fresh = gw.loggedIn(demo::kBob);
  EXPECT_EQ(postAes(*fresh, "qryCert", {{"cn", demo::kBob.cn}}).rtnCode, "4012");
  EXPECT_EQ(postAes(*fresh, "getFnStatus", {}).rtnCode, "9001");
  EXPECT_EQ(postAes(*fresh, "getFnStatus", {{"cn", demo::kAlice.cn}}).rtnCode, "4009");
}

}  // namespace
}  // namespace karv::test
