#include <gtest/gtest.h>

#include "KarvBuildConfig.h"
#include "support/TestGateway.h"

namespace karv::test {
namespace {

TEST(GatewayAccount, VersionCheckAndServedConfiguration) {
  TestGateway gw({{"depCert.mode", "N"}});
  auto lib = gw.client();
  std::optional<std::string> errMsg;
  EXPECT_EQ(lib->versionCheck(errMsg), 0);
  EXPECT_EQ(postPublic(*lib, "checkVersion", {{"os", "mac"}, {"version", "0.9"}}).rtnCode, "1001");
  EXPECT_EQ(postPublic(*lib, "checkVersion", {{"os", "mac"}}).rtnCode, "9001");
  gw.gateway().setVersionAccepted(false);
  EXPECT_EQ(lib->versionCheck(errMsg), KARVLib::kVersionRejected);

  const GatewayReply cfg = postPublic(*lib, "getSysCfg", {{"version", build::kClientVersion}});
  ASSERT_TRUE(cfg.ok());
  const auto map = cfg.map();
  ASSERT_TRUE(map);
  for (const char* key :
       {"default.pfxFilePath", "default.pfxFileName", "pfx.pwd.prompt", "pfx.pwd.minLen", "pfx.pwd.maxLen",
        "pfx.pwd.digit", "pfx.pwd.UCAlpha", "pfx.pwd.LCAlph", "pfx.pwd.punctuation", "depCert.selectedBrowser"})
    EXPECT_FALSE(map->at(key).empty()) << key;
  EXPECT_EQ(map->at("depCert.mode"), "N");  // the run's setting over the built-in "M"
  EXPECT_NE(map->at("default.pfxFileName").find("#userId#"), std::string::npos);
  EXPECT_EQ(map->at("depCert.templateUrl"), gw.gateway().origin() + "/RACGW/depCert/template.html");
  EXPECT_EQ(map->at("app.mac.dlUrl").rfind(gw.gateway().origin(), 0), 0u);
  for (const auto& [key, value] : *map) EXPECT_NE(key.rfind("gateway.", 0), 0u) << key << " is the gateway's own";
}

}  // namespace
}  // namespace karv::test
