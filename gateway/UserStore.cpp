#include "gateway/UserStore.h"

#include <cstdlib>

#include "gateway/DataLines.h"
#include "gateway/PasswordHash.h"

namespace karv::gateway {
namespace {
constexpr size_t kFieldCount = 10;

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at = text.find(sep); at != std::string::npos; at = text.find(sep, start)) {
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

bool applyFlag(DemoUser& user, const std::string& flag, std::string& error) {
  if (flag.empty()) return true;
  if (flag == "mustChangePwd") {
    user.mustChangePwd = true;
    return true;
  }
  const std::string expires = "certExpiresInDays=";
  if (flag.rfind(expires, 0) == 0) {
    user.certExpiresInDays = std::atoi(flag.c_str() + expires.size());
    if (user.certExpiresInDays > 0) return true;
  }
  error = "unknown flag " + flag;
  return false;
}
}  // namespace

std::optional<DemoUser> parseDemoUser(const std::string& line, std::string& error) {
  const auto f = split(line, '|');
  if (f.size() != kFieldCount) {
    error = "expected " + std::to_string(kFieldCount) + " fields";
    return std::nullopt;
  }
  DemoUser u{f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8]};
  if (u.idno.empty() || u.pwd.empty() || u.cn.empty()) {
    error = "ID number, password and common name are required";
    return std::nullopt;
  }
  for (const auto& flag : split(f[9], ','))
    if (!applyFlag(u, flag, error)) return std::nullopt;
  return u;
}

bool UserStore::loadDemoFile(const std::string& path, std::string& error) {
  return forEachDataLineOfFile(
      path,
      [this](const std::string& line, std::string& what) {
        auto user = parseDemoUser(line, what);
        if (!user) return false;
        if (users_.count(user->idno)) {
          what = "duplicate ID number";
          return false;
        }
        const std::string idno = user->idno;
        const bool mustChange = user->mustChangePwd;
        users_[idno] = UserAccount{std::move(*user), "", mustChange};
        return true;
      },
      error);
}

UserAccount* UserStore::byIdno(const std::string& idno) {
  auto it = users_.find(idno);
  return it == users_.end() ? nullptr : &it->second;
}

UserAccount* UserStore::byAccount(const std::string& brnhId, const std::string& acctNo) {
  if (brnhId.empty() || acctNo.empty()) return nullptr;
  for (auto& [idno, user] : users_)
    if (user.demo.brnhId == brnhId && user.demo.acctNo == acctNo) return &user;
  return nullptr;
}

bool UserStore::checkPassword(const UserAccount& user, const std::string& pwd) const {
  if (!user.pwdHash.empty()) return verifyPassword(pwd, user.pwdHash);
  return sameSecret(pwd, user.demo.pwd);
}

void UserStore::setPassword(UserAccount& user, const std::string& pwd) {
  user.pwdHash = hashPassword(pwd);
  user.mustChangePwd = false;
}

void UserStore::resetToDemo() {
  for (auto& [idno, user] : users_) {
    user.pwdHash.clear();
    user.mustChangePwd = user.demo.mustChangePwd;
  }
}

}  // namespace karv::gateway
