#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace karv::gateway {

// The configuration of one gateway run: the settings "getSysCfg" serves to
// the client, and the gateway's own behaviour under keys that begin with
// "gateway." (never served). Defaults are built in; a file of key=value lines
// and programmatic overrides replace them.
class GatewayConfig {
 public:
  GatewayConfig();

  // Lines "key=value"; blank lines and lines starting with "#" are skipped.
  // False (with the reason) for a line without "=" or a file that cannot be read.
  [[nodiscard]] bool loadFile(const std::string& path, std::string& error);
  void set(const std::string& key, const std::string& value) { values_[key] = value; }

  [[nodiscard]] std::string get(const std::string& key) const;
  // The leading decimal integer of the value; fallback when there is none.
  [[nodiscard]] long getNumber(const std::string& key, long fallback) const;
  [[nodiscard]] bool isYes(const std::string& key) const { return get(key) == "Y"; }

  // What "getSysCfg" answers, with "#gatewayOrigin#" replaced by the origin
  // the gateway serves on (scheme://host:port).
  [[nodiscard]] std::vector<std::pair<std::string, std::string>> served(const std::string& origin) const;
  // A gateway URL setting with "#gatewayOrigin#" resolved.
  [[nodiscard]] std::string url(const std::string& key, const std::string& origin) const;

 private:
  std::map<std::string, std::string> values_;
};

// Keys of the gateway's own behaviour.
namespace cfg {
inline constexpr char kSessionIdleSeconds[] = "gateway.sessionIdleSeconds";
inline constexpr char kCodeLifetimeSeconds[] = "gateway.codeLifetimeSeconds";
inline constexpr char kCodeMaxTries[] = "gateway.codeMaxTries";
inline constexpr char kRenewWithinDays[] = "gateway.renewWithinDays";
inline constexpr char kCertValidityDays[] = "gateway.certValidityDays";
inline constexpr char kApplyCertForm[] = "gateway.applyCertForm";  // "pkcs7" or "der"
inline constexpr char kRenewCertForm[] = "gateway.renewCertForm";
inline constexpr char kRequireVerification[] = "gateway.requireVerification";
inline constexpr char kAcceptedVersions[] = "gateway.acceptedVersions";  // comma-separated
inline constexpr char kInstallerFile[] = "gateway.installerFile";        // "" serves a stand-in package
}  // namespace cfg

}  // namespace karv::gateway
