#include "protocol/GatewayEndpoint.h"

#include "KarvBuildConfig.h"

namespace karv {

GatewayEndpoint GatewayEndpoint::fromBuild() {
  return GatewayEndpoint{build::kGatewayBaseUrl, build::kPublicKeyPem, build::kExtraCaPem, 60};
}

std::string GatewayEndpoint::schemeAndHost() const {
  const auto schemeEnd = baseUrl.find("://");
  if (schemeEnd == std::string::npos) return baseUrl;
  const auto pathStart = baseUrl.find('/', schemeEnd + 3);
  return pathStart == std::string::npos ? baseUrl : baseUrl.substr(0, pathStart);
}

}  // namespace karv
