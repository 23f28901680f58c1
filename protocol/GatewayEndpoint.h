#pragma once
#include <string>

namespace karv {

// Where and how the client reaches the RA gateway. The product takes the
// build constants; tests hand in the address of a gateway they started.
struct GatewayEndpoint {
  std::string baseUrl;       // ends in "RACGW/api/"
  std::string publicKeyPem;  // the gateway's RSA public key (PEM)
  std::string extraCaPem;    // extra TLS trust anchor (PEM text), "" for the system store only
  long timeoutSeconds = 60;

  static GatewayEndpoint fromBuild();
  // "https://host:port" of the base URL (the base URL without its path).
  [[nodiscard]] std::string schemeAndHost() const;
};

}  // namespace karv
