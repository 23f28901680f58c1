#include "gateway/Outbox.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "gateway/CertFormat.h"
#include "gateway/GatewayRandom.h"
#include "gateway/PasswordHash.h"

namespace karv::gateway {
namespace {
constexpr size_t kCodeDigits = 6;

std::string clockText(std::time_t t) { return localTimeText(t, "%Y-%m-%d %H:%M:%S"); }

// Appends one line; the file holds live codes, so only its owner may read it.
bool appendLine(const std::string& path, const std::string& line) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::string text = line + "\n";
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && ok;
}
}  // namespace

std::string Outbox::formatLine(const Message& m, long lifetimeSeconds) {
  return clockText(m.sentAt) + " to=" + m.idno + " channel=" + m.channel + " address=" + m.to + " op=" + m.opType +
         " expires=" + clockText(m.sentAt + lifetimeSeconds) + " code=" + m.code;
}

bool Outbox::send(const std::string& idno, const std::string& channel, const std::string& to,
                  const std::string& opType) {
  Message m{now_(), idno, channel, to, opType, randomDigits(kCodeDigits)};
  const std::string line = formatLine(m, lifetimeSeconds_);
  if (!filePath_.empty() && !appendLine(filePath_, line)) return false;
  if (console_) std::cout << "karv-gateway outbox: " << line << std::endl;
  pending_[{idno, opType}] = Pending{m.code, m.sentAt + lifetimeSeconds_, 0};
  messages_.push_back(std::move(m));
  return true;
}

Outbox::Check Outbox::verify(const std::string& idno, const std::string& opType, const std::string& code) {
  auto it = pending_.find({idno, opType});
  if (it == pending_.end()) return Check::NotSent;
  Pending& p = it->second;
  if (now_() > p.expiresAt) {
    pending_.erase(it);
    return Check::Expired;
  }
  if (!sameSecret(code, p.code)) {
    if (++p.wrongTries < maxTries_) return Check::Wrong;
    pending_.erase(it);
    return Check::TooManyTries;
  }
  pending_.erase(it);  // used once
  return Check::Ok;
}

}  // namespace karv::gateway
