// CommonUtility: folders, paths and whole-file operations.
#include <unicode/utf8.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string_view>

#include "system/CommonUtility.h"
#include "system/Log.h"
#include "system/SecureFiles.h"
#include "system/XdgDirs.h"

namespace karv {
namespace {

namespace fs = std::filesystem;

constexpr char kFolderAndName[] = "^(.*)/([^/]+)$";

// Blanks and tabs trimmed at both ends, "\" turned into "/".
std::string cleanedPath(const std::string& path) {
  const auto first = path.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  std::string clean = path.substr(first, path.find_last_not_of(" \t") - first + 1);
  for (char& c : clean)
    if (c == '\\') c = '/';
  return clean;
}

bool isSameOrInside(const std::string& folder, const std::string& root) {
  auto normal = [](const std::string& p) {
    std::string s = fs::path(p).lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
  };
  const std::string f = normal(folder);
  const std::string r = normal(root);
  return f == r || f.rfind(r + "/", 0) == 0;
}

bool isUtf8(std::string_view text) {
  if (text.size() > static_cast<size_t>(INT32_MAX)) return false;
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(text.data(), i, length, c);
    if (c < 0) return false;
  }
  return true;
}

// Makes a cleaned folder path. Inside the hidden working folder everything is
// owner-only, and nothing is made when that folder is a link or not the
// user's own.
bool makeFolder(const std::string& clean) {
  const std::string hidden = privateKeyFolder();
  if (isSameOrInside(clean, hidden)) return makeOwnerOnlyFolder(hidden) && makeFolders(clean, 0700);
  return makeFolders(clean);
}

bool saveBytes(const CommonUtility& utility, const std::string& filePath, std::string_view bytes, mode_t mode) {
  if (bytes.empty()) return false;
  const std::string clean = cleanedPath(filePath);
  if (clean.empty()) return false;
  const std::string folder = utility.getFolderNameFromFullPath(clean);
  logf("save file to: %s", folder.c_str());
  // A bare file name has no folder of its own to make (the pattern leaves it whole).
  if (folder != clean && !makeFolder(folder)) return false;
  return writeFileAtomically(clean, bytes, mode);
}

}  // namespace

std::string CommonUtility::getUserHomePath() const { return userHomePath(); }

std::string CommonUtility::getDeskTopPath() const { return xdg::userDir("DESKTOP", "Desktop"); }

std::string CommonUtility::getDownloadsPath() const { return userHomePath() + "/Downloads"; }

std::string CommonUtility::getPrivateKeyFolder() const { return privateKeyFolder(); }

std::string CommonUtility::getFolderNameFromFullPath(const std::string& path) const {
  return regexReplace(path, kFolderAndName, "$1");
}

std::string CommonUtility::getFileNameFromFullPath(const std::string& path) const {
  return regexReplace(path, kFolderAndName, "$2");
}

void CommonUtility::checkAndMakeDir(const std::string& folderPath) const {
  const std::string clean = cleanedPath(folderPath);
  if (!clean.empty()) (void)makeFolder(clean);
}

bool CommonUtility::saveFile(const std::string& filePath, const Bytes& fileData, mode_t mode) const {
  return saveBytes(*this, filePath, std::string_view(reinterpret_cast<const char*>(fileData.data()), fileData.size()),
                   mode);
}

bool CommonUtility::saveFile(const std::string& filePath, const std::string& fileStrData, mode_t mode) const {
  return saveBytes(*this, filePath, fileStrData, mode);
}

std::optional<std::string> CommonUtility::getFileAsStr(const std::string& filePath) const {
  auto text = readWholeFile(filePath);
  if (!text || !isUtf8(*text)) return std::nullopt;
  return text;
}

std::optional<Bytes> CommonUtility::getFile(const std::string& filePath) const {
  auto bytes = readWholeFile(filePath);
  if (!bytes) return std::nullopt;
  return Bytes(bytes->begin(), bytes->end());
}

void CommonUtility::removeFile(const std::string& path) const {
  // One file only: unlink() refuses folders, and a link goes, not its target.
  (void)::unlink(path.c_str());
}

void CommonUtility::removeFile(const std::string& folderPath, const std::string& filePattern) const {
  std::vector<std::string> matching;
  std::error_code ec;
  for (fs::directory_iterator it(folderPath, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_directory(typeError) || it->is_symlink(typeError)) continue;
    if (regexMatch(it->path().filename().string(), filePattern)) matching.push_back(it->path().string());
  }
  for (const auto& file : matching) removeFile(file);
}

}  // namespace karv
