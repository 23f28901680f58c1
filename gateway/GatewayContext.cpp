#include "GatewayContext.h"

#include "Log.h"

namespace karv::gateway {

bool GatewayContext::commit() {
  if (state.save(users, certs)) return true;
  logf("karv-gateway: cannot write %s, going back to its last state", state.path().c_str());
  UserStore reloadedUsers = users;
  for (auto& [idno, user] : reloadedUsers.all()) {
    user.pwdHash.clear();
    user.mustChangePwd = user.demo.mustChangePwd;
  }
  CertStore reloadedCerts;
  std::string error;
  if (state.load(reloadedUsers, reloadedCerts, error) == StateFile::Load::Loaded) {
    users = std::move(reloadedUsers);
    certs = std::move(reloadedCerts);
  }
  return false;
}

UserAccount* GatewayContext::sessionUser(const ApiRequest& request) {
  return request.session ? users.byIdno(request.session->userKey) : nullptr;
}

std::optional<ApiReply> GatewayContext::refuseFirstLoginSession(const ApiRequest& request) const {
  if (request.session && request.session->mustChangePwd) return rejections::kChangePwdFirst.reply();
  return std::nullopt;
}

std::optional<ApiReply> GatewayContext::identifyCaller(const ApiRequest& request, UserAccount*& user) {
  if (auto refused = refuseFirstLoginSession(request)) return refused;
  user = sessionUser(request);
  if (!user) return rejections::kSessionExpired.reply();
  const std::pair<const char*, const std::string*> identity[] = {{"idno", &user->demo.idno},
                                                                 {"userId", &user->demo.idno},
                                                                 {"agCode", &user->demo.brnhId},
                                                                 {"account", &user->demo.acctNo}};
  for (const auto& [name, expected] : identity) {
    const auto value = request.param(name);
    if (value && !value->empty() && *value != *expected) return rejections::kIdentityMismatch.reply();
  }
  const auto cn = request.param("cn");
  if (cn && *cn != user->demo.cn) return rejections::kCnMismatch.reply();
  return std::nullopt;
}

std::optional<ApiReply> missingParam(const ApiRequest& request, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (!request.params.count(name))
      return ApiReply::reject(rejections::kMissingParam.code,
                              std::string(rejections::kMissingParam.message) + "(" + name + ")");
  }
  return std::nullopt;
}

}  // namespace karv::gateway
