#pragma once
// What the API handlers work on: configuration, users, certificates,
// sessions, the outbox and the CA. Owned by DevGateway; handlers run under
// its lock, one at a time.
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "gateway/ApiTypes.h"
#include "gateway/CertStore.h"
#include "gateway/DevCa.h"
#include "gateway/GatewayConfig.h"
#include "gateway/Outbox.h"
#include "gateway/Rejections.h"
#include "gateway/SessionTable.h"
#include "gateway/StateFile.h"
#include "gateway/UserStore.h"

namespace karv::gateway {

class GatewayContext {
 public:
  GatewayContext(Clock clock, std::string stateFile, std::string outboxFile, bool consoleOutbox)
      : now(std::move(clock)),
        sessions(now, 1200),
        state(std::move(stateFile)),
        outbox(now, std::move(outboxFile), consoleOutbox) {}

  Clock now;
  GatewayConfig config;
  SessionTable sessions;
  UserStore users;
  CertStore certs;
  StateFile state;
  Outbox outbox;
  std::unique_ptr<DevCa> ca;
  std::string origin;       // scheme://host:port, for the URLs the configuration serves
  std::string keyCacheDir;  // where generated keys are kept between processes ("" : nowhere)
  bool versionAccepted = true;

  // Loads the state file, or on a fresh data folder starts from the demo
  // users (with their certificates) and writes the first state file.
  [[nodiscard]] bool openState(const std::string& dataDir, std::string& error);
  // Writes the state after a change. When the write fails, memory goes back
  // to the last state written (so it never claims more than the disk holds)
  // and false is returned: the handler then refuses instead of reporting success.
  [[nodiscard]] bool commit();
  // The user who owns the request's session (AES calls always have one).
  [[nodiscard]] UserAccount* sessionUser(const ApiRequest& request);
  // A refusal for sessions of a first login that has not changed its password yet.
  [[nodiscard]] std::optional<ApiReply> refuseFirstLoginSession(const ApiRequest& request) const;
  // Sets `user` to the session's user when the call has the required
  // parameters, the session is a full one (not a first login) and every
  // identity field the call sends ("idno", "userId", "agCode", "account",
  // "cn"; empty ones name nobody) is that user's; otherwise returns the refusal.
  [[nodiscard]] std::optional<ApiReply> identifyCaller(const ApiRequest& request,
                                                       std::initializer_list<const char*> required, UserAccount*& user);

 private:
  std::string savedState_;  // the text last written to the state file
};

// The first required parameter the request lacks, as a refusal naming it.
[[nodiscard]] std::optional<ApiReply> missingParam(const ApiRequest& request, std::initializer_list<const char*> names);

}  // namespace karv::gateway
