#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "HttpTransport.h"
#include "KarvBuildConfig.h"
#include "SecureFiles.h"
#include "TextCodec.h"
#include "support/TestFiles.h"
#include "support/TestGateway.h"
#include "support/ToolRunner.h"

namespace karv::test {
namespace {

// What the client does to the configured template address.
std::string forThisClient(std::string url) {
  for (auto at = url.find("depCert"); at != std::string::npos; at = url.find("depCert", at + 13))
    url.replace(at, 7, "depCertForMac");
  return url;
}

TEST(GatewayPages, DeploymentTemplateAndInstaller) {
  TempDir dir;
  const std::string package = dir / "KARV-1.1.pkg";
  writeText(package, std::string("pkg\0bytes", 9));
  TestGateway gw({{"gateway.installerFile", package}});
  auto lib = gw.client();
  const GatewayReply cfg = postPublic(*lib, "getSysCfg", {{"version", "1.0"}});
  const std::string templateUrl = cfg.field("depCert.templateUrl");

  Bytes page;
  ASSERT_TRUE(HttpTransport().httpDownload(forThisClient(templateUrl), page));
  const auto text = big5ToUtf8(std::string(page.begin(), page.end()));
  ASSERT_TRUE(text) << "the template is not Big5";
  const auto script = text->find("<script>");
  const auto placeholder = text->find("#importCertInfo#");
  ASSERT_NE(script, std::string::npos);
  EXPECT_GT(placeholder, script);
  EXPECT_LT(placeholder, text->find("</script>", script));
  for (const char* part :
       {"certInfo.opType === \"deploy\"", "certInfo.opType === \"remove\"", "b64P12Cert", "匯入", "刪除"})
    EXPECT_NE(text->find(part), std::string::npos) << part;
  httplib::Client http("127.0.0.1", gw.gateway().port());
  auto res = http.Get("/RACGW/depCertForMac/template.html");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=Big5");
  // The address as configured is not this client's page.
  EXPECT_FALSE(HttpTransport().httpDownload(templateUrl, page));

  Bytes installer;
  ASSERT_TRUE(HttpTransport().httpDownload(cfg.field("app.mac.dlUrl"), installer));
  EXPECT_EQ(std::string(installer.begin(), installer.end()), std::string("pkg\0bytes", 9));
  const auto recorded = gw.gateway().requests();
  EXPECT_EQ(recorded.back().api, "download");
}

TEST(GatewayProgram, HelpAndOptions) {
  const ToolResult help = runTool({KARV_GATEWAY_PROGRAM, "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.output.rfind("Usage: karv-gateway", 0), 0u) << help.output;
  for (const char* option : {"--port", "--data", "--config", "--users", "--no-tls", "--help"})
    EXPECT_NE(help.output.find(option), std::string::npos) << option;
  EXPECT_EQ(runTool({KARV_GATEWAY_PROGRAM, "--bogus"}).exitCode, 2);
  EXPECT_EQ(runTool({KARV_GATEWAY_PROGRAM, "--port", "http"}).exitCode, 2);
  EXPECT_EQ(runTool({KARV_GATEWAY_PROGRAM, "--data"}).exitCode, 2);
}

TEST(GatewayProgram, ServesADataFolderUntilTerminated) {
  TempDir dir;
  {
    // A data folder the library made (CA, state, demo certificates): the program takes it up.
    TestGateway made;
    std::filesystem::copy(made.dataDir(), dir.path, std::filesystem::copy_options::recursive);
  }
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    ::execl(KARV_GATEWAY_PROGRAM, KARV_GATEWAY_PROGRAM, "--port", "0", "--no-tls", "--data", dir.path.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  std::string output;
  char buffer[512];
  for (ssize_t n; output.find("outbox.txt") == std::string::npos && (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
    output.append(buffer, static_cast<size_t>(n));
  const auto at = output.find("serving on ");
  ASSERT_NE(at, std::string::npos) << output;
  const std::string baseUrl = output.substr(at + 11, output.find('\n', at) - at - 11);
  KARVLib lib(GatewayEndpoint{baseUrl, build::kPublicKeyPem, "", 10});
  std::optional<std::string> errMsg;
  EXPECT_EQ(lib.versionCheck(errMsg), 0);
  const GatewayReply login =
      postPublic(lib, "doBtsLogin", {{"loginType", "2"}, {"idno", demo::kExpiring.idno}, {"pwd", demo::kExpiring.pwd}});
  lib.setSessionId(login.field("sessionId"));
  lib.setAesKey(login.field("aeskey"));
  EXPECT_EQ(postAes(lib, "getFnStatus", {{"cn", demo::kExpiring.cn}}).field("fnStatus"), "01");
  EXPECT_NE(output.find(dir / "outbox.txt"), std::string::npos);
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::close(out[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(readWholeFile(dir / "state.txt").has_value());
}

TEST(GatewayProgram, ServesHttpsWithTheDevelopmentTlsCa) {
  auto options = gateway::GatewayOptions::fromBuild();
  options.port = 0;
  options.consoleOutbox = false;
  gateway::DevGateway gw(options);
  ASSERT_TRUE(gw.start()) << gw.lastError();
  EXPECT_EQ(gw.baseUrl().rfind("https://127.0.0.1:", 0), 0u);
  KARVLib trusted(GatewayEndpoint{gw.baseUrl(), build::kPublicKeyPem, build::kExtraCaPem, 10});
  std::optional<std::string> errMsg;
  EXPECT_EQ(trusted.versionCheck(errMsg), 0);
  KARVLib untrusted(GatewayEndpoint{gw.baseUrl(), build::kPublicKeyPem, "", 10});
  EXPECT_EQ(untrusted.versionCheck(errMsg), KARVLib::kVersionNoReply);  // TLS is verified
}

}  // namespace
}  // namespace karv::test
