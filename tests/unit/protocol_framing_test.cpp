// The client's framing against the development gateway over loopback.
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "KarvBuildConfig.h"
#include "crypto/RSAUtility.h"
#include "gateway/DevGateway.h"
#include "protocol/HttpTransport.h"
#include "protocol/KARVLib.h"
#include "support/TestFiles.h"
#include "support/ToolRunner.h"
#include "system/CommonUtility.h"
#include "system/PercentEncoding.h"
#include "system/TextCodec.h"

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

TEST_F(FramingTest, BothRegimesSendEmptyValuesAndLeaveAbsentOnesOut) {
  KARVLib lib = client();
  ParamList params{{"empty", ""}, {"cn", "王小明"}, {"dropped", "x"}};
  params.put("dropped", std::nullopt);
  std::optional<std::string> reply;
  ASSERT_EQ(lib.httpPubKeyEncPost("echoRsa", params, reply), 0);
  auto sent = gw.requests().back();
  EXPECT_EQ(sent.contentType, "application/x-www-form-urlencoded; charset=UTF-8");
  EXPECT_EQ(sent.body.find("dropped"), std::string::npos);
  EXPECT_EQ(sent.body.rfind("empty="), sent.body.size() - 6) << sent.body;  // last field, nothing behind "="
  EXPECT_EQ(sent.params, (std::map<std::string, std::string>{{"empty", ""}, {"cn", "王小明"}}));
  ASSERT_TRUE(reply);
  EXPECT_TRUE(test::containsAll(*reply, {"<cn>王小明</cn>", "成功：中文訊息"}));  // Big5 reply decoded

  // The AES regime needs the session key; with it the session travels in the URL.
  reply.reset();
  EXPECT_EQ(lib.httpAesEncPost("echoAes", ParamList{{"cn", "x"}}, reply), 1);
  EXPECT_EQ(gw.requests().size(), 1u);
  EXPECT_FALSE(reply);
  openSession(lib);
  ASSERT_EQ(lib.httpAesEncPost("echoAes", ParamList{{"cn", "陳大文"}, {"blank", ""}}, reply), 0);
  sent = gw.requests().back();
  EXPECT_EQ(sent.path, "/RACGW/api/SID:S123/echoAes");
  EXPECT_EQ(sent.params.at("cn"), "陳大文");
  ASSERT_TRUE(reply);
  EXPECT_NE(reply->find("<cn>陳大文</cn>"), std::string::npos);
}

TEST_F(FramingTest, FormEncodingAndMethods) {
  const std::pair<std::string, std::string> encoded[] = {
      {"ab+c/d==", "ab%2Bc%2Fd%3D%3D"},
      {"Az09-._~", "Az09-._~"},
      {"!*'();:@&=+$,/?%#[] ", "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%20"},
      {"中", "%E4%B8%AD"},
  };
  for (const auto& [text, escaped] : encoded) EXPECT_EQ(percentEncode(text), escaped);
  const ParamList params{{"a", "1+1"}, {"b", ""}};
  EXPECT_EQ(HttpTransport::getHttpSendData(&params), "a=1%2B1&b=");

  // GET carries the parameters in the URL; other methods send nothing.
  HttpTransport http;
  Bytes body;
  ASSERT_EQ(http.httpConnect(gw.baseUrl() + "checkVersion", "GET", &params, body), 0);
  const auto sent = gw.requests().back();
  EXPECT_EQ(sent.method + " " + sent.query + " " + sent.body, "GET a=1%2B1&b= ");
  EXPECT_EQ(http.httpConnect(gw.baseUrl() + "checkVersion", "PUT", &params, body), 1);
  EXPECT_EQ(gw.requests().size(), 1u);
}

// A body over its limit is no response, whether its length is announced or
// only shows as it streams; an option libcurl refuses sends nothing at all.
TEST_F(FramingTest, OversizedBodiesAndRefusedOptions) {
  KARVLib lib = client();
  for (const size_t size : {HttpTransport::kMaxReplyBytes, HttpTransport::kMaxReplyBytes + 1}) {
    gw.setFault("echoRsa", Fault::rawBody(std::string(size, 'A')));
    std::optional<std::string> reply;
    EXPECT_EQ(lib.httpPubKeyEncPost("echoRsa", {}, reply), size > HttpTransport::kMaxReplyBytes ? -1 : 0) << size;
    EXPECT_FALSE(reply);
  }

  httplib::Server web;
  web.Get("/sized",
          [](const httplib::Request&, httplib::Response& res) { res.set_content("0123456789", "text/plain"); });
  web.Get("/streamed", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
      return offset < 10 ? sink.write("01234", 5) : (sink.done(), true);
    });
  });
  const int port = web.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { web.listen_after_bind(); });
  while (!web.is_running()) std::this_thread::yield();
  const std::string origin = "http://127.0.0.1:" + std::to_string(port);
  for (const char* path : {"/sized", "/streamed"}) {
    for (const auto& [limit, status] : {std::pair{size_t{10}, 0}, std::pair{size_t{9}, -1}}) {
      Bytes body;
      EXPECT_EQ(HttpTransport().httpConnect(origin + path, "GET", nullptr, body, nullptr, limit), status)
          << path << " " << limit;
      EXPECT_EQ(body.size(), status == 0 ? 10u : 0u);
    }
  }
  web.stop();
  serving.join();

  gw.clearRequests();
  Bytes body;
  const std::string overlong = gw.baseUrl() + "echoRsa?" + std::string(8'000'001, 'a');  // libcurl takes up to 8 MB
  EXPECT_EQ(HttpTransport().httpConnect(overlong, "GET", nullptr, body), HttpTransport::kNotSent);
  EXPECT_TRUE(gw.requests().empty());
}

// A reply of two RSA blocks in which one does not open still gives the other.
TEST_F(FramingTest, TwoBlockReplyWithOneBadBlockKeepsTheGoodOne) {
  gateway::ServerCrypto server(std::string(build::kDevPkiDir) + "/gateway-rsa.pem");
  auto open = [&](const std::string& plain, std::initializer_list<size_t> damaged) -> std::optional<std::string> {
    auto sealed = CommonUtility().base64Decode(server.sealRsaReply(plain));
    for (size_t at : damaged) sealed->at(at) ^= 0xFF;
    const auto opened = RSAUtility(build::kPublicKeyPem).decryptWithPublicKey(*sealed);
    return opened ? std::optional<std::string>(std::string(opened->begin(), opened->end())) : std::nullopt;
  };
  const std::string full(245, 'a');  // fills the first block
  EXPECT_EQ(open(full + "tail", {}), full + "tail");
  EXPECT_EQ(open(full + "tail", {10}), "tail");
  EXPECT_EQ(open(full + "tail", {10, 300}), std::nullopt);
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

// The development CA signs for this machine only: what it issues for any
// other name does not verify (checked with the openssl tool).
TEST(TlsTransport, DevelopmentCaIsNameConstrainedToLoopback) {
  test::TempDir dir;
  const std::string pki = build::kDevPkiDir;
  const std::string ca = pki + "/tls-ca.pem";
  EXPECT_EQ(test::runTool({"openssl", "verify", "-CAfile", ca, pki + "/tls-server.pem"}).exitCode, 0);
  const std::string key = dir / "leaf-key.pem";
  const std::string csr = dir / "leaf.csr";
  ASSERT_EQ(test::runTool({"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                           "-keyout", key, "-out", csr, "-subj", "/CN=leaf"})
                .exitCode,
            0);
  for (const auto& [san, verifies] :
       {std::pair{"DNS:localhost", true}, std::pair{"IP:127.0.0.1", true}, std::pair{"DNS:ra.example.com", false},
        std::pair{"IP:10.0.0.1", false}, std::pair{"DNS:localhost.example.com", false}}) {
    test::writeText(dir / "leaf.ext", std::string("subjectAltName=") + san + "\n");
    const std::string leaf = dir / "leaf.pem";
    ASSERT_EQ(
        test::runTool({"openssl", "x509", "-req", "-in", csr, "-CA", ca, "-CAkey", pki + "/tls-ca-key.pem", "-CAserial",
                       dir / "serial.srl", "-CAcreateserial", "-days", "1", "-extfile", dir / "leaf.ext", "-out", leaf})
            .exitCode,
        0)
        << san;
    const test::ToolResult verify = test::runTool({"openssl", "verify", "-CAfile", ca, leaf});
    EXPECT_EQ(verify.exitCode == 0, verifies) << san << ": " << verify.output;
    EXPECT_EQ(verify.output.find("permitted subtree violation") != std::string::npos, !verifies) << verify.output;
  }
}

}  // namespace
}  // namespace karv
