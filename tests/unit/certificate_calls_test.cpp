// The protocol client's certificate calls against the development gateway
// when what they depend on fails or says no: they stop before sending
// anything wrong. The successful flows run through the main window.
#include <gtest/gtest.h>

#include "gateway/DemoSeed.h"
#include "support/TestGateway.h"

namespace karv::test {
namespace {

using gateway::Fault;

TEST(CertificateCalls, RenewalAndApplicationStopOnWhatTheyDependOn) {
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path.string()};  // key files go to $HOME/.plix
  TestGateway gw;
  auto lib = gw.loggedIn(demo::kExpiring);
  const std::string cn = *lib->getCn();
  std::optional<std::string> errMsg;
  std::string key = "k", cert = "c";
  StringMap info{{"x", "y"}};
  auto& g = gw.gateway();
  auto count = [&](const std::string& api) { return requestsOf(g, api).size(); };
  auto renew = [&] {
    return lib->renewCert(cn, gw.demoPfx(demo::kExpiring), gateway::kDemoPfxPassword, cert, info, errMsg);
  };

  // Application closed ("0"): a failed application, nothing sent, nothing set.
  EXPECT_EQ(lib->applyCert(cn, key, cert, info, errMsg), KARVLib::kApplyFailed);
  EXPECT_EQ(count("applyCert"), 0u);
  EXPECT_EQ(key + cert + std::to_string(info.size()), "kc1");

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
  ASSERT_EQ(count("renewCert"), 1u);
  EXPECT_EQ(requestsOf(g, "renewCert").back().params.count("hexSerial"), 0u);
}

}  // namespace
}  // namespace karv::test
