#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace karv::gateway {

// One user as the demo data file describes them.
struct DemoUser {
  std::string brnhId;
  std::string acctNo;
  std::string idno;
  std::string pwd;
  std::string email;
  std::string phone;
  std::string birth;
  std::string dlPwd;  // the trading system's certificate download password
  std::string cn;
  bool mustChangePwd = false;
  int certExpiresInDays = 0;  // > 0: starts with a certificate that expires this soon
};

// A user and what has changed since the demo data: a new login password
// (kept as a hash) and whether the first-login change is still due.
struct UserAccount {
  DemoUser demo;
  std::string pwdHash;  // "" while the demo password holds
  bool mustChangePwd = false;
};

// The users of the gateway, keyed by ID number.
class UserStore {
 public:
  // Reads the demo data file (see gateway/demo-users.txt for its form).
  [[nodiscard]] bool loadDemoFile(const std::string& path, std::string& error);

  [[nodiscard]] UserAccount* byIdno(const std::string& idno);
  [[nodiscard]] UserAccount* byAccount(const std::string& brnhId, const std::string& acctNo);
  [[nodiscard]] bool checkPassword(const UserAccount& user, const std::string& pwd) const;
  void setPassword(UserAccount& user, const std::string& pwd);
  // Forgets every change since the demo data.
  void resetToDemo();

  [[nodiscard]] std::map<std::string, UserAccount>& all() { return users_; }
  [[nodiscard]] const std::map<std::string, UserAccount>& all() const { return users_; }

 private:
  std::map<std::string, UserAccount> users_;
};

// Parses one data line; none (with the reason) when it is malformed.
[[nodiscard]] std::optional<DemoUser> parseDemoUser(const std::string& line, std::string& error);

}  // namespace karv::gateway
