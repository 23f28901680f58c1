#include "gateway/GatewayApis.h"
#include "gateway/GatewayContext.h"
#include "gateway/PasswordHash.h"

namespace karv::gateway {
using namespace rejections;

namespace {
bool isOpType(const std::string& op) { return op == "Apply" || op == "Revoke"; }
}  // namespace

ApiReply queryContactInfo(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {}, user)) return *refused;
  return ApiReply::ok().add("email", user->demo.email).add("phone", user->demo.phone).add("birth", user->demo.birth);
}

ApiReply sendAuthCode(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {"authType", "opType"}, user)) return *refused;
  if (!isOpType(r.params["opType"])) return kBadOpType.reply();
  const bool byMail = r.params["authType"] == "1";
  const char* field = byMail ? "mail" : "phone";
  if (auto missing = missingParam(r, {field})) return *missing;
  const std::string& onFile = byMail ? user->demo.email : user->demo.phone;
  if (onFile.empty()) return kNoContact.reply();
  if (r.params[field] != onFile) return kContactMismatch.reply();
  if (!ctx.outbox.send(user->demo.idno, byMail ? "mail" : "sms", onFile, r.params["opType"]))
    return kCodeNotDelivered.reply();
  return ApiReply::ok("驗證碼已寄出");
}

ApiReply verifyAuthCode(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {"authcode", "opType"}, user)) return *refused;
  const std::string& op = r.params["opType"];
  if (!isOpType(op)) return kBadOpType.reply();
  switch (ctx.outbox.verify(user->demo.idno, op, r.params["authcode"])) {
    case Outbox::Check::Ok:
      break;
    case Outbox::Check::Wrong:
      return kCodeWrong.reply();
    case Outbox::Check::Expired:
      return kCodeExpired.reply();
    case Outbox::Check::TooManyTries:
      return kCodeTooManyTries.reply();
    case Outbox::Check::NotSent:
      return kCodeNotSent.reply();
  }
  r.session->verifiedFor.insert(op);
  return ApiReply::ok("驗證成功");
}

ApiReply validateBtsCertDlPwd(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {"pwd"}, user)) return *refused;
  if (!sameSecret(r.params["pwd"], user->demo.dlPwd)) return kDlPwdWrong.reply();
  r.session->verifiedFor.insert("Apply");  // the download password vouches for applications only
  return ApiReply::ok("驗證成功");
}

}  // namespace karv::gateway
