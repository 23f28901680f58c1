#pragma once
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "gateway/ApiTypes.h"

namespace karv::gateway {

// Where verification codes "sent" by e-mail or SMS go: a line on the console
// and a line in the outbox file, with the user, the channel and the code.
// Each code is good for one verification of its operation type, until it
// expires or too many wrong tries used it up; a new code replaces the old.
class Outbox {
 public:
  struct Message {
    std::time_t sentAt = 0;
    std::string idno;
    std::string channel;  // "mail" or "sms"
    std::string to;
    std::string opType;
    std::string code;
  };
  enum class Check { Ok, Wrong, Expired, TooManyTries, NotSent };

  // filePath "" keeps the messages in memory only.
  Outbox(Clock now, std::string filePath, bool console)
      : now_(std::move(now)), filePath_(std::move(filePath)), console_(console) {}
  void setLimits(long lifetimeSeconds, int maxTries) {
    lifetimeSeconds_ = lifetimeSeconds;
    maxTries_ = maxTries;
  }

  // Makes a new six-digit code and delivers it. False when the outbox file cannot be written.
  [[nodiscard]] bool send(const std::string& idno, const std::string& channel, const std::string& to,
                          const std::string& opType);
  [[nodiscard]] Check verify(const std::string& idno, const std::string& opType, const std::string& code);

  [[nodiscard]] const std::vector<Message>& messages() const { return messages_; }
  [[nodiscard]] const std::string& filePath() const { return filePath_; }

  // The line a message is written as; "code=<digits>" is its last field.
  [[nodiscard]] static std::string formatLine(const Message& m, long lifetimeSeconds);

 private:
  struct Pending {
    std::string code;
    std::time_t expiresAt = 0;
    int wrongTries = 0;
  };
  Clock now_;
  std::string filePath_;
  bool console_;
  long lifetimeSeconds_ = 300;
  int maxTries_ = 5;
  std::vector<Message> messages_;
  std::map<std::pair<std::string, std::string>, Pending> pending_;  // by (ID number, operation type)
};

}  // namespace karv::gateway
