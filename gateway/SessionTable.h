#pragma once
#include <deque>
#include <map>
#include <string>

#include "gateway/ApiTypes.h"

namespace karv::gateway {

// The login sessions: an identifier for the URL and a fresh 16-character AES
// key per login. Sessions that ended (logout or idle expiry) are remembered
// for a while, so a late request still gets a refusal sealed with its key.
class SessionTable {
 public:
  enum class State { Active, Expired, LoggedOut, Unknown };

  SessionTable(Clock now, long idleSeconds) : now_(std::move(now)), idleSeconds_(idleSeconds) {}
  void setIdleSeconds(long seconds) { idleSeconds_ = seconds; }

  Session& open(const std::string& userKey, bool mustChangePwd);
  // Takes a session made elsewhere (tests) as if it had just been opened.
  void adopt(Session session);
  // The session under the id, its state in `state`. An active session counts
  // the call as activity; one idle for too long expires here.
  Session* find(const std::string& id, State& state);
  void close(const std::string& id);
  [[nodiscard]] size_t activeCount() const { return active_.size(); }

 private:
  void endSession(std::map<std::string, Session>::iterator it, State why);

  Clock now_;
  long idleSeconds_;
  std::map<std::string, Session> active_;
  std::map<std::string, std::pair<Session, State>> ended_;
  std::deque<std::string> endedOrder_;  // oldest first, to bound what is remembered
};

}  // namespace karv::gateway
