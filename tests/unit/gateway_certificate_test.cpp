// The development gateway's certificate rules that the client's own flows
// never meet: what it refuses, and how its store moves on with time. The
// requests and signatures are made with OpenSSL directly, not by the client.
#include <gtest/gtest.h>

#include "DemoSeed.h"
#include "support/TestPki.h"
#include "support/TestGateway.h"

namespace karv::test {
namespace {

std::string codeOf(const KARVLib& lib, const std::string& api, const ParamList& params) {
  return lib.postAes(api, params).rtnCode.value_or("");
}

std::string fnStatus(const KARVLib& lib, const DemoUserRef& u) {
  const GatewayReply s = lib.postAes("getFnStatus", {{"cn", u.cn}});
  return s.field("fnStatus") + "/" + s.field("certCount") + "/" + s.field("effectCertCount");
}

TEST(GatewayCertificates, ApplicationActivationAndRevocationRefusals) {
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
  EXPECT_EQ(codeOf(*gw.loggedIn(demo::kBob), "qryCert", {{"cn", demo::kBob.cn}}), "4012");  // never had one
}

// The client's flows prove that a good signature passes; this proves that
// nothing else does, so those flows mean something.
TEST(GatewayCertificates, RenewalNeedsSignatureOfCurrentCertificateAndExpiryEndsIt) {
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
      {"not base64", {{"hexSerial", serial}, {"csr", csr}, {"sign", "!!not base64!!"}}, "4005"},
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

}  // namespace
}  // namespace karv::test
