#include "gateway/GatewayContext.h"

#include "gateway/DemoSeed.h"
#include "system/Log.h"

namespace karv::gateway {

bool GatewayContext::openState(const std::string& dataDir, std::string& error) {
  switch (state.load(users, certs, error)) {
    case StateFile::Load::Loaded:
      savedState_ = StateFile::render(users, certs);
      return true;
    case StateFile::Load::Corrupt:
      return false;
    case StateFile::Load::Missing:
      break;
  }
  const DemoSeedPlace place{now(), config.getNumber(cfg::kCertValidityDays, 365), dataDir, keyCacheDir};
  if (!seedDemoCertificates(users, certs, *ca, place, error)) return false;
  savedState_ = StateFile::render(users, certs);
  if (state.write(savedState_)) return true;
  error = "cannot write " + state.path();
  return false;
}

bool GatewayContext::commit() {
  std::string text = StateFile::render(users, certs);
  if (state.write(text)) {
    savedState_ = std::move(text);
    return true;
  }
  logf("karv-gateway: cannot write %s, going back to its last state", state.path().c_str());
  UserStore restoredUsers = users;
  restoredUsers.resetToDemo();
  CertStore restoredCerts;
  std::string error;
  if (StateFile::apply(savedState_, "saved state", restoredUsers, restoredCerts, error)) {
    users = std::move(restoredUsers);
    certs = std::move(restoredCerts);
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

std::optional<ApiReply> GatewayContext::identifyCaller(const ApiRequest& request,
                                                       std::initializer_list<const char*> required,
                                                       UserAccount*& user) {
  if (auto missing = missingParam(request, required)) return missing;
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
