#include "protocol/KARVLib.h"

#include <libxml/parser.h>

#include "KarvBuildConfig.h"

namespace karv {

KARVLib::KARVLib() : KARVLib(GatewayEndpoint::fromBuild()) {}

KARVLib::KARVLib(GatewayEndpoint endpoint) : endpoint_(std::move(endpoint)), exchange_(endpoint_) {
  // The calls may run on a worker thread: libxml2 sets up its globals once,
  // here, on the thread that makes the client (libcurl's are set up once, at
  // the first request, whatever its thread).
  xmlInitParser();
}

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

GatewayReply KARVLib::postPubKey(const std::string& apiName, const ParamList& params) const {
  std::optional<std::string> text;
  const int32_t status = httpPubKeyEncPost(apiName, params, text);
  return GatewayReply::open(status, text);
}

GatewayReply KARVLib::postAes(const std::string& apiName, const ParamList& params) const {
  std::optional<std::string> text;
  const int32_t status = httpAesEncPost(apiName, params, text);
  return GatewayReply::open(status, text);
}

int32_t KARVLib::versionCheck(std::optional<std::string>& /*errMsg*/) {
  const GatewayReply reply = postPubKey("checkVersion", ParamList{{"os", "mac"}, {"version", build::kClientVersion}});
  if (reply.transportFailed()) return kVersionNoReply;
  return reply.accepted() ? 0 : kVersionRejected;
}

}  // namespace karv
