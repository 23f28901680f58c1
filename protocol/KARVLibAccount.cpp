// Login and account calls of the protocol client.
#include <charconv>

#include "KarvBuildConfig.h"
#include "protocol/KARVLib.h"
#include "system/Log.h"

namespace karv {
namespace {

// The leading decimal integer of a text; 0 when it does not begin with one.
int32_t leadingInt(const std::string& text) {
  int32_t value = 0;
  const char* begin = text.data();
  if (!text.empty() && text[0] == '+') ++begin;
  const auto [ptr, ec] = std::from_chars(begin, text.data() + text.size(), value);
  return (ec == std::errc() && ptr != begin) ? value : 0;
}

}  // namespace

int32_t KARVLib::login(std::optional<std::string>& idno, std::optional<std::string>& agCode,
                       std::optional<std::string>& accNo, const std::optional<std::string>& pwd,
                       std::optional<std::string>& errMsg, const std::string& loginType) {
  ParamList params{{"loginType", loginType}};
  params.put("brnhId", agCode);
  params.put("acctNo", accNo);
  params.put("idno", idno);
  params.put("pwd", pwd);
  const GatewayReply reply = postPubKey("doBtsLogin", params);
  if (reply.transportFailed()) return reply.status;
  const bool firstLogin = reply.doc && reply.rtnCode == "999";
  if (!reply.accepted() && !firstLogin) {
    reply.passMessage(errMsg);
    return kLoginRejected;
  }
  idno = reply.field("idno");
  agCode = reply.field("brnhId");
  accNo = reply.field("acctNo");
  // The user's numbers end up in paths and names (the .pfx is named after
  // the ID number by default): no log line shows them in clear.
  for (const std::string& personal : {*idno, *accNo, reply.field("cn")}) maskInLog(personal);
  setUserIdno(idno);
  setAgcode(agCode);
  setAccount(accNo);
  setAesKey(reply.field("aeskey"));
  setSessionId(reply.field("sessionId"));
  setCn(reply.field("cn"));
  if (firstLogin) {
    reply.passMessage(errMsg);
    return kFirstLoginChange;
  }
  (void)getSysCfg("");
  return 0;
}

int32_t KARVLib::changeBtsLoginPwd(const std::optional<std::string>& idno, const std::optional<std::string>& oldPwd,
                                   const std::optional<std::string>& newPwd, std::optional<std::string>& errMsg) {
  ParamList params;
  params.put("idno", idno);
  params.put("oldPwd", oldPwd);
  params.put("newPwd", newPwd);
  const GatewayReply reply = postPubKey("changeBtsLoginPwd", params);
  if (reply.transportFailed()) return reply.status;
  if (reply.accepted()) {
    (void)getSysCfg("");
    return 0;
  }
  errMsg = "使用者初次登入變更密碼失敗";
  return kFirstLoginChange;
}

int32_t KARVLib::logout(const std::optional<std::string>& /*idno: not sent*/) {
  const GatewayReply reply = postAes("doLogout", ParamList{{"version", build::kClientVersion}});
  if (reply.transportFailed()) return reply.status;
  return reply.accepted() ? 0 : kLogoutRejected;
}

int32_t KARVLib::getFnStatus(const std::string& cn, std::string& fnStatus, int32_t& certCount, int32_t& effectCertCount,
                             std::optional<std::string>& errMsg) {
  if (cn.empty()) return kFnStatusNoCn;
  const GatewayReply reply = postAes("getFnStatus", ParamList{{"cn", cn}});
  if (reply.transportFailed()) return kFnStatusRejected;
  if (!reply.accepted()) {
    reply.passMessage(errMsg);
    return kFnStatusRejected;
  }
  fnStatus = reply.field("fnStatus");
  certCount = leadingInt(reply.field("certCount"));
  effectCertCount = leadingInt(reply.field("effectCertCount"));
  return 0;
}

int32_t KARVLib::queryContactInfo(std::string& email, std::string& phone, std::string& birth,
                                  std::optional<std::string>& errMsg) {
  logLine("ready to send query ContactInfo data to server");
  ParamList params;
  params.put("agCode", getAgcode());
  params.put("account", getAccount());
  const GatewayReply reply = postAes("queryContactInfo", params);
  if (!reply.accepted()) {
    reply.passMessage(errMsg);
    return kContactInfoFailed;
  }
  email = reply.field("email");
  phone = reply.field("phone");
  birth = reply.field("birth");
  return 0;
}

int32_t KARVLib::sendAuthCode(const std::string& mail, const std::string& phone, const std::string& authType,
                              const std::string& opType, std::optional<std::string>& errMsg) {
  ParamList params{{"authType", authType}, {"opType", opType}};
  params.put("idno", getUserIdno());
  params.put("agCode", getAgcode());
  params.put("account", getAccount());
  if (authType == "1")
    params.put("mail", mail);
  else
    params.put("phone", phone);
  const GatewayReply reply = postAes("sendAuthCode", params);
  if (reply.accepted()) return 0;
  reply.passMessage(errMsg);
  return kSendAuthCodeFailed;
}

int32_t KARVLib::validateBtsCertDlPwd(const std::string& pwd, std::optional<std::string>& errMsg) {
  ParamList params{{"pwd", pwd}};
  params.put("idno", getUserIdno());
  const GatewayReply reply = postAes("validateBtsCertDlPwd", params);
  if (reply.transportFailed()) return reply.status;
  if (reply.accepted()) return 0;
  reply.passMessage(errMsg);
  return kCertDlPwdRejected;
}

int32_t KARVLib::VerifyAuthCode(const std::string& authCode, const std::string& opType,
                                std::optional<std::string>& errMsg) {
  ParamList params{{"authcode", authCode}, {"opType", opType}};
  params.put("idno", getUserIdno());
  params.put("agCode", getAgcode());
  params.put("account", getAccount());
  const GatewayReply reply = postAes("verifyAuthCode", params);
  if (reply.accepted()) return 0;
  reply.passMessage(errMsg);
  return kVerifyAuthCodeFailed;
}

}  // namespace karv
