// The development gateway as a program, and what it does with requests no
// client of ours would send.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "KarvBuildConfig.h"
#include "crypto/RSAUtility.h"
#include "support/TestGateway.h"
#include "support/ToolRunner.h"
#include "system/CommonUtility.h"
#include "system/SecureFiles.h"
#include "system/TextCodec.h"

namespace karv::test {
namespace {

TEST(GatewayProgram, OptionsAndServingADataFolderUntilTerminated) {
  EXPECT_EQ(runTool({KARV_GATEWAY_PROGRAM, "--help"}).exitCode, 0);
  for (const auto& bad : {std::vector<std::string>{KARV_GATEWAY_PROGRAM, "--bogus"},
                          {KARV_GATEWAY_PROGRAM, "--port", "http"},
                          {KARV_GATEWAY_PROGRAM, "--data"}})
    EXPECT_EQ(runTool(bad).exitCode, 2) << bad[1];

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
  KARVLib lib(GatewayEndpoint{output.substr(at + 11, output.find('\n', at) - at - 11), build::kPublicKeyPem, "", 10});
  std::optional<std::string> errMsg;
  EXPECT_EQ(lib.versionCheck(errMsg), 0);
  const GatewayReply login =
      lib.postPubKey("doBtsLogin", {{"loginType", "2"}, {"idno", demo::kExpiring.idno}, {"pwd", demo::kExpiring.pwd}});
  lib.setSessionId(login.field("sessionId"));
  lib.setAesKey(login.field("aeskey"));
  EXPECT_EQ(lib.postAes("getFnStatus", {{"cn", demo::kExpiring.cn}}).field("fnStatus"), "01");
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::close(out[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Posts exactly these bytes (a body "GET" makes it a GET) and gives the reply's
// rtnCode, opened with the session key or else the public key ("" when it does not open).
std::string rawRequest(TestGateway& gw, const std::string& path, const std::string& body,
                       const std::string& contentType, const std::string& aesKey) {
  httplib::Client http("127.0.0.1", gw.gateway().port());
  auto res = body == "GET" ? http.Get(path.c_str()) : http.Post(path.c_str(), body, contentType.c_str());
  if (!res) return "";
  const auto raw = CommonUtility().base64Decode(res->body);
  const RSAUtility rsa(build::kPublicKeyPem);
  const auto plain = !raw             ? std::nullopt
                     : aesKey.empty() ? rsa.decryptWithPublicKey(*raw)
                                      : rsa.decryptWithAes(aesKey, *raw);
  std::optional<std::string> rtnCode, rtnMsg;
  if (plain)
    auto doc = ReplyEnvelope::getXmlDoc(big5ToUtf8(std::string(plain->begin(), plain->end())), rtnCode, rtnMsg);
  return rtnCode.value_or("");
}

TEST(GatewayProgram, RefusesWhatItCannotReadAndChangesNothing) {
  TestGateway gw({{"gateway.requireVerification", "N"}});
  auto anonymous = gw.client();
  for (const char* api : {"checkVersion", "getSysCfg", "doBtsLogin", "changeBtsLoginPwd"})
    EXPECT_EQ(anonymous->postPubKey(api, {}).rtnCode, "9001") << api;
  auto lib = gw.loggedIn(demo::kAlice);
  for (const char* api : {"getFnStatus", "sendAuthCode", "verifyAuthCode", "validateBtsCertDlPwd", "applyCert",
                          "renewCert", "revokeCert", "activeCert", "qryCert", "qryLastActiveCert"})
    EXPECT_EQ(lib->postAes(api, {}).rtnCode, "9001") << api;  // every API names what it misses

  const std::string key = *lib->getAesKey();
  const std::string aes = "/RACGW/api/SID:" + *lib->getSessionId() + "/";
  const auto stateBefore = readWholeFile(gw.stateFile());
  const std::string form = "application/x-www-form-urlencoded; charset=UTF-8";
  struct Case {
    std::string path, body, contentType, key, code;
  };
  const Case cases[] = {
      {"/RACGW/api/changeBtsLoginPwd", "idno=QUJDRA%3D%3D&oldPwd=&newPwd=", form, "", "9003"},  // no RSA block
      {aes + "applyCert", "csr=QUJDRA%3D%3D&userId=", form, key, "9003"},                       // not under this key
      {aes + "qryCert", R"({"cn":"x"})", "application/json", key, "9005"},
      {aes + "qryCert", "cn=%ZZ", form, key, "9005"},
      {aes + "qryCert", "cn=&cn=", form, key, "9005"},
      {aes + "qryCert", "GET", "", key, "9005"},
      {aes + "applyCert", "csr=" + std::string(100 * 1024, 'A'), form, key, "9004"},
      {"/RACGW/api/noSuchApi", "", form, "", "9006"},
      {"/RACGW/api/SID:broken", "", form, "", "9006"},
      {"/RACGW/api/qryCert", "cn=", form, key, ""},  // no session: refused in plain text
  };
  for (const auto& c : cases)
    EXPECT_EQ(rawRequest(gw, c.path, c.body, c.contentType, c.key), c.code) << c.path << " " << c.body.substr(0, 30);
  EXPECT_EQ(readWholeFile(gw.stateFile()), stateBefore);
  EXPECT_EQ(lib->postAes("getFnStatus", {{"cn", demo::kAlice.cn}}).field("fnStatus"), "10");
}

}  // namespace
}  // namespace karv::test
