#include "DevGateway.h"

#include "KarvBuildConfig.h"
#include "Log.h"
#include "TextCodec.h"

#include <httplib.h>

#include <chrono>
#include <regex>

namespace karv::gateway {
namespace {
constexpr char kApiPrefix[] = "/RACGW/api/";
constexpr size_t kMaxRecorded = 200;

// "/RACGW/api/SID:abc/getFnStatus" -> ("abc", "getFnStatus").
bool splitApiPath(const std::string& path, std::optional<std::string>& sid, std::string& api) {
  std::string rest = path.substr(sizeof kApiPrefix - 1);
  if (rest.rfind("SID:", 0) == 0) {
    const auto slash = rest.find('/');
    if (slash == std::string::npos) return false;
    sid = rest.substr(4, slash - 4);
    rest = rest.substr(slash + 1);
  }
  api = rest;
  return !api.empty() && api.find('/') == std::string::npos;
}
}  // namespace

GatewayOptions GatewayOptions::fromBuild() {
  GatewayOptions o;
  const std::string pki = build::kDevPkiDir;
  o.port = build::kDevGatewayPort;
  o.tls = true;
  o.rsaKeyFile = pki + "/gateway-rsa.pem";
  o.tlsCertFile = pki + "/tls-server.pem";
  o.tlsKeyFile = pki + "/tls-server-key.pem";
  return o;
}

DevGateway::DevGateway(GatewayOptions options) : options_(std::move(options)) {
  if (options_.rsaKeyFile.empty()) options_.rsaKeyFile = GatewayOptions::fromBuild().rsaKeyFile;
  registerBuiltins();
}

DevGateway::~DevGateway() { stop(); }

std::string DevGateway::origin() const {
  return std::string(options_.tls ? "https" : "http") + "://" + options_.host + ":" + std::to_string(port_);
}

std::string DevGateway::baseUrl() const { return origin() + kApiPrefix; }

void DevGateway::registerApi(const std::string& name, Regime regime, ApiHandler handler) {
  std::lock_guard lock(mutex_);
  apis_[name] = ApiEntry{regime, std::move(handler)};
}

void DevGateway::registerBuiltins() {
  apis_["checkVersion"] = {Regime::PublicKey, [this](ApiRequest& r) {
                             const bool known = r.params.count("os") && r.params.count("version");
                             if (!known) return ApiReply::reject("9001", "缺少參數");
                             if (!versionAccepted_ || r.params["version"] != build::kClientVersion)
                               return ApiReply::reject("1001", "用戶端版本過舊,請更新");
                             return ApiReply::ok();
                           }};
}

bool DevGateway::bind() {
  crypto_ = std::make_unique<ServerCrypto>(options_.rsaKeyFile);
  if (!crypto_->loaded()) return false;
  if (options_.tls)
    server_ = std::make_unique<httplib::SSLServer>(options_.tlsCertFile.c_str(), options_.tlsKeyFile.c_str());
  else
    server_ = std::make_unique<httplib::Server>();
  if (!server_->is_valid()) return false;
  server_->set_payload_max_length(options_.maxBodyBytes);
  server_->Post(R"(/RACGW/api/.*)", [this](const httplib::Request& req, httplib::Response& res) { handleApi(req, res); });
  server_->Get(R"(/RACGW/api/.*)", [this](const httplib::Request& req, httplib::Response& res) { handleApi(req, res); });
  if (options_.port == 0) {
    port_ = server_->bind_to_any_port(options_.host.c_str());
    return port_ > 0;
  }
  port_ = options_.port;
  return server_->bind_to_port(options_.host.c_str(), port_);
}

bool DevGateway::start() {
  if (!bind()) return false;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // The socket already listens; wait for the accept loop so stop() cannot race it.
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void DevGateway::stop() {
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
}

void DevGateway::setFault(const std::string& api, Fault fault) {
  std::lock_guard lock(mutex_);
  faults_[api] = std::move(fault);
}

void DevGateway::clearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

std::vector<RecordedRequest> DevGateway::requests() const {
  std::lock_guard lock(mutex_);
  return recorded_;
}

void DevGateway::clearRequests() {
  std::lock_guard lock(mutex_);
  recorded_.clear();
}

void DevGateway::setVersionAccepted(bool accepted) {
  std::lock_guard lock(mutex_);
  versionAccepted_ = accepted;
}

void DevGateway::addSession(Session session) {
  std::lock_guard lock(mutex_);
  sessions_[session.id] = std::move(session);
}

std::string DevGateway::seal(Regime regime, const Session* session, const std::string& plain, bool big5) const {
  std::string bytes = plain;
  if (big5) {
    auto encoded = utf8ToBig5(plain);
    if (!encoded) return {};
    bytes = *encoded;
  }
  if (regime == Regime::Aes) return session ? crypto_->sealAesReply(session->aesKey, bytes) : std::string();
  return crypto_->sealRsaReply(bytes);
}

bool DevGateway::applyFault(const std::string& api, const Session* session, Regime regime, httplib::Response& res) {
  auto it = faults_.find(api);
  if (it == faults_.end()) return false;
  const Fault& f = it->second;
  if (f.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(f.delayMs));
  switch (f.kind) {
    case Fault::Kind::Reply:
      if (f.rtnCode.empty() && f.rtnMsg.empty()) return false;  // a pure delay
      res.set_content(seal(regime, session, ApiReply::reject(f.rtnCode, f.rtnMsg).toXml(), true), "text/plain");
      return true;
    case Fault::Kind::EmptyBody: res.set_content("", "text/plain"); return true;
    case Fault::Kind::RawBody: res.set_content(f.body, "text/plain"); return true;
    case Fault::Kind::PlainReply: res.set_content(seal(regime, session, f.body, false), "text/plain"); return true;
    case Fault::Kind::Garbage: res.set_content("%%% not base64 %%%", "text/plain"); return true;
    case Fault::Kind::NoAnswer:
      // A provider that fails aborts the connection before any body arrives.
      res.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink&) { return false; });
      return true;
  }
  return false;
}

void DevGateway::handleApi(const httplib::Request& req, httplib::Response& res) {
  std::lock_guard lock(mutex_);
  RecordedRequest rec;
  rec.method = req.method;
  rec.path = req.path;
  rec.body = req.body;
  rec.contentType = req.get_header_value("Content-Type");
  if (const auto q = req.target.find('?'); q != std::string::npos) rec.query = req.target.substr(q + 1);

  std::string api;
  const bool pathOk = splitApiPath(req.path, rec.sessionId, api);
  rec.api = api;
  auto entry = apis_.find(api);
  Session* session = nullptr;
  if (rec.sessionId) {
    auto s = sessions_.find(*rec.sessionId);
    if (s != sessions_.end()) session = &s->second;
  }
  auto record = [&] {
    if (recorded_.size() >= kMaxRecorded) recorded_.erase(recorded_.begin());
    recorded_.push_back(rec);
  };
  if (!pathOk || entry == apis_.end()) {
    res.status = 404;
    record();
    return;
  }
  const Regime regime = entry->second.regime;
  if (applyFault(api, session, regime, res)) {
    record();
    return;
  }

  ApiRequest call{api, {}, session};
  ApiReply reply;
  bool undecryptable = false;
  for (const auto& [name, value] : req.params) {
    if (value.empty()) {
      call.params[name] = "";
      continue;
    }
    auto plain = regime == Regime::PublicKey ? crypto_->openRsaValue(value)
                 : session                   ? crypto_->openAesValue(session->aesKey, value)
                                             : std::nullopt;
    if (!plain) undecryptable = true;
    else call.params[name] = *plain;
  }
  rec.params = call.params;
  if (regime == Regime::Aes && !session) {
    // No session key to answer with: the reply cannot be sealed for the client.
    reply = ApiReply::reject("9002", "連線逾時或尚未登入,請重新登入");
  } else if (undecryptable) {
    reply = ApiReply::reject("9003", "參數無法解密");
  } else {
    reply = entry->second.handler(call);
  }
  res.set_content(seal(regime, session, reply.toXml(), true), "text/plain");
  record();
}

}  // namespace karv::gateway
