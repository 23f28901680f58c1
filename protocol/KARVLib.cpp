#include "KARVLib.h"

#include "KarvBuildConfig.h"

namespace karv {

KARVLib::KARVLib() : KARVLib(GatewayEndpoint::fromBuild()) {}

KARVLib::KARVLib(GatewayEndpoint endpoint) : endpoint_(std::move(endpoint)), exchange_(endpoint_) {}

std::string KARVLib::getTargetUrl(const std::string& apiName) const {
  if (httpSessionId_ && !httpSessionId_->empty()) return endpoint_.baseUrl + "SID:" + *httpSessionId_ + "/" + apiName;
  return endpoint_.baseUrl + apiName;
}

int32_t KARVLib::httpPubKeyEncPost(const std::string& apiName, const ParamList& postParams,
                                   std::optional<std::string>& dataOut) const {
  return exchange_.httpPubKeyEncPost(getTargetUrl(apiName), postParams, dataOut);
}

int32_t KARVLib::httpAesEncPost(const std::string& apiName, const ParamList& postParams,
                                std::optional<std::string>& dataOut) const {
  if (!httpAesKey_ || httpAesKey_->empty()) return HttpTransport::kNotSent;
  return exchange_.httpAesEncPost(getTargetUrl(apiName), *httpAesKey_, postParams, dataOut);
}

int32_t KARVLib::versionCheck(std::optional<std::string>& /*errMsg*/) {
  std::optional<std::string> reply;
  const ParamList params{{"os", "mac"}, {"version", build::kClientVersion}};
  if (httpPubKeyEncPost("checkVersion", params, reply) != HttpTransport::kResponse) return kVersionNoReply;
  std::optional<std::string> rtnCode;
  std::optional<std::string> rtnMsg;
  auto doc = ReplyEnvelope::getXmlDoc(reply, rtnCode, rtnMsg);
  return rtnCode == "0" ? 0 : kVersionRejected;
}

}  // namespace karv
