#pragma once
// The API handlers, by area (one source file each). They run under the
// gateway's lock and work on the shared context.
#include "gateway/ApiTypes.h"

namespace karv::gateway {

class DevGateway;
class GatewayContext;

// AccountApis.cpp
ApiReply checkVersion(GatewayContext& ctx, ApiRequest& r);
ApiReply getSysCfg(GatewayContext& ctx, ApiRequest& r);
ApiReply doBtsLogin(GatewayContext& ctx, ApiRequest& r);
ApiReply changeBtsLoginPwd(GatewayContext& ctx, ApiRequest& r);
ApiReply iAmAlive(GatewayContext& ctx, ApiRequest& r);
ApiReply doLogout(GatewayContext& ctx, ApiRequest& r);
// VerificationApis.cpp
ApiReply queryContactInfo(GatewayContext& ctx, ApiRequest& r);
ApiReply sendAuthCode(GatewayContext& ctx, ApiRequest& r);
ApiReply verifyAuthCode(GatewayContext& ctx, ApiRequest& r);
ApiReply validateBtsCertDlPwd(GatewayContext& ctx, ApiRequest& r);
// CertificateApis.cpp
ApiReply getFnStatus(GatewayContext& ctx, ApiRequest& r);
ApiReply applyCert(GatewayContext& ctx, ApiRequest& r);
ApiReply renewCert(GatewayContext& ctx, ApiRequest& r);
ApiReply revokeCert(GatewayContext& ctx, ApiRequest& r);
ApiReply activeCert(GatewayContext& ctx, ApiRequest& r);
ApiReply qryCert(GatewayContext& ctx, ApiRequest& r);
ApiReply qryLastActiveCert(GatewayContext& ctx, ApiRequest& r);

// Registers every API above under its name and regime.
void registerGatewayApis(DevGateway& gateway, GatewayContext& ctx);

}  // namespace karv::gateway
