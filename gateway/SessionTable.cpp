#include "gateway/SessionTable.h"

#include "gateway/GatewayRandom.h"

namespace karv::gateway {
namespace {
constexpr size_t kRememberEnded = 256;
constexpr size_t kIdLength = 32;
constexpr size_t kAesKeyLength = 16;  // AES-128: one byte per character
}  // namespace

Session& SessionTable::open(const std::string& userKey, bool mustChangePwd) {
  std::string id;
  do id = randomAlnum(kIdLength);
  while (active_.count(id) || ended_.count(id));
  Session& s = active_[id];
  s.id = id;
  s.aesKey = randomAlnum(kAesKeyLength);
  s.userKey = userKey;
  s.mustChangePwd = mustChangePwd;
  s.lastSeen = now_();
  return s;
}

void SessionTable::adopt(Session session) {
  session.lastSeen = now_();
  ended_.erase(session.id);
  const std::string id = session.id;
  active_[id] = std::move(session);
}

Session* SessionTable::find(const std::string& id, State& state) {
  if (auto it = active_.find(id); it != active_.end()) {
    const std::time_t now = now_();
    if (now - it->second.lastSeen > idleSeconds_) {
      endSession(it, State::Expired);
      return find(id, state);
    }
    it->second.lastSeen = now;
    state = State::Active;
    return &it->second;
  }
  if (auto it = ended_.find(id); it != ended_.end()) {
    state = it->second.second;
    return &it->second.first;
  }
  state = State::Unknown;
  return nullptr;
}

void SessionTable::close(const std::string& id) {
  if (auto it = active_.find(id); it != active_.end()) endSession(it, State::LoggedOut);
}

void SessionTable::endSession(std::map<std::string, Session>::iterator it, State why) {
  const std::string id = it->first;
  ended_[id] = {std::move(it->second), why};
  active_.erase(it);
  endedOrder_.push_back(id);
  while (endedOrder_.size() > kRememberEnded) {
    ended_.erase(endedOrder_.front());
    endedOrder_.pop_front();
  }
}

}  // namespace karv::gateway
