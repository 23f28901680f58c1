#include "system/XdgDirs.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

#include "system/SecureFiles.h"

namespace karv::xdg {
namespace {

std::string envOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? std::string(value) : fallback;
}

std::vector<std::string> envListOr(const char* name, const std::vector<std::string>& fallback) {
  std::vector<std::string> dirs;
  if (const char* value = std::getenv(name)) {
    std::istringstream in(value);
    for (std::string dir; std::getline(in, dir, ':');)
      if (!dir.empty() && dir[0] == '/') dirs.push_back(dir);
  }
  return dirs.empty() ? fallback : dirs;
}

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The quoted value of one user-dirs.dirs line: "$HOME/Desktop" or "/abs".
std::string expandUserDir(const std::string& quoted, const std::string& home) {
  std::string value;
  for (size_t i = 0; i < quoted.size(); ++i) {
    if (quoted[i] == '\\' && i + 1 < quoted.size()) ++i;  // shell-style escape
    value.push_back(quoted[i]);
  }
  if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) return home + value.substr(5);
  if (value.rfind("~", 0) == 0 && (value.size() == 1 || value[1] == '/')) return home + value.substr(1);
  if (!value.empty() && value[0] == '/') return value;
  return {};  // relative paths are not allowed there
}

}  // namespace

std::string dataHome() { return envOr("XDG_DATA_HOME", userHomePath() + "/.local/share"); }

std::vector<std::string> dataDirs() { return envListOr("XDG_DATA_DIRS", {"/usr/local/share", "/usr/share"}); }

std::string configHome() { return envOr("XDG_CONFIG_HOME", userHomePath() + "/.config"); }

std::vector<std::string> configDirs() { return envListOr("XDG_CONFIG_DIRS", {"/etc/xdg"}); }

std::vector<std::string> currentDesktops() {
  std::vector<std::string> desktops;
  const char* value = std::getenv("XDG_CURRENT_DESKTOP");
  std::istringstream in(value ? value : "");
  for (std::string name; std::getline(in, name, ':');) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (!name.empty()) desktops.push_back(name);
  }
  return desktops;
}

std::string userDir(const std::string& name, const std::string& fallback) {
  const std::string home = userHomePath();
  const std::string key = "XDG_" + name + "_DIR=\"";
  std::string found;
  if (auto text = readWholeFile(configHome() + "/user-dirs.dirs")) {
    std::istringstream in(*text);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(key, 0) != 0 || line.size() <= key.size() || line.back() != '"') continue;
      found = expandUserDir(line.substr(key.size(), line.size() - key.size() - 1), home);
    }
  }
  return withoutTrailingSlash(found.empty() ? home + "/" + fallback : found);
}

}  // namespace karv::xdg
