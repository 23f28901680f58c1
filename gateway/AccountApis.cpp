#include <algorithm>
#include <sstream>

#include "gateway/GatewayApis.h"
#include "gateway/GatewayContext.h"

namespace karv::gateway {
using namespace rejections;

namespace {

bool versionAccepted(const GatewayContext& ctx, const std::string& version) {
  std::istringstream list(ctx.config.get(cfg::kAcceptedVersions));
  for (std::string accepted; std::getline(list, accepted, ',');)
    if (accepted == version) return true;
  return false;
}

// The rules of the trading-system password: 6 to 16 characters, at least one
// digit and one ASCII letter.
bool meetsLoginPwdRules(const std::string& pwd) {
  const auto characters = std::count_if(pwd.begin(), pwd.end(), [](char c) { return (c & 0xC0) != 0x80; });
  const bool digit = std::any_of(pwd.begin(), pwd.end(), [](char c) { return c >= '0' && c <= '9'; });
  const bool letter =
      std::any_of(pwd.begin(), pwd.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
  return characters >= 6 && characters <= 16 && digit && letter;
}

}  // namespace

ApiReply checkVersion(GatewayContext& ctx, ApiRequest& r) {
  if (auto missing = missingParam(r, {"os", "version"})) return *missing;
  if (!ctx.versionAccepted || !versionAccepted(ctx, r.params["version"])) return kVersionRefused.reply();
  return ApiReply::ok();
}

ApiReply getSysCfg(GatewayContext& ctx, ApiRequest& r) {
  if (auto missing = missingParam(r, {"version"})) return *missing;
  ApiReply reply = ApiReply::ok();
  for (auto& [key, value] : ctx.config.served(ctx.origin)) reply.add(key, value);
  return reply;
}

ApiReply doBtsLogin(GatewayContext& ctx, ApiRequest& r) {
  if (auto missing = missingParam(r, {"loginType", "pwd"})) return *missing;
  const std::string type = r.params["loginType"];
  UserAccount* user = nullptr;
  if (type == "1") {
    if (auto missing = missingParam(r, {"brnhId", "acctNo"})) return *missing;
    user = ctx.users.byAccount(r.params["brnhId"], r.params["acctNo"]);
  } else if (type == "2") {
    if (auto missing = missingParam(r, {"idno"})) return *missing;
    user = ctx.users.byIdno(r.params["idno"]);
  } else {
    return kBadLoginType.reply();
  }
  if (!user || !ctx.users.checkPassword(*user, r.params["pwd"])) return kBadLogin.reply();

  const Session& session = ctx.sessions.open(user->demo.idno, user->mustChangePwd);
  ApiReply reply = user->mustChangePwd ? kFirstLogin.reply() : ApiReply::ok("登入成功");
  reply.add("idno", user->demo.idno)
      .add("brnhId", user->demo.brnhId)
      .add("acctNo", user->demo.acctNo)
      .add("aeskey", session.aesKey)
      .add("sessionId", session.id)
      .add("cn", user->demo.cn);
  return reply;
}

ApiReply changeBtsLoginPwd(GatewayContext& ctx, ApiRequest& r) {
  if (auto missing = missingParam(r, {"idno", "oldPwd", "newPwd"})) return *missing;
  UserAccount* user = ctx.users.byIdno(r.params["idno"]);
  const std::string& newPwd = r.params["newPwd"];
  if (!user || !ctx.users.checkPassword(*user, r.params["oldPwd"])) return kOldPwdWrong.reply();
  if (newPwd == r.params["oldPwd"]) return kNewPwdSame.reply();
  if (!meetsLoginPwdRules(newPwd)) return kNewPwdRules.reply();
  ctx.users.setPassword(*user, newPwd);
  if (!ctx.commit()) return kStateNotSaved.reply();
  return ApiReply::ok("密碼變更成功");
}

ApiReply iAmAlive(GatewayContext&, ApiRequest&) { return ApiReply::ok(); }

ApiReply doLogout(GatewayContext& ctx, ApiRequest& r) {
  ctx.sessions.close(r.session->id);
  return ApiReply::ok("登出成功");
}

}  // namespace karv::gateway
