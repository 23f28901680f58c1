#pragma once
// A development gateway started in-process for a test: plain HTTP (or TLS)
// on a free loopback port, a fresh temporary data folder, a clock the test can move,
// and helpers that talk to it through the client's real framing (KARVLib).
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gateway/DemoSeed.h"
#include "gateway/DevGateway.h"
#include "protocol/GatewayReply.h"
#include "protocol/KARVLib.h"
#include "support/TestFiles.h"

namespace karv::test {

// The demo users of gateway/demo-users.txt.
struct DemoUserRef {
  const char* brnhId;
  const char* acctNo;
  const char* idno;
  const char* pwd;
  const char* email;
  const char* phone;
  const char* birth;
  const char* dlPwd;
  const char* cn;
};
namespace demo {
inline constexpr DemoUserRef kAlice{"001",        "0012345",  "A123456789", "Passw0rd1",    "a.chen@example.com",
                                    "0912345678", "19800115", "Dl123456",   "A123456789-01"};
inline constexpr DemoUserRef kBob{"002",        "0023456",  "B223456782", "Passw0rd2",    "b.lin@example.com",
                                  "0923456789", "19850320", "Dl234567",   "B223456782-01"};
// Must change the password at the first login ("999").
inline constexpr DemoUserRef kFirstLogin{"003",        "0034567",  "C120001686", "Start1234",    "c.wang@example.com",
                                         "0934567890", "19900505", "Dl345678",   "C120001686-01"};
// Starts with a certificate that expires in 10 days; its .pfx is in the data folder.
inline constexpr DemoUserRef kExpiring{"011",        "0114567",  "D220003245", "Passw0rd4",    "d.huang@example.com",
                                       "0945678901", "19751230", "Dl456789",   "D220003245-01"};
// Has no e-mail address and no phone number on file.
inline constexpr DemoUserRef kNoContact{"005", "0056789",  "E123450012", "Passw0rd5",    "",
                                        "",    "19950808", "Dl567890",   "E123450012-01"};
}  // namespace demo

// The requests of one API that reached the gateway, in order.
[[nodiscard]] inline std::vector<gateway::RecordedRequest> requestsOf(const gateway::DevGateway& gw,
                                                                      const std::string& api) {
  auto found = gw.requests();
  std::erase_if(found, [&](const auto& r) { return r.api != api; });
  return found;
}

class TestGateway {
 public:
  using Settings = std::initializer_list<std::pair<const std::string, std::string>>;
  enum class Scheme { kHttp, kHttps };
  // Extra settings (such as "gateway.requireVerification") go over the built-in ones.
  explicit TestGateway(Settings config = {}) : TestGateway(Scheme::kHttp, config) {}
  // kHttps: TLS with the build's development certificate, which the clients trust.
  TestGateway(Scheme scheme, Settings config);
  TestGateway(const TestGateway&) = delete;
  TestGateway& operator=(const TestGateway&) = delete;
  ~TestGateway();

  [[nodiscard]] gateway::DevGateway& gateway() { return *gateway_; }
  [[nodiscard]] std::string dataDir() const { return dir_.path.string(); }
  // A protocol client for this gateway, without a session.
  [[nodiscard]] std::unique_ptr<KARVLib> client(long timeoutSeconds = 10) const;
  // Stops the gateway and starts a new one on the same data folder (a new port).
  void restart();
  // Moves the gateway's clock forward.
  void advance(long seconds) { offset_->fetch_add(seconds); }

  // "doBtsLogin" by ID number; on "0" and "999" the session, key and identity go into the client.
  GatewayReply login(KARVLib& lib, const DemoUserRef& user) const;
  // A client logged in as the user (fails the test when the login is refused).
  [[nodiscard]] std::unique_ptr<KARVLib> loggedIn(const DemoUserRef& user) const;
  // Has a code sent by e-mail and verifies it for the operation type ("Apply", "Revoke").
  [[nodiscard]] bool verifyIdentity(const KARVLib& lib, const DemoUserRef& user, const std::string& opType) const;
  // The code of the last line of the outbox file; none when there is none.
  [[nodiscard]] std::optional<std::string> lastOutboxCode() const;
  [[nodiscard]] std::string outboxFile() const { return dataDir() + "/outbox.txt"; }
  [[nodiscard]] std::string stateFile() const { return dataDir() + "/state.txt"; }
  [[nodiscard]] std::string demoPfx(const DemoUserRef& user) const;

 private:
  void startGateway();

  TempDir dir_;
  Scheme scheme_;
  std::map<std::string, std::string> config_;
  std::shared_ptr<std::atomic<long>> offset_ = std::make_shared<std::atomic<long>>(0);
  std::unique_ptr<gateway::DevGateway> gateway_;
};

}  // namespace karv::test
