// KARVLib: the gateway's configuration, keep-alive, error texts and the
// download of a newer client.
#include <cctype>
#include <cerrno>

#include "CommonUtility.h"
#include "ErrMsgTable.h"
#include "KARVLib.h"
#include "KarvBuildConfig.h"

namespace karv {
namespace {

// Installers are large; the gateway's request timeout would cut them off.
constexpr long kDownloadTimeoutSeconds = 600;

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

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

// ".deb" of "https://host/dl/karv_1.1_amd64.deb?x=1"; ".pkg" when the address
// names no file extension of letters and digits.
std::string installerExtension(const std::string& url) {
  const auto scheme = url.find("://");
  const auto pathStart = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (pathStart == std::string::npos) return ".pkg";
  const std::string path = url.substr(pathStart, url.find_first_of("?#", pathStart) - pathStart);
  const std::string name = path.substr(path.find_last_of('/') + 1);
  const auto dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size() || name.size() - dot > 16) return ".pkg";
  for (size_t i = dot + 1; i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return ".pkg";
  return name.substr(dot);
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
  // The folder already ends in "/"; a missing part reads as "".
  std::string path = valueOrEmpty(cfg, "default.pfxFilePath") + valueOrEmpty(cfg, "default.pfxFileName");
  path = replaceAll(path, "#userHome#", valueOrEmpty(cfg, "env.userHome"));
  path = replaceAll(path, "#desktop#", valueOrEmpty(cfg, "env.userDeskTop"));
  path = replaceAll(path, "#userId#", currentUserIdno_.value_or(""));
  path = replaceAll(path, "#cn#", currentUserCn_.value_or(""));
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
  const std::string path =
      CommonUtility().getUserHomePath() + "/Downloads/" + applicationName() + installerExtension(*url);
  const HttpTransport transport(endpoint_.extraCaPem, kDownloadTimeoutSeconds);
  return transport.httpDownloadAsFile(*url, path) ? path : std::string();
}

}  // namespace karv
