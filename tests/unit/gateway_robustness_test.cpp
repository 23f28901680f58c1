#include <gtest/gtest.h>
#include <httplib.h>

#include <random>

#include "CommonUtility.h"
#include "HttpTransport.h"
#include "RSAUtility.h"
#include "SecureFiles.h"
#include "TextCodec.h"
#include "support/TestGateway.h"

namespace karv::test {
namespace {

struct RawReply {
  int httpStatus = 0;
  std::string rtnCode;  // "" when the body did not open to a reply document
};

// Posts exactly these bytes and opens the reply with the session key (or, without one, the public key).
RawReply rawRequest(TestGateway& gw, const std::string& method, const std::string& path, const std::string& body,
                    const std::string& contentType, const std::string& aesKey = "") {
  httplib::Client http("127.0.0.1", gw.gateway().port());
  auto res = method == "GET" ? http.Get(path.c_str()) : http.Post(path.c_str(), body, contentType.c_str());
  RawReply out;
  if (!res) return out;
  out.httpStatus = res->status;
  const auto raw = CommonUtility().base64Decode(res->body);
  if (!raw) return out;
  const RSAUtility rsa(gw.publicKeyPem());
  const auto plain = aesKey.empty() ? rsa.decryptWithPublicKey(*raw) : rsa.decryptWithAes(aesKey, *raw);
  if (!plain) return out;
  std::optional<std::string> rtnCode, rtnMsg;
  auto doc = ReplyEnvelope::getXmlDoc(big5ToUtf8(std::string(plain->begin(), plain->end())), rtnCode, rtnMsg);
  out.rtnCode = rtnCode.value_or("");
  return out;
}

constexpr char kForm[] = "application/x-www-form-urlencoded; charset=UTF-8";

TEST(GatewayRobustness, EveryApiNamesWhatItMisses) {
  TestGateway gw;
  auto anonymous = gw.client();
  for (const char* api : {"checkVersion", "getSysCfg", "doBtsLogin", "changeBtsLoginPwd"})
    EXPECT_EQ(postPublic(*anonymous, api, {}).rtnCode, "9001") << api;
  auto lib = gw.loggedIn(demo::kAlice);
  for (const char* api : {"getFnStatus", "sendAuthCode", "verifyAuthCode", "validateBtsCertDlPwd", "applyCert",
                          "renewCert", "revokeCert", "activeCert", "qryCert", "qryLastActiveCert"}) {
    const GatewayReply r = postAes(*lib, api, {});
    EXPECT_EQ(r.rtnCode, "9001") << api;
    EXPECT_FALSE(r.rtnMsg.value_or("").empty()) << api;
  }
  for (const char* api : {"iAmAlive", "queryContactInfo", "doLogout"})
    EXPECT_TRUE(postAes(*lib, api, {}).ok()) << api;  // nothing required
}

TEST(GatewayRobustness, BadRequestsAreRefusedAndChangeNothing) {
  TestGateway gw({{"gateway.requireVerification", "N"}});
  auto lib = gw.loggedIn(demo::kAlice);
  const std::string key = *lib->getAesKey();
  const std::string aesPath = "/RACGW/api/SID:" + *lib->getSessionId() + "/";
  const auto stateBefore = readWholeFile(gw.stateFile());
  ASSERT_TRUE(stateBefore);

  // Values that do not open: base64 of no RSA block, AES under another key.
  EXPECT_EQ(rawRequest(gw, "POST", "/RACGW/api/changeBtsLoginPwd", "idno=QUJDRA%3D%3D&oldPwd=&newPwd=", kForm).rtnCode,
            "9003");
  EXPECT_EQ(rawRequest(gw, "POST", aesPath + "applyCert", "csr=QUJDRA%3D%3D&userId=", kForm, key).rtnCode, "9003");
  EXPECT_EQ(rawRequest(gw, "POST", aesPath + "applyCert", "csr=%25%25%25&userId=", kForm, key).rtnCode, "9003");
  // Not a form: another content type, broken escapes, fields without "=", repeated names.
  EXPECT_EQ(rawRequest(gw, "POST", aesPath + "qryCert", R"({"cn":"x"})", "application/json", key).rtnCode, "9005");
  EXPECT_EQ(rawRequest(gw, "POST", aesPath + "qryCert", "cn=%ZZ", kForm, key).rtnCode, "9005");
  EXPECT_EQ(rawRequest(gw, "POST", aesPath + "qryCert", "just text", kForm, key).rtnCode, "9005");
  EXPECT_EQ(rawRequest(gw, "POST", aesPath + "qryCert", "cn=&cn=", kForm, key).rtnCode, "9005");
  EXPECT_EQ(rawRequest(gw, "GET", aesPath + "qryCert", "", "", key).rtnCode, "9005");
  // Too long: refused without reading it all into the handlers.
  const RawReply big = rawRequest(gw, "POST", aesPath + "applyCert", "csr=" + std::string(100 * 1024, 'A'), kForm, key);
  EXPECT_EQ(big.httpStatus, 413);
  EXPECT_EQ(big.rtnCode, "9004");
  // Unknown APIs, in the regime the caller can open.
  EXPECT_EQ(rawRequest(gw, "POST", "/RACGW/api/noSuchApi", "", kForm).rtnCode, "9006");
  EXPECT_EQ(rawRequest(gw, "POST", aesPath + "noSuchApi", "", kForm, key).rtnCode, "9006");
  EXPECT_EQ(rawRequest(gw, "POST", "/RACGW/api/SID:broken", "", kForm).rtnCode, "9006");
  // An AES API without a session: refused in plain text, which opens to nothing.
  const RawReply noSession = rawRequest(gw, "POST", "/RACGW/api/qryCert", "cn=", kForm, key);
  EXPECT_EQ(noSession.httpStatus, 401);
  EXPECT_EQ(noSession.rtnCode, "");

  // Random bytes, as form values and as whole bodies: refusals, never a crash.
  std::mt19937 random(7);
  for (int i = 0; i < 40; ++i) {
    std::string junk(static_cast<size_t>(random() % 600), '\0');
    for (char& c : junk) c = static_cast<char>(random());
    const std::string code = rawRequest(gw, "POST", aesPath + "renewCert",
                                        i % 2 ? junk : "hexSerial=" + HttpTransport::urlEncode(junk), kForm, key)
                                 .rtnCode;
    EXPECT_TRUE(code == "9001" || code == "9003" || code == "9005") << code;
  }

  EXPECT_EQ(readWholeFile(gw.stateFile()), stateBefore);
  const GatewayReply still = postAes(*lib, "getFnStatus", {{"cn", demo::kAlice.cn}});
  EXPECT_EQ(still.field("fnStatus"), "10");
}

TEST(GatewayRobustness, InjectedFaults) {
  TestGateway gw;
  auto lib = gw.loggedIn(demo::kAlice);
  const ParamList cn{{"cn", demo::kAlice.cn}};
  using Kind = gateway::Fault::Kind;

  gw.gateway().setFault("getFnStatus", {Kind::Reply, "7777", "測試用的拒絕", "", 0});
  const GatewayReply refused = postAes(*lib, "getFnStatus", cn);
  EXPECT_EQ(refused.rtnCode, "7777");
  EXPECT_EQ(refused.rtnMsg, "測試用的拒絕");
  EXPECT_TRUE(postAes(*lib, "qryCert", cn).status == 0);  // other APIs are untouched

  for (const auto& [kind, body] : std::initializer_list<std::pair<Kind, std::string>>{{Kind::EmptyBody, ""},
                                                                                      {Kind::Garbage, ""},
                                                                                      {Kind::RawBody, "plain words"},
                                                                                      {Kind::PlainReply, "\xff\xfe"}}) {
    gw.gateway().setFault("getFnStatus", {kind, "", "", body, 0});
    const GatewayReply r = postAes(*lib, "getFnStatus", cn);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.text.has_value()) << static_cast<int>(kind);
  }
  gw.gateway().setFault("getFnStatus",
                        {Kind::PlainReply, "", "", "<Root><rtnCode>0</rtnCode><fnStatus>21</fnStatus></Root>", 0});
  EXPECT_EQ(postAes(*lib, "getFnStatus", cn).field("fnStatus"), "21");

  // No answer at all: a transport failure for the client.
  gw.gateway().setFault("getFnStatus", {Kind::NoAnswer, "", "", "", 0});
  EXPECT_EQ(postAes(*lib, "getFnStatus", cn).status, HttpTransport::kNoResponse);
  Bytes nothing;
  EXPECT_EQ(HttpTransport().httpConnect(lib->getTargetUrl("getFnStatus"), "POST", &cn, nothing),
            HttpTransport::kNoResponse);

  // Slow answers: a short delay still answers; one beyond the client's timeout does not.
  gw.gateway().setFault("getFnStatus", {Kind::Reply, "", "", "", 50});
  EXPECT_EQ(postAes(*lib, "getFnStatus", cn).field("fnStatus"), "10");
  gw.gateway().setFault("getFnStatus", {Kind::Reply, "", "", "", 1100});
  auto impatient = gw.client(1);
  impatient->setSessionId(lib->getSessionId());
  impatient->setAesKey(lib->getAesKey());
  EXPECT_EQ(postAes(*impatient, "getFnStatus", cn).status, HttpTransport::kNoResponse);

  // The pages take faults too.
  gw.gateway().setFault("depCertForMac", {Kind::EmptyBody, "", "", "", 0});
  Bytes page;
  EXPECT_FALSE(HttpTransport().httpDownload(gw.gateway().origin() + "/RACGW/depCertForMac/template.html", page));
  gw.gateway().clearFaults();
  EXPECT_TRUE(HttpTransport().httpDownload(gw.gateway().origin() + "/RACGW/depCertForMac/template.html", page));
  EXPECT_EQ(postAes(*lib, "getFnStatus", cn).field("fnStatus"), "10");
}

}  // namespace
}  // namespace karv::test
