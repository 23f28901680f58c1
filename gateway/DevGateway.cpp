#include "gateway/DevGateway.h"

#include <httplib.h>

#include <chrono>

#include "KarvBuildConfig.h"
#include "gateway/CertFormat.h"
#include "gateway/ConnectionCutter.h"
#include "gateway/FormBody.h"
#include "gateway/GatewayApis.h"
#include "gateway/GatewayContext.h"
#include "gateway/KeyCache.h"
#include "system/Log.h"
#include "system/SecureFiles.h"
#include "system/TextCodec.h"

namespace karv::gateway {
namespace {
constexpr char kApiPrefix[] = "/RACGW/api/";
constexpr size_t kMaxRecorded = 200;
constexpr char kTemplatePage[] = "depCertForMac";
constexpr char kInstallerPage[] = "download";
constexpr char kServerErrorPage[] =
    "<html><head><title>500 Internal Server Error</title></head>"
    "<body><h1>Internal Server Error</h1><p>The server could not complete the request.</p></body></html>";

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

RecordedRequest recordOf(const httplib::Request& req, const std::string& body) {
  RecordedRequest rec;
  rec.method = req.method;
  rec.path = req.path;
  rec.body = body;
  rec.contentType = req.get_header_value("Content-Type");
  if (const auto q = req.target.find('?'); q != std::string::npos) rec.query = req.target.substr(q + 1);
  return rec;
}

std::time_t systemNow() { return std::time(nullptr); }
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

std::string GatewayOptions::defaultKeyCacheDir() { return std::string(build::kDevPkiDir) + "/gateway-keys"; }

DevGateway::DevGateway(GatewayOptions options) : options_(std::move(options)) {
  const std::string source = build::kSourceDir;
  if (options_.rsaKeyFile.empty()) options_.rsaKeyFile = GatewayOptions::fromBuild().rsaKeyFile;
  if (options_.usersFile.empty()) options_.usersFile = source + "/gateway/demo-users.txt";
  if (options_.templateFile.empty()) options_.templateFile = source + "/gateway/depcert-template.html";
  if (!options_.clock) options_.clock = systemNow;
  if (options_.keyCacheDir.empty()) options_.keyCacheDir = GatewayOptions::defaultKeyCacheDir();
  const std::string& data = options_.dataDir;
  ctx_ = std::make_unique<GatewayContext>(options_.clock, data.empty() ? "" : data + "/state.txt",
                                          data.empty() ? "" : data + "/outbox.txt", options_.consoleOutbox);
  registerGatewayApis(*this, *ctx_);
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

bool DevGateway::loadWorld() {
  GatewayContext& c = *ctx_;
  if (!options_.configFile.empty() && !c.config.loadFile(options_.configFile, error_)) return false;
  for (const auto& [key, value] : options_.config) c.config.set(key, value);
  c.sessions.setIdleSeconds(c.config.getNumber(cfg::kSessionIdleSeconds, 1200));
  c.outbox.setLimits(c.config.getNumber(cfg::kCodeLifetimeSeconds, 300),
                     static_cast<int>(c.config.getNumber(cfg::kCodeMaxTries, 5)));
  if (!c.users.loadDemoFile(options_.usersFile, error_)) return false;
  if (!pages_.load(options_.templateFile, c.config.get(cfg::kInstallerFile), error_)) return false;
  const std::string& data = options_.dataDir;
  if (!data.empty() && !makeFolders(data, 0700)) {
    error_ = "cannot make the data folder " + data;
    return false;
  }
  c.keyCacheDir = options_.keyCacheDir;
  c.ca = DevCa::openOrCreate(data.empty() ? "" : data + "/ca", c.keyCacheDir, error_);
  if (!c.ca) return false;
  return c.openState(data, error_);
}

bool DevGateway::bind() {
  crypto_ = std::make_unique<ServerCrypto>(options_.rsaKeyFile);
  if (!crypto_->loaded()) {
    error_ = "cannot read the gateway key " + options_.rsaKeyFile;
    return false;
  }
  if (options_.tls)
    server_ = std::make_unique<httplib::SSLServer>(options_.tlsCertFile.c_str(), options_.tlsKeyFile.c_str());
  else
    server_ = std::make_unique<httplib::Server>();
  if (!server_->is_valid()) {
    error_ = "cannot set up TLS with " + options_.tlsCertFile;
    return false;
  }
  // A reply goes out in several writes (headers, body); with Nagle's algorithm
  // the last one waits for the client's delayed ACK, about 40 ms per request.
  server_->set_tcp_nodelay(true);
  // Longer bodies are refused by the handler after the library skipped them.
  server_->set_payload_max_length(options_.maxBodyBytes);
  server_->Post(R"(/RACGW/api/.*)", [this](const httplib::Request& req, httplib::Response& res,
                                           const httplib::ContentReader& reader) { onPost(req, res, reader); });
  server_->Get(R"(/RACGW/.*)", [this](const httplib::Request& req, httplib::Response& res) { onGet(req, res); });
  port_ = options_.port == 0 ? server_->bind_to_any_port(options_.host.c_str())
                             : (server_->bind_to_port(options_.host.c_str(), options_.port) ? options_.port : -1);
  if (port_ <= 0) {
    error_ = "cannot listen on " + options_.host + ":" + std::to_string(options_.port);
    return false;
  }
  return true;
}

bool DevGateway::start() {
  if (!loadWorld() || !bind()) {
    logf("karv-gateway: %s", error_.c_str());
    return false;
  }
  ctx_->origin = origin();
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
  ctx_->versionAccepted = accepted;
}

void DevGateway::addSession(Session session) {
  std::lock_guard lock(mutex_);
  ctx_->sessions.adopt(std::move(session));
}

void DevGateway::setConfigValue(const std::string& key, const std::string& value) {
  std::lock_guard lock(mutex_);
  ctx_->config.set(key, value);
}

std::vector<Outbox::Message> DevGateway::outboxMessages() const {
  std::lock_guard lock(mutex_);
  return ctx_->outbox.messages();
}

std::string DevGateway::caCertificatesPem() const {
  std::lock_guard lock(mutex_);
  if (!ctx_->ca) return {};
  return toPem(ctx_->ca->root()) + toPem(ctx_->ca->issuing());
}

void DevGateway::record(RecordedRequest rec) {
  if (recorded_.size() >= kMaxRecorded) recorded_.erase(recorded_.begin());
  recorded_.push_back(std::move(rec));
}

std::string DevGateway::sealBytes(Regime regime, const std::string& aesKey, const std::string& bytes) const {
  if (regime == Regime::Aes) return aesKey.empty() ? std::string() : crypto_->sealAesReply(aesKey, bytes);
  return crypto_->sealRsaReply(bytes);
}

std::string DevGateway::seal(Regime regime, const std::string& aesKey, const ApiReply& reply) const {
  auto big5 = utf8ToBig5(reply.toXml());
  if (!big5) big5 = utf8ToBig5(rejections::kUnencodable.reply().toXml());
  return sealBytes(regime, aesKey, big5.value_or(std::string()));
}

bool DevGateway::takeFault(const std::string& name, Fault& fault) {
  {
    std::lock_guard lock(mutex_);
    auto it = faults_.find(name);
    if (it == faults_.end()) return false;
    fault = it->second;
  }
  // A slow answer must not hold up the other connections.
  if (fault.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
  return !(fault.kind == Fault::Kind::Reply && fault.rtnCode.empty() && fault.rtnMsg.empty());
}

std::string DevGateway::sealWithWrongKey(const Fault& f, const std::string& aesKey) {
  const std::string plain = f.body.empty() ? utf8ToBig5(ApiReply::ok().toXml()).value_or("") : f.body;
  if (f.kind == Fault::Kind::WrongAesKey) {
    // Another 16-character key: the session's turned around, or a fixed one.
    std::string wrong = aesKey.empty() ? "0123456789ABCDEF" : std::string(aesKey.rbegin(), aesKey.rend());
    if (wrong == aesKey) wrong[0] = static_cast<char>(wrong[0] ^ 1);
    return crypto_->sealAesReply(wrong, plain);
  }
  if (!wrongCrypto_) wrongCrypto_ = std::make_unique<ServerCrypto>(cachedRsaKey("wrong-reply", options_.keyCacheDir));
  return wrongCrypto_->sealRsaReply(plain);
}

void DevGateway::applyFault(const Fault& f, Regime regime, const std::string& aesKey, const httplib::Request& req,
                            httplib::Response& res) {
  res.status = 200;
  switch (f.kind) {
    case Fault::Kind::Reply:
      res.set_content(seal(regime, aesKey, ApiReply::reject(f.rtnCode, f.rtnMsg)), "text/plain");
      break;
    case Fault::Kind::EmptyBody:
      res.set_content("", "text/plain");
      break;
    case Fault::Kind::RawBody:
      res.set_content(f.body, "text/plain");
      break;
    case Fault::Kind::PlainReply:
      res.set_content(sealBytes(regime, aesKey, f.body), "text/plain");
      break;
    case Fault::Kind::Garbage:
      res.set_content("%%% not base64 %%%", "text/plain");
      break;
    case Fault::Kind::NoAnswer:
      if (!cutConnection(req.local_port, req.remote_port)) logLine("karv-gateway: no connection to cut");
      break;
    case Fault::Kind::WrongRsaKey:
    case Fault::Kind::WrongAesKey:
      res.set_content(sealWithWrongKey(f, aesKey), "text/plain");
      break;
    case Fault::Kind::ServerError:
      res.status = 500;
      res.set_content(f.body.empty() ? kServerErrorPage : f.body, "text/html");
      break;
  }
}

void DevGateway::onPost(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
  std::string body;
  bool tooLarge = false;
  const bool read = reader([&](const char* data, size_t length) {
    if (body.size() + length > options_.maxBodyBytes) {
      tooLarge = true;
      return false;
    }
    body.append(data, length);
    return true;
  });
  if (!read && res.status == 413) tooLarge = true;  // declared longer than the limit: skipped unread
  serveApi(req, body, tooLarge, res);
}

void DevGateway::onGet(const httplib::Request& req, httplib::Response& res) {
  if (req.path.rfind(kApiPrefix, 0) == 0) return serveApi(req, "", false, res);
  for (const char* page : {kTemplatePage, kInstallerPage})
    if (req.path.rfind(std::string("/RACGW/") + page + "/", 0) == 0) return servePage(req, res, page);
  res.status = 404;
}

void DevGateway::servePage(const httplib::Request& req, httplib::Response& res, const std::string& name) {
  RecordedRequest rec = recordOf(req, "");
  rec.api = name;
  Fault fault;
  const bool faulty = takeFault(name, fault);
  std::lock_guard lock(mutex_);
  if (faulty) {
    applyFault(fault, Regime::PublicKey, "", req, res);
  } else if (name == kTemplatePage) {
    res.set_content(pages_.templateBig5(), "text/html; charset=Big5");
  } else {
    res.set_content(pages_.installer(), "application/octet-stream");
  }
  // The installer (up to hundreds of megabytes) is not kept in the record.
  if (faulty || name == kTemplatePage) rec.reply = res.body;
  record(std::move(rec));
}

void DevGateway::serveApi(const httplib::Request& req, const std::string& body, bool tooLarge, httplib::Response& res) {
  RecordedRequest rec = recordOf(req, body);
  std::string api;
  const bool pathOk = splitApiPath(req.path, rec.sessionId, api);
  rec.api = api;
  Fault fault;
  const bool faulty = pathOk && takeFault(api, fault);

  std::lock_guard lock(mutex_);
  if (faulty) {
    auto entry = apis_.find(api);
    const Regime regime = entry == apis_.end() ? Regime::PublicKey : entry->second.regime;
    SessionTable::State state = SessionTable::State::Unknown;
    const Session* session = rec.sessionId ? ctx_->sessions.find(*rec.sessionId, state) : nullptr;
    applyFault(fault, regime, session ? session->aesKey : "", req, res);
  } else {
    Reply reply = answerApi(rec, body, tooLarge, req.method);
    res.status = reply.status;
    res.set_content(reply.body, "text/plain; charset=Big5");
  }
  rec.reply = res.body;
  record(std::move(rec));
}

DevGateway::Reply DevGateway::answerApi(RecordedRequest& rec, const std::string& body, bool tooLarge,
                                        const std::string& method) {
  using namespace rejections;
  SessionTable::State state = SessionTable::State::Unknown;
  Session* session = rec.sessionId ? ctx_->sessions.find(*rec.sessionId, state) : nullptr;
  auto entry = apis_.find(rec.api);
  if (entry == apis_.end()) {
    // Answer in the regime the caller can open: the session's key once logged in.
    const bool active = state == SessionTable::State::Active;
    return {404, seal(active ? Regime::Aes : Regime::PublicKey, active ? session->aesKey : "", kUnknownApi.reply())};
  }
  const Regime regime = entry->second.regime;
  if (regime == Regime::Aes && state != SessionTable::State::Active) {
    // Without a key the refusal cannot be sealed; said in plain text for the log.
    if (!session) return {401, utf8ToBig5(kSessionExpired.message).value_or("")};
    const Rejection& why = state == SessionTable::State::LoggedOut ? kLoggedOut : kSessionExpired;
    return {401, seal(regime, session->aesKey, why.reply())};
  }
  // A copy: the handler may end the session (logout).
  const std::string replyKey = regime == Regime::Aes ? session->aesKey : "";
  auto refuse = [&](int status, const Rejection& why) { return Reply{status, seal(regime, replyKey, why.reply())}; };
  if (method != "POST") return refuse(405, kNotForm);
  if (tooLarge) return refuse(413, kBodyTooLarge);
  if (!isFormContentType(rec.contentType)) return refuse(415, kNotForm);
  const auto form = parseFormBody(body);
  if (!form) return refuse(400, kNotForm);

  ApiRequest call{rec.api, {}, regime == Regime::Aes ? session : nullptr};
  bool undecryptable = false;
  for (const auto& [name, value] : *form) {
    if (value.empty()) {
      call.params[name] = "";
      continue;
    }
    auto plain = regime == Regime::PublicKey ? crypto_->openRsaValue(value) : crypto_->openAesValue(replyKey, value);
    if (plain)
      call.params[name] = *plain;
    else
      undecryptable = true;
  }
  rec.params = call.params;
  if (undecryptable) return refuse(400, kUndecryptable);
  const ApiReply reply = entry->second.handler(call);
  return {200, seal(regime, replyKey, reply)};
}

}  // namespace karv::gateway
