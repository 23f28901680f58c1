// The client's framing against the development gateway over loopback.
#include <gtest/gtest.h>

#include "CommonUtility.h"
#include "DevGateway.h"
#include "HttpTransport.h"
#include "KARVLib.h"
#include "KarvBuildConfig.h"
#include "Log.h"
#include "RSAUtility.h"
#include "TextCodec.h"

namespace karv {
namespace {

using gateway::ApiReply;
using gateway::ApiRequest;
using gateway::DevGateway;
using gateway::Fault;
using gateway::GatewayOptions;
using gateway::Regime;

GatewayOptions plainLoopback() {
  GatewayOptions o = GatewayOptions::fromBuild();
  o.port = 0;
  o.tls = false;
  return o;
}

class FramingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gw.start());
    // An echo API in each regime: the reply lists the decrypted parameters.
    for (auto [name, regime] : {std::pair{"echoRsa", Regime::PublicKey}, std::pair{"echoAes", Regime::Aes}}) {
      gw.registerApi(name, regime, [](ApiRequest& r) {
        ApiReply reply = ApiReply::ok("成功：中文訊息");
        for (const auto& [k, v] : r.params) reply.add(k, v);
        return reply;
      });
    }
  }
  KARVLib client() { return KARVLib(GatewayEndpoint{gw.baseUrl(), build::kPublicKeyPem, "", 5}); }
  // Gives the client a session the gateway knows, as a login would.
  void openSession(KARVLib& lib, const std::string& sid = "S123", const std::string& key = "0123456789abcdef") {
    gw.addSession({sid, key, "demo"});
    lib.setSessionId(sid);
    lib.setAesKey(key);
  }
  DevGateway gw{plainLoopback()};
};

TEST_F(FramingTest, TargetUrlWithAndWithoutSession) {
  KARVLib lib = client();
  EXPECT_EQ(lib.getTargetUrl("checkVersion"), gw.baseUrl() + "checkVersion");
  lib.setSessionId(std::string());
  EXPECT_EQ(lib.getTargetUrl("checkVersion"), gw.baseUrl() + "checkVersion");
  lib.setSessionId("A1B2");
  EXPECT_EQ(lib.getTargetUrl("getFnStatus"), gw.baseUrl() + "SID:A1B2/getFnStatus");
}

TEST_F(FramingTest, EmptyValuesTravelEmptyAbsentOnesNotAtAll) {
  KARVLib lib = client();
  ParamList params{{"empty", ""}, {"cn", "王小明"}, {"dropped", "x"}};
  params.put("dropped", std::nullopt);
  std::optional<std::string> reply;
  ASSERT_EQ(lib.httpPubKeyEncPost("echoRsa", params, reply), 0);
  const auto sent = gw.requests().back();
  EXPECT_EQ(sent.path, "/RACGW/api/echoRsa");
  EXPECT_EQ(sent.contentType, "application/x-www-form-urlencoded; charset=UTF-8");
  EXPECT_EQ(sent.body.find("dropped"), std::string::npos);
  EXPECT_EQ(sent.body.rfind("empty="), sent.body.size() - 6) << sent.body;  // last field, nothing behind "="
  EXPECT_EQ(sent.params.at("empty"), "");
  EXPECT_EQ(sent.params.at("cn"), "王小明");
  ASSERT_TRUE(reply);
  EXPECT_NE(reply->find("<cn>王小明</cn>"), std::string::npos);
  EXPECT_NE(reply->find("成功：中文訊息"), std::string::npos);  // Big5 reply decoded
}

TEST_F(FramingTest, FormEncodingKeepsOnlyUnreservedCharacters) {
  EXPECT_EQ(HttpTransport::urlEncode("ab+c/d=="), "ab%2Bc%2Fd%3D%3D");
  EXPECT_EQ(HttpTransport::urlEncode("Az09-._~"), "Az09-._~");
  EXPECT_EQ(HttpTransport::urlEncode("!*'();:@&=+$,/?%#[] "),
            "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%20");
  EXPECT_EQ(HttpTransport::urlEncode("中"), "%E4%B8%AD");
  EXPECT_EQ(HttpTransport::getHttpSendData(nullptr), "");
  const ParamList params{{"a", ""}, {"b", "ab+c/d=="}};
  EXPECT_EQ(HttpTransport::getHttpSendData(&params), "a=&b=ab%2Bc%2Fd%3D%3D");
}

TEST_F(FramingTest, GetCarriesParametersInUrlAndOtherMethodsSendNothing) {
  HttpTransport http;
  const ParamList params{{"a", "1+1"}, {"b", ""}};
  Bytes body;
  ASSERT_EQ(http.httpConnect(gw.baseUrl() + "checkVersion", "GET", &params, body), 0);
  auto sent = gw.requests().back();
  EXPECT_EQ(sent.method, "GET");
  EXPECT_EQ(sent.query, "a=1%2B1&b=");
  EXPECT_EQ(sent.body, "");
  EXPECT_EQ(sent.contentType, "application/x-www-form-urlencoded; charset=UTF-8");

  const size_t before = gw.requests().size();
  EXPECT_EQ(http.httpConnect(gw.baseUrl() + "checkVersion", "PUT", &params, body), 1);
  EXPECT_EQ(http.httpConnect(gw.baseUrl() + "checkVersion", "get", &params, body), 1);
  EXPECT_EQ(gw.requests().size(), before);
}

TEST_F(FramingTest, AesRegimeNeedsSessionKeyAndRoundTrips) {
  KARVLib lib = client();
  std::optional<std::string> reply;
  EXPECT_EQ(lib.httpAesEncPost("echoAes", ParamList{{"cn", "x"}}, reply), 1);
  EXPECT_TRUE(gw.requests().empty());
  EXPECT_FALSE(reply);

  openSession(lib);
  ASSERT_EQ(lib.httpAesEncPost("echoAes", ParamList{{"cn", "陳大文"}, {"blank", ""}}, reply), 0);
  const auto sent = gw.requests().back();
  EXPECT_EQ(sent.path, "/RACGW/api/SID:S123/echoAes");
  EXPECT_EQ(sent.params.at("cn"), "陳大文");
  ASSERT_TRUE(reply);
  EXPECT_NE(reply->find("<cn>陳大文</cn>"), std::string::npos);
}

TEST_F(FramingTest, VersionCheckThreeResults) {
  KARVLib lib = client();
  std::optional<std::string> errMsg = "untouched";
  EXPECT_EQ(lib.versionCheck(errMsg), 0);
  EXPECT_EQ(gw.requests().back().params.at("os"), "mac");
  EXPECT_EQ(gw.requests().back().params.at("version"), "1.0");

  gw.setVersionAccepted(false);
  EXPECT_EQ(lib.versionCheck(errMsg), KARVLib::kVersionRejected);
  gw.setVersionAccepted(true);
  gw.setFault("checkVersion", Fault::reply("42", "任何非零代碼"));
  EXPECT_EQ(lib.versionCheck(errMsg), KARVLib::kVersionRejected);
  gw.setFault("checkVersion", Fault::plainReply("not xml at all"));
  EXPECT_EQ(lib.versionCheck(errMsg), KARVLib::kVersionRejected);
  EXPECT_EQ(errMsg, "untouched");

  const int port = gw.port();
  gw.stop();
  KARVLib unreachable(
      GatewayEndpoint{"http://127.0.0.1:" + std::to_string(port) + "/RACGW/api/", build::kPublicKeyPem, "", 5});
  EXPECT_EQ(unreachable.versionCheck(errMsg), KARVLib::kVersionNoReply);
}

// Every kind of bad reply takes the rejection path: status 0, no reply text.
TEST_F(FramingTest, BadRepliesNeverCountAsSuccess) {
  KARVLib lib = client();
  openSession(lib);
  // A block sealed with another private key, and AES under another key.
  gateway::ServerCrypto stranger(std::string(build::kDevPkiDir) + "/tls-server-key.pem");
  ASSERT_TRUE(stranger.loaded());
  const std::string otherKeyReply = stranger.sealRsaReply("<Root><rtnCode>0</rtnCode></Root>");
  const std::string otherAesReply = stranger.sealAesReply("fedcba9876543210", "<Root><rtnCode>0</rtnCode></Root>");
  const std::string notBig5 = "<Root><rtnCode>0</rtnCode><rtnMsg>\x81\x30</rtnMsg></Root>";
  const std::vector<std::pair<std::string, Fault>> cases = {
      {"empty body", Fault::emptyBody()},
      {"not base64", Fault::garbage()},
      {"line break", Fault::rawBody(otherKeyReply.substr(0, 64) + "\n" + otherKeyReply.substr(64))},
      {"wrong RSA key", Fault::rawBody(otherKeyReply)},
      {"wrong AES key / padding", Fault::rawBody(otherAesReply)},
      {"not Big5", Fault::plainReply(notBig5)},
  };
  for (const auto& [what, fault] : cases) {
    for (const char* api : {"echoRsa", "echoAes"}) {
      gw.setFault(api, fault);
      std::optional<std::string> reply;
      const int32_t status =
          std::string(api) == "echoRsa" ? lib.httpPubKeyEncPost(api, {}, reply) : lib.httpAesEncPost(api, {}, reply);
      EXPECT_EQ(status, 0) << what << " " << api;
      EXPECT_FALSE(reply.has_value()) << what << " " << api;
    }
  }
  // Replies that open but are no good envelope: no document, or no rtnCode.
  for (const std::string text : {"plain words, not XML", "<Root><rtnMsg>no code</rtnMsg></Root>"}) {
    gw.setFault("echoRsa", Fault::plainReply(text));
    std::optional<std::string> reply;
    ASSERT_EQ(lib.httpPubKeyEncPost("echoRsa", {}, reply), 0);
    std::optional<std::string> code;
    std::optional<std::string> msg = "caller's";
    auto doc = ReplyEnvelope::getXmlDoc(reply, code, msg);
    EXPECT_NE(code, "0") << text;
  }
}

TEST_F(FramingTest, NoAnswerAndTimeoutAreTransportFailures) {
  KARVLib lib(GatewayEndpoint{gw.baseUrl(), build::kPublicKeyPem, "", 1});
  gw.setFault("echoRsa", Fault::noAnswer());
  std::optional<std::string> reply;
  EXPECT_EQ(lib.httpPubKeyEncPost("echoRsa", {}, reply), -1);
  gw.setFault("echoRsa", Fault::slow(1500));
  EXPECT_EQ(lib.httpPubKeyEncPost("echoRsa", {}, reply), -1);
  EXPECT_FALSE(reply);
}

TEST_F(FramingTest, TwoBlockReplyWithOneBadBlockKeepsTheGoodOne) {
  gateway::ServerCrypto server(std::string(build::kDevPkiDir) + "/gateway-rsa.pem");
  const std::string first(245, 'a');
  const std::string second = "second block";
  auto good = CommonUtility().base64Decode(server.sealRsaReply(first + second));
  ASSERT_TRUE(good);
  ASSERT_EQ(good->size(), 512u);
  RSAUtility rsa;
  auto both = rsa.decryptWithPublicKey(*good);
  ASSERT_TRUE(both);
  EXPECT_EQ(std::string(both->begin(), both->end()), first + second);
  // 245 plain bytes fill the first block; damage it and the second survives.
  auto sealed = CommonUtility().base64Decode(server.sealRsaReply(std::string(245, 'x') + "tail"));
  (*sealed)[10] ^= 0xFF;
  auto rest = rsa.decryptWithPublicKey(*sealed);
  ASSERT_TRUE(rest);
  EXPECT_EQ(std::string(rest->begin(), rest->end()), "tail");
  (*sealed)[300] ^= 0xFF;
  EXPECT_FALSE(rsa.decryptWithPublicKey(*sealed).has_value());
}

TEST_F(FramingTest, SecretsNeverReachTheLog) {
  std::vector<std::string> lines;
  setLogSink([&](std::string_view l) { lines.emplace_back(l); });
  KARVLib lib = client();
  std::optional<std::string> reply;
  (void)lib.httpPubKeyEncPost("echoRsa",
                              ParamList{{"pwd", "Pa55word!"}, {"newPwd", "N3wPa55!"}, {"idno", "A123456789"}}, reply);
  openSession(lib, "S9", "K3yK3yK3yK3yK3y!");
  (void)lib.httpAesEncPost("echoAes", ParamList{{"authcode", "493817"}}, reply);
  setLogSink({});
  for (const auto& l : lines) {
    for (const char* secret : {"Pa55word!", "N3wPa55!", "493817", "K3yK3yK3yK3yK3y!"})
      EXPECT_EQ(l.find(secret), std::string::npos) << l;
  }
  auto has = [&](const std::string& l) { return std::find(lines.begin(), lines.end(), l) != lines.end(); };
  EXPECT_TRUE(has("http param: pwd=***"));
  EXPECT_TRUE(has("http param: idno=A123456789"));  // not a secret: the line stays useful
  for (const char* fixed : {"begin http", "prepare http param data", "set http connection", "set http contentType",
                            "ready to send", "http response text get"})
    EXPECT_TRUE(has(fixed)) << fixed;
}

TEST(TlsTransport, VerifiesGatewayCertificate) {
  GatewayOptions o = GatewayOptions::fromBuild();
  o.port = 0;
  DevGateway gw(o);
  ASSERT_TRUE(gw.start());
  std::optional<std::string> errMsg;
  KARVLib trusted(GatewayEndpoint{gw.baseUrl(), build::kPublicKeyPem, build::kExtraCaPem, 5});
  EXPECT_EQ(trusted.versionCheck(errMsg), 0);
  // Without the development CA the certificate is not trusted: no reply.
  KARVLib untrusted(GatewayEndpoint{gw.baseUrl(), build::kPublicKeyPem, "", 5});
  EXPECT_EQ(untrusted.versionCheck(errMsg), KARVLib::kVersionNoReply);
  // The right CA but an address the certificate does not name.
  o.host = "127.0.0.2";
  DevGateway elsewhere(o);
  ASSERT_TRUE(elsewhere.start());
  KARVLib mismatch(GatewayEndpoint{elsewhere.baseUrl(), build::kPublicKeyPem, build::kExtraCaPem, 5});
  EXPECT_EQ(mismatch.versionCheck(errMsg), KARVLib::kVersionNoReply);
}

}  // namespace
}  // namespace karv
