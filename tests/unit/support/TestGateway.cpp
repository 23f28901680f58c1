#include "TestGateway.h"

#include <gtest/gtest.h>

#include <ctime>

#include "KarvBuildConfig.h"
#include "system/SecureFiles.h"

namespace karv::test {
TestGateway::TestGateway(Scheme scheme, Settings config) : scheme_(scheme), config_(config) { startGateway(); }

TestGateway::~TestGateway() {
  if (gateway_) gateway_->stop();
}

void TestGateway::startGateway() {
  gateway::GatewayOptions options;
  if (scheme_ == Scheme::kHttps) {
    const auto secure = gateway::GatewayOptions::fromBuild();
    options.tls = true;
    options.tlsCertFile = secure.tlsCertFile;
    options.tlsKeyFile = secure.tlsKeyFile;
  }
  options.dataDir = dir_.path.string();
  options.config = config_;
  options.consoleOutbox = false;
  options.clock = [offset = offset_] { return std::time(nullptr) + offset->load(); };
  gateway_ = std::make_unique<gateway::DevGateway>(options);
  if (!gateway_->start()) ADD_FAILURE() << "gateway did not start: " << gateway_->lastError();
}

void TestGateway::restart() {
  gateway_->stop();
  gateway_.reset();
  startGateway();
}

std::unique_ptr<KARVLib> TestGateway::client(long timeoutSeconds) const {
  const std::string trusted = scheme_ == Scheme::kHttps ? build::kExtraCaPem : "";
  return std::make_unique<KARVLib>(GatewayEndpoint{gateway_->baseUrl(), build::kPublicKeyPem, trusted, timeoutSeconds});
}

GatewayReply TestGateway::login(KARVLib& lib, const DemoUserRef& user) const {
  GatewayReply reply = lib.postPubKey("doBtsLogin", {{"loginType", "2"}, {"idno", user.idno}, {"pwd", user.pwd}});
  if (reply.rtnCode == "0" || reply.rtnCode == "999") {
    lib.setUserIdno(reply.field("idno"));
    lib.setAgcode(reply.field("brnhId"));
    lib.setAccount(reply.field("acctNo"));
    lib.setAesKey(reply.field("aeskey"));
    lib.setSessionId(reply.field("sessionId"));
    lib.setCn(reply.field("cn"));
  }
  return reply;
}

std::unique_ptr<KARVLib> TestGateway::loggedIn(const DemoUserRef& user) const {
  auto lib = client();
  const GatewayReply reply = login(*lib, user);
  EXPECT_TRUE(reply.accepted()) << "login of " << user.idno << ": " << reply.rtnMsg.value_or("(no reply)");
  return lib;
}

bool TestGateway::verifyIdentity(const KARVLib& lib, const DemoUserRef& user, const std::string& opType) const {
  const GatewayReply sent = lib.postAes("sendAuthCode", {{"idno", user.idno},
                                                         {"agCode", user.brnhId},
                                                         {"account", user.acctNo},
                                                         {"authType", "1"},
                                                         {"opType", opType},
                                                         {"mail", user.email}});
  const auto code = lastOutboxCode();
  if (!sent.accepted() || !code) return false;
  return lib
      .postAes("verifyAuthCode", {{"idno", user.idno},
                                  {"agCode", user.brnhId},
                                  {"account", user.acctNo},
                                  {"authcode", *code},
                                  {"opType", opType}})
      .accepted();
}

std::optional<std::string> TestGateway::lastOutboxCode() const {
  const auto text = readWholeFile(outboxFile());
  if (!text) return std::nullopt;
  const auto at = text->rfind("code=");
  if (at == std::string::npos) return std::nullopt;
  const auto end = text->find('\n', at);
  return text->substr(at + 5, end == std::string::npos ? std::string::npos : end - at - 5);
}

std::string TestGateway::demoPfx(const DemoUserRef& user) const { return gateway::demoPfxPath(dataDir(), user.idno); }

}  // namespace karv::test
