// Certificate calls of the protocol client: application, renewal,
// revocation, activation and the queries.
#include "crypto/RSAUtility.h"
#include "protocol/KARVLib.h"
#include "system/CommonUtility.h"
#include "system/Log.h"

namespace karv {

std::string KARVLib::stripPemArmour(const std::string& pem) {
  return CommonUtility().regexReplace(pem, kPemArmourPattern, "");
}

int32_t KARVLib::applyCert(const std::string& cn, std::string& b64PrivateKey, std::string& b64Cert, StringMap& certInfo,
                           std::optional<std::string>& errMsg) {
  std::string fnStatus;
  int32_t certCount = 0;
  int32_t effectCertCount = 0;
  if (const int32_t status = getFnStatus(cn, fnStatus, certCount, effectCertCount, errMsg); status != 0) return status;
  // A status that opens no application brings no certificate: a failed
  // application, not a success with nothing to save.
  if (fnStatus.empty() || fnStatus[0] == '0') return kApplyFailed;
  b64PrivateKey.clear();
  std::string csr;
  if (fnStatus[0] == '1') {
    if (const int32_t rc = RSAUtility().createCSR(cn, kNewKeyLength, csr, b64PrivateKey); rc != 0) return rc;
  }
  logLine("ready to send apply cert data to server");
  if (!csr.empty()) csr = stripPemArmour(csr);
  ParamList params{{"csr", csr}};
  params.put("userId", getUserIdno());
  const GatewayReply reply = postAes("applyCert", params);
  if (!reply.accepted()) {
    reply.passMessage(errMsg);
    return kApplyFailed;
  }
  std::string issued = reply.field("cert");
  if (issued.empty()) return kApplyFailed;  // accepted, yet nothing to save
  b64Cert = std::move(issued);
  certInfo = reply.map("//Root/certInfo").value_or(StringMap{});
  return 0;
}

int32_t KARVLib::renewCert(const std::string& cn, const std::string& pfxFilePath, const std::string& pfxFilePwd,
                           std::string& b64Cert, StringMap& certInfo, std::optional<std::string>& errMsg) {
  std::string fnStatus;
  int32_t certCount = 0;
  int32_t effectCertCount = 0;
  if (getFnStatus(cn, fnStatus, certCount, effectCertCount, errMsg) != 0) return 1;
  const std::optional<StringMap> lastActive = getLastActiveCertInfo(cn);
  if (!lastActive) return 1;
  const char renewal = fnStatus.size() > 1 ? fnStatus[1] : '0';
  std::string csr;
  if (renewal == '1') {
    // The new key stays in the key folder, where saving the new .pfx finds it.
    std::string unusedKey;
    if (const int32_t rc = RSAUtility().createCSR(cn, kNewKeyLength, csr, unusedKey); rc != 0) return rc;
  } else if (renewal != '2') {
    return kRenewNotAllowed;
  }
  std::string sign;
  if (!csr.empty()) {
    csr = stripPemArmour(csr);
    Bytes signature;
    const Bytes plain(csr.begin(), csr.end());
    if (const int32_t rc = RSAUtility().signPKCS7(pfxFilePath, pfxFilePwd, plain, signature); rc != 0) return rc;
    sign = CommonUtility().base64Encode(signature);
  }
  ParamList params{{"csr", csr}, {"sign", sign}};
  // A record without "serial" sends no "hexSerial" field (absent is not "").
  if (const auto serial = lastActive->find("serial"); serial != lastActive->end())
    params.put("hexSerial", serial->second);
  const GatewayReply reply = postAes("renewCert", params);
  if (reply.transportFailed()) return reply.status;
  if (!reply.accepted()) return kRenewRejected;  // the table text is shown, not the gateway's
  b64Cert = reply.field("cert");
  certInfo = reply.map("//Root/certInfo").value_or(StringMap{});
  return 0;
}

int32_t KARVLib::revokeCert(const std::string& cn, StringMap* certInfo, std::optional<std::string>& errMsg) {
  logLine("ready to send revoke cert data to server");
  const GatewayReply reply = postAes("revokeCert", ParamList{{"cn", cn}});
  if (!reply.accepted()) {
    reply.passMessage(errMsg);
    return kRevokeFailed;
  }
  if (certInfo) {
    (*certInfo)["rvkCode"] = reply.rtnCode.value_or("");
    (*certInfo)["rvkMsg"] = reply.rtnMsg.value_or("");
  }
  return 0;
}

int32_t KARVLib::activeCert(int32_t certApplyId, const std::optional<std::string>& pfxFilePath,
                            std::optional<std::string>& /*errMsg: never written*/) {
  ParamList params{{"certApplyId", std::to_string(certApplyId)}};
  params.put("certPath", pfxFilePath);
  return postAes("activeCert", params).accepted() ? 0 : kActivateFailed;
}

int32_t KARVLib::qrySvrCertInfo(const std::string& cn, std::optional<StringMap>& certInfo,
                                std::optional<std::string>& errMsg) {
  const GatewayReply reply = postAes("qryCert", ParamList{{"cn", cn}});
  if (reply.transportFailed()) return reply.status;
  if (reply.accepted())
    certInfo = reply.map("//Root");
  else
    reply.passMessage(errMsg);
  return 0;
}

std::optional<StringMap> KARVLib::getLastActiveCertInfo(const std::string& cn) {
  const GatewayReply reply = postAes("qryLastActiveCert", ParamList{{"cn", cn}});
  if (!reply.accepted()) return std::nullopt;
  return reply.map("//Root");
}

int32_t KARVLib::qryClntCertInfo(const std::string& /*cn*/, const std::string& pfxFilePath,
                                 const std::string& pfxFilePwd, StringMap& certInfo,
                                 std::optional<std::string>& /*errMsg*/) {
  return RSAUtility().loadPfx(pfxFilePath, pfxFilePwd, certInfo);
}

}  // namespace karv
