#include "GatewayApis.h"

#include "DevGateway.h"

namespace karv::gateway {

void registerApis(DevGateway& gateway, GatewayContext& ctx, std::initializer_list<ApiDefinition> apis) {
  for (const ApiDefinition& api : apis)
    gateway.registerApi(api.name, api.regime, [&ctx, fn = api.handler](ApiRequest& r) { return fn(ctx, r); });
}

}  // namespace karv::gateway
