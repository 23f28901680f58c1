// KARVLib: the gateway's configuration, keep-alive, error texts and the
// download of a newer client.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <string_view>

#include "KarvBuildConfig.h"
#include "protocol/ErrMsgTable.h"
#include "protocol/KARVLib.h"
#include "system/CommonUtility.h"
#include "system/Log.h"

namespace karv {
namespace {

// Installers are large; the gateway's request timeout would cut them off.
constexpr long kDownloadTimeoutSeconds = 600;
// The only installer this platform's system opens for the user.
constexpr std::string_view kInstallerExtension = ".deb";
constexpr std::string_view kPfxExtension = ".pfx";
constexpr char kFallbackPfxName[] = "/cert.pfx";

// "C:\certs" -> "C:/certs/"; "" stays "" (no folder given, no root folder made of it).
std::string asFolderPath(std::string folder) {
  for (char& c : folder)
    if (c == '\\') c = '/';
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  return folder;
}

std::string valueOrEmpty(const StringMap& map, const std::string& key) {
  const auto it = map.find(key);
  return it == map.end() ? std::string() : it->second;
}

// The file extension of the address's path in lower case ("" without one):
// ".deb" of "https://host/dl/karv_1.1_amd64.DEB?x=1".
std::string urlFileExtension(const std::string& url) {
  const auto scheme = url.find("://");
  const auto pathStart = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (pathStart == std::string::npos) return {};
  const std::string path = url.substr(pathStart, url.find_first_of("?#", pathStart) - pathStart);
  const std::string name = path.substr(path.find_last_of('/') + 1);
  const auto dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string extension = name.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// What an ID number or a common name is made of: ASCII letters, digits and "-".
bool isPlainName(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-';
  });
}

// The configured .pfx path when it is an absolute, normalised path inside
// the home folder naming a .pfx file: a hostile configuration must not aim
// the write at another file of the user.
bool isSafePfxPath(const std::string& path, const std::string& home) {
  namespace fs = std::filesystem;
  std::string root = fs::path(home).lexically_normal().string();
  while (!root.empty() && root.back() == '/') root.pop_back();
  const std::string name = path.substr(path.find_last_of('/') + 1);
  return !root.empty() && path.rfind(root + "/", 0) == 0 && fs::path(path).lexically_normal() == path &&
         name.size() > kPfxExtension.size() && name.ends_with(kPfxExtension);
}

}  // namespace

bool KARVLib::loadSysCfg() {
  const GatewayReply reply = postPubKey("getSysCfg", ParamList{{"version", build::kClientVersion}});
  if (!reply.accepted()) return false;
  auto cfg = reply.map("//Root");
  if (!cfg) return false;

  const CommonUtility utility;
  (*cfg)["env.userHome"] = utility.getUserHomePath();
  (*cfg)["env.localAppDataPath"] = "";
  (*cfg)["env.userDeskTop"] = utility.getDeskTopPath();
  if (auto folder = cfg->find("default.pfxFilePath"); folder != cfg->end())
    folder->second = asFolderPath(folder->second);
  (*cfg)["env.userPfxFilePwd"] = "";
  currentPfxFilePwd_ = "";
  (*cfg)["env.userPrivateKeyFolder"] = utility.getPrivateKeyFolder();
  (*cfg)["env.clientVersion"] = build::kClientVersion;
  svrCfg_ = std::move(cfg);
  return true;
}

void KARVLib::fixUserPfxFilePath(StringMap& cfg) {
  const std::string home = valueOrEmpty(cfg, "env.userHome");
  // The folder already ends in "/"; a missing part reads as "".
  std::string path = valueOrEmpty(cfg, "default.pfxFilePath") + valueOrEmpty(cfg, "default.pfxFileName");
  const std::string idno = currentUserIdno_.value_or("");
  const std::string cn = currentUserCn_.value_or("");
  // The gateway's values go into a path: nothing but plain names.
  bool safe = (path.find("#userId#") == std::string::npos || isPlainName(idno)) &&
              (path.find("#cn#") == std::string::npos || isPlainName(cn));
  path = CommonUtility::replaceAll(path, "#userHome#", home);
  path = CommonUtility::replaceAll(path, "#desktop#", valueOrEmpty(cfg, "env.userDeskTop"));
  path = CommonUtility::replaceAll(path, "#userId#", idno);
  path = CommonUtility::replaceAll(path, "#cn#", cn);
  safe = safe && isSafePfxPath(path, home);
  if (!safe) path = home + kFallbackPfxName;
  cfg["env.userPfxFilePath"] = path;
  currentPfxFilePath_ = path;
}

std::optional<std::string> KARVLib::getSysCfg(const std::string& key) {
  if (!svrCfg_ && !loadSysCfg()) return std::nullopt;
  if (key.empty()) return std::nullopt;
  // Computed once, at the first read after the user's ID number is known.
  if (!svrCfg_->count("env.userPfxFilePath") && currentUserIdno_ && !currentUserIdno_->empty())
    fixUserPfxFilePath(*svrCfg_);
  const auto it = svrCfg_->find(key);
  if (it == svrCfg_->end()) return std::nullopt;
  return it->second;
}

int32_t KARVLib::iAmAlive() {
  std::optional<std::string> reply;
  (void)httpAesEncPost("iAmAlive", ParamList{{"version", build::kClientVersion}}, reply);
  return 0;
}

std::string KARVLib::getErrMsg(int32_t code) const {
  if (const auto text = errMsgText(code)) return std::string(*text);
  return std::to_string(code);
}

std::string KARVLib::applicationName() const {
  return applicationName_.empty() ? std::string(program_invocation_short_name) : applicationName_;
}

std::string KARVLib::dlNewClient() {
  const auto url = getSysCfg("app.mac.dlUrl");
  if (!url || url->empty()) return {};
  // The file is handed to the system to open: only a package it installs,
  // and only over verified TLS (redirects included).
  if (!HttpTransport::isHttpsUrl(*url) || urlFileExtension(*url) != kInstallerExtension) {
    logLine("download refused: not an https address of a .deb package");
    return {};
  }
  const std::string path =
      CommonUtility().getDownloadsPath() + "/" + applicationName() + std::string(kInstallerExtension);
  const HttpTransport transport(endpoint_.extraCaPem, kDownloadTimeoutSeconds);
  return transport.httpDownloadAsFile(*url, path) ? path : std::string();
}

}  // namespace karv
