#pragma once
// The API handlers, by area. Each area registers its APIs on the gateway; the
// handlers run under the gateway's lock and work on the shared context.
#include <initializer_list>

#include "ApiTypes.h"

namespace karv::gateway {

class DevGateway;
class GatewayContext;

struct ApiDefinition {
  const char* name;
  Regime regime;
  ApiReply (*handler)(GatewayContext&, ApiRequest&);
};
void registerApis(DevGateway& gateway, GatewayContext& ctx, std::initializer_list<ApiDefinition> apis);

// "checkVersion", "getSysCfg", "doBtsLogin", "changeBtsLoginPwd", "iAmAlive", "doLogout".
void registerAccountApis(DevGateway& gateway, GatewayContext& ctx);
// "queryContactInfo", "sendAuthCode", "verifyAuthCode", "validateBtsCertDlPwd".
void registerVerificationApis(DevGateway& gateway, GatewayContext& ctx);
// "getFnStatus", "applyCert", "renewCert", "revokeCert", "activeCert", "qryCert", "qryLastActiveCert".
void registerCertificateApis(DevGateway& gateway, GatewayContext& ctx);

}  // namespace karv::gateway
