#pragma once
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateway/ApiTypes.h"
#include "gateway/DownloadPages.h"
#include "gateway/Outbox.h"
#include "gateway/ServerCrypto.h"

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
}  // namespace httplib

namespace karv::gateway {

class GatewayContext;

struct GatewayOptions {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: a free port
  bool tls = false;
  std::string dataDir;     // state, outbox, CA and demo certificates; "" keeps everything in memory
  std::string configFile;  // key=value lines over the built-in configuration
  std::string rsaKeyFile;  // the key of the public-key regime
  std::string tlsCertFile;
  std::string tlsKeyFile;
  size_t maxBodyBytes = 64 * 1024;
  std::string usersFile;                      // the demo users ("" : gateway/demo-users.txt of the source tree)
  std::string templateFile;                   // the deployment template ("" : gateway/depcert-template.html)
  std::map<std::string, std::string> config;  // over the file's settings (tests)
  Clock clock;                                // "" : the system clock
  bool consoleOutbox = true;                  // print each outbox message on stdout
  std::string keyCacheDir;                    // generated RSA keys kept here for later runs ("" : per process only)

  // The build's development PKI, the development port, TLS on.
  static GatewayOptions fromBuild();
  // A folder of the build's development PKI.
  static std::string defaultKeyCacheDir();
};

using ApiHandler = std::function<ApiReply(ApiRequest&)>;

// The development RA gateway: serves the client protocol under /RACGW/api/,
// the deployment template under /RACGW/depCertForMac/ and the installer
// under /RACGW/download/. Handlers run one at a time (one lock), so they need
// no locking of their own.
class DevGateway {
 public:
  explicit DevGateway(GatewayOptions options);
  ~DevGateway();
  DevGateway(const DevGateway&) = delete;
  DevGateway& operator=(const DevGateway&) = delete;

  // Loads users, state and CA, binds and starts serving in a thread of its
  // own. False (see lastError()) when anything is missing or the port is taken.
  [[nodiscard]] bool start();
  void stop();
  [[nodiscard]] const std::string& lastError() const { return error_; }

  [[nodiscard]] int port() const { return port_; }
  [[nodiscard]] std::string origin() const;   // scheme://host:port
  [[nodiscard]] std::string baseUrl() const;  // origin + "/RACGW/api/"
  [[nodiscard]] const GatewayOptions& options() const { return options_; }

  void registerApi(const std::string& name, Regime regime, ApiHandler handler);

  // --- test controls ---
  // Faults also apply to the two pages, under the names "depCertForMac" and "download".
  void setFault(const std::string& api, Fault fault);
  void clearFaults();
  [[nodiscard]] std::vector<RecordedRequest> requests() const;
  void clearRequests();
  void setVersionAccepted(bool accepted);
  void setConfigValue(const std::string& key, const std::string& value);
  [[nodiscard]] std::vector<Outbox::Message> outboxMessages() const;
  // The development CA's root and issuing certificates (PEM), once started.
  [[nodiscard]] std::string caCertificatesPem() const;
  // Opens a session as a login would (tests of the AES regime).
  void addSession(Session session);

 private:
  struct ApiEntry {
    Regime regime;
    ApiHandler handler;
  };
  struct Reply {
    int status = 200;
    std::string body;
  };
  bool bind();
  bool loadWorld();
  void onPost(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader);
  void onGet(const httplib::Request& req, httplib::Response& res);
  void serveApi(const httplib::Request& req, const std::string& body, bool tooLarge, httplib::Response& res);
  void servePage(const httplib::Request& req, httplib::Response& res, const std::string& name);
  // Waits out a fault's delay (outside the lock); true when a fault is set for the name.
  bool takeFault(const std::string& name, Fault& fault);
  void applyFault(const Fault& fault, Regime regime, const std::string& aesKey, const httplib::Request& req,
                  httplib::Response& res);
  Reply answerApi(RecordedRequest& rec, const std::string& body, bool tooLarge, const std::string& method);
  // The reply in Big5, sealed for the regime (aesKey: the session's key; "" seals nothing).
  std::string seal(Regime regime, const std::string& aesKey, const ApiReply& reply) const;
  std::string sealBytes(Regime regime, const std::string& aesKey, const std::string& bytes) const;
  // The fault's body sealed with a key the client does not hold.
  std::string sealWithWrongKey(const Fault& fault, const std::string& aesKey);
  void record(RecordedRequest rec);

  GatewayOptions options_;
  std::unique_ptr<httplib::Server> server_;
  std::unique_ptr<ServerCrypto> crypto_;
  std::unique_ptr<ServerCrypto> wrongCrypto_;  // made at the first wrong-key fault
  std::thread thread_;
  int port_ = 0;
  std::string error_;

  mutable std::mutex mutex_;
  std::unique_ptr<GatewayContext> ctx_;
  DownloadPages pages_;
  std::map<std::string, ApiEntry> apis_;
  std::map<std::string, Fault> faults_;
  std::vector<RecordedRequest> recorded_;
};

}  // namespace karv::gateway
