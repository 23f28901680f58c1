#include "gateway/GatewayConfig.h"

#include <cstdlib>

#include "KarvBuildConfig.h"
#include "gateway/DataLines.h"

namespace karv::gateway {
namespace {
constexpr char kOriginPlaceholder[] = "#gatewayOrigin#";

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}
std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}
}  // namespace

GatewayConfig::GatewayConfig()
    : values_{
          // Served to the client.
          {"default.pfxFilePath", "#userHome#/KARV/"},
          {"default.pfxFileName", "#userId#.pfx"},
          {"pfx.pwd.prompt", "憑證密碼須為8至16個字元,並包含數字及小寫英文字母"},
          {"pfx.pwd.minLen", "8"},
          {"pfx.pwd.maxLen", "16"},
          {"pfx.pwd.digit", "Y"},
          {"pfx.pwd.UCAlpha", "N"},
          {"pfx.pwd.LCAlph", "Y"},
          {"pfx.pwd.punctuation", "N"},
          {"depCert.mode", "M"},
          {"depCert.selectedBrowser", "DEFAULT"},
          {"depCert.templateUrl", std::string(kOriginPlaceholder) + "/RACGW/depCert/template.html"},
          {"app.mac.dlUrl", std::string(kOriginPlaceholder) + "/RACGW/download/KARV.deb"},
          // The gateway's own behaviour.
          {cfg::kSessionIdleSeconds, "1200"},
          {cfg::kCodeLifetimeSeconds, "300"},
          {cfg::kCodeMaxTries, "5"},
          {cfg::kRenewWithinDays, "30"},
          {cfg::kCertValidityDays, "365"},
          {cfg::kApplyCertForm, "pkcs7"},
          {cfg::kRenewCertForm, "der"},
          {cfg::kRequireVerification, "Y"},
          {cfg::kAcceptedVersions, build::kClientVersion},
          {cfg::kInstallerFile, ""},
      } {}

bool GatewayConfig::loadFile(const std::string& path, std::string& error) {
  return forEachDataLineOfFile(
      path,
      [this](const std::string& line, std::string& what) {
        const auto eq = line.find('=');
        if (eq == std::string::npos || trimmed(line.substr(0, eq)).empty()) {
          what = "expected key=value";
          return false;
        }
        values_[trimmed(line.substr(0, eq))] = trimmed(line.substr(eq + 1));
        return true;
      },
      error);
}

std::string GatewayConfig::get(const std::string& key) const {
  auto it = values_.find(key);
  return it == values_.end() ? std::string() : it->second;
}

long GatewayConfig::getNumber(const std::string& key, long fallback) const {
  const std::string text = get(key);
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return end == text.c_str() ? fallback : value;
}

std::vector<std::pair<std::string, std::string>> GatewayConfig::served(const std::string& origin) const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& [key, value] : values_)
    if (key.rfind("gateway.", 0) != 0) out.emplace_back(key, replaceAll(value, kOriginPlaceholder, origin));
  return out;
}

std::string GatewayConfig::url(const std::string& key, const std::string& origin) const {
  return replaceAll(get(key), kOriginPlaceholder, origin);
}

}  // namespace karv::gateway
