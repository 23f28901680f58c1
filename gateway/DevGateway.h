#pragma once
#include "ApiTypes.h"
#include "ServerCrypto.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace karv::gateway {

struct GatewayOptions {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: a free port
  bool tls = false;
  std::string dataDir;     // state and outbox; "" keeps everything in memory
  std::string configFile;  // overrides of the served configuration
  std::string rsaKeyFile;  // the key of the public-key regime
  std::string tlsCertFile;
  std::string tlsKeyFile;
  size_t maxBodyBytes = 64 * 1024;

  // The build's development PKI, the development port, TLS on.
  static GatewayOptions fromBuild();
};

using ApiHandler = std::function<ApiReply(ApiRequest&)>;

// The development RA gateway: serves the client protocol under /RACGW/api/.
// Handlers run one at a time (one lock), so they need no locking of their own.
class DevGateway {
 public:
  explicit DevGateway(GatewayOptions options);
  ~DevGateway();
  DevGateway(const DevGateway&) = delete;
  DevGateway& operator=(const DevGateway&) = delete;

  // Binds and starts serving in a thread of its own. False when the key or
  // the port could not be had.
  [[nodiscard]] bool start();
  void stop();

  [[nodiscard]] int port() const { return port_; }
  [[nodiscard]] std::string origin() const;   // scheme://host:port
  [[nodiscard]] std::string baseUrl() const;  // origin + "/RACGW/api/"

  void registerApi(const std::string& name, Regime regime, ApiHandler handler);

  // --- test controls ---
  void setFault(const std::string& api, Fault fault);
  void clearFaults();
  [[nodiscard]] std::vector<RecordedRequest> requests() const;
  void clearRequests();
  void setVersionAccepted(bool accepted);
  // Opens a session as a login would (tests of the AES regime).
  void addSession(Session session);

 private:
  struct ApiEntry {
    Regime regime;
    ApiHandler handler;
  };
  bool bind();
  void handleApi(const httplib::Request& req, httplib::Response& res);
  bool applyFault(const std::string& api, const Session* session, Regime regime, httplib::Response& res);
  std::string seal(Regime regime, const Session* session, const std::string& plainUtf8Or, bool big5) const;
  void registerBuiltins();

  GatewayOptions options_;
  std::unique_ptr<httplib::Server> server_;
  std::unique_ptr<ServerCrypto> crypto_;
  std::thread thread_;
  int port_ = 0;

  mutable std::mutex mutex_;
  std::map<std::string, ApiEntry> apis_;
  std::map<std::string, Fault> faults_;
  std::map<std::string, Session> sessions_;
  std::vector<RecordedRequest> recorded_;
  bool versionAccepted_ = true;
};

}  // namespace karv::gateway
