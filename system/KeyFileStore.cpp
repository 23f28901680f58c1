#include "system/KeyFileStore.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "system/Log.h"
#include "system/SecureFiles.h"

namespace karv {
namespace {
constexpr size_t kTimestampDigits = 17;
constexpr char kKeySuffix[] = ".p8";
// How many later milliseconds are tried before giving up on a free name.
constexpr int kNameAttempts = 1000;
}  // namespace

KeyFileStore::KeyFileStore(Clock clock) : KeyFileStore(privateKeyFolder(), std::move(clock)) {}
KeyFileStore::KeyFileStore(std::string folder, Clock clock) : folder_(std::move(folder)), clock_(std::move(clock)) {}

std::string KeyFileStore::timestampName(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
  const int milli = static_cast<int>((ms % 1000 + 1000) % 1000);
  std::tm local{};
  char text[32] = {};
  if (!::localtime_r(&seconds, &local) || std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local) != 14) return {};
  std::snprintf(text + 14, sizeof text - 14, "%03d", milli);
  return text;
}

bool KeyFileStore::isKeyFileName(const std::string& name) {
  if (name.size() != kTimestampDigits + sizeof kKeySuffix - 1) return false;
  return std::all_of(name.begin(), name.begin() + kTimestampDigits, [](char c) { return c >= '0' && c <= '9'; }) &&
         name.compare(kTimestampDigits, std::string::npos, kKeySuffix) == 0;
}

std::optional<std::string> KeyFileStore::saveNewKey(const std::string& pemKey) const {
  logf("save file to: %s", folder_.c_str());
  // The folder holds private keys: owner only, also when it existed before.
  if (!makeOwnerOnlyFolder(folder_)) {
    logf("make folder %s failed", folder_.c_str());
    return std::nullopt;
  }
  auto when = clock_();
  for (int attempt = 0; attempt < kNameAttempts; ++attempt, when += std::chrono::milliseconds(1)) {
    const std::string name = timestampName(when);
    if (name.empty()) break;
    const std::string path = folder_ + "/" + name + kKeySuffix;
    switch (writeNewFileAtomically(path, pemKey, 0600)) {
      case NewFileResult::kWritten:
        return path;
      case NewFileResult::kExists:
        continue;
      case NewFileResult::kFailed:
        return std::nullopt;
    }
  }
  logf("no free key file name in %s", folder_.c_str());
  return std::nullopt;
}

std::optional<std::vector<std::string>> KeyFileStore::keyFiles() const {
  namespace fs = std::filesystem;
  // Keys are taken only from the user's own folder, never through a link.
  if (!isOwnRealFolder(folder_)) return std::nullopt;
  std::error_code ec;
  fs::directory_iterator it(folder_, ec);
  if (ec) return std::nullopt;
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return std::nullopt;
    const std::string name = it->path().filename().string();
    if (isKeyFileName(name)) names.push_back(name);
  }
  std::sort(names.rbegin(), names.rend());
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (const auto& n : names) paths.push_back(folder_ + "/" + n);
  return paths;
}

bool KeyFileStore::removeKeyFile(const std::string& path) const {
  namespace fs = std::filesystem;
  const fs::path file(path);
  if (file.parent_path() != fs::path(folder_) || !isKeyFileName(file.filename().string())) return false;
  std::error_code ec;
  if (!fs::remove(file, ec)) {
    logf("remove key file %s failed", path.c_str());
    return false;
  }
  logf("key file %s removed", path.c_str());
  return true;
}

}  // namespace karv
