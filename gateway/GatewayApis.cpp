#include "gateway/GatewayApis.h"

#include "gateway/DevGateway.h"

namespace karv::gateway {

void registerGatewayApis(DevGateway& gateway, GatewayContext& ctx) {
  struct Api {
    const char* name;
    Regime regime;
    ApiReply (*handler)(GatewayContext&, ApiRequest&);
  };
  static constexpr Api kApis[] = {
      {"checkVersion", Regime::PublicKey, checkVersion},
      {"getSysCfg", Regime::PublicKey, getSysCfg},
      {"doBtsLogin", Regime::PublicKey, doBtsLogin},
      {"changeBtsLoginPwd", Regime::PublicKey, changeBtsLoginPwd},
      {"iAmAlive", Regime::Aes, iAmAlive},
      {"doLogout", Regime::Aes, doLogout},
      {"queryContactInfo", Regime::Aes, queryContactInfo},
      {"sendAuthCode", Regime::Aes, sendAuthCode},
      {"verifyAuthCode", Regime::Aes, verifyAuthCode},
      {"validateBtsCertDlPwd", Regime::Aes, validateBtsCertDlPwd},
      {"getFnStatus", Regime::Aes, getFnStatus},
      {"applyCert", Regime::Aes, applyCert},
      {"renewCert", Regime::Aes, renewCert},
      {"revokeCert", Regime::Aes, revokeCert},
      {"activeCert", Regime::Aes, activeCert},
      {"qryCert", Regime::Aes, qryCert},
      {"qryLastActiveCert", Regime::Aes, qryLastActiveCert},
  };
  for (const Api& api : kApis)
    gateway.registerApi(api.name, api.regime, [&ctx, fn = api.handler](ApiRequest& r) { return fn(ctx, r); });
}

}  // namespace karv::gateway
