#pragma once
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "system/Bytes.h"

namespace karv {

// The client's stateless toolbox: encodings, files and paths, patterns and
// the current time as text. Every operation works on a fresh instance.
class CommonUtility {
 public:
  // --- Encodings ---
  // One line of RFC 4648 base64 with "=" padding; "" for no bytes.
  [[nodiscard]] std::string base64Encode(const std::uint8_t* data, int32_t dataSize) const;
  [[nodiscard]] std::string base64Encode(const std::string& text) const;
  [[nodiscard]] std::string base64Encode(const Bytes& data) const;
  // Strict: white space, line breaks, foreign characters or bad padding give none.
  [[nodiscard]] std::optional<Bytes> base64Decode(const std::string& text) const;

  // Upper-case hexadecimal, two digits per byte, no separators.
  [[nodiscard]] std::string hexEncode(const std::uint8_t* data, int32_t dataSize) const;
  [[nodiscard]] std::string hexEncode(const Bytes& data) const;

  // --- Folders and paths (no trailing "/") ---
  [[nodiscard]] std::string getUserHomePath() const;
  // The XDG desktop folder (user-dirs.dirs "XDG_DESKTOP_DIR", else <home>/Desktop).
  [[nodiscard]] std::string getDeskTopPath() const;
  // Where a downloaded installer goes: <home>/Downloads.
  [[nodiscard]] std::string getDownloadsPath() const;
  // The hidden working folder <home>/.plix.
  [[nodiscard]] std::string getPrivateKeyFolder() const;
  // "/a/b/c.pfx" gives "/a/b" and "c.pfx"; a path without "/" or ending in
  // "/" comes back unchanged from both.
  [[nodiscard]] std::string getFolderNameFromFullPath(const std::string& path) const;
  [[nodiscard]] std::string getFileNameFromFullPath(const std::string& path) const;

  // The current local time formatted with an ICU date pattern ("yyyyMMddHHmmssSSS").
  [[nodiscard]] std::string getCurrentTimeStr(const std::string& datePattern) const;

  // --- Files ---
  // Creates the folder and its missing parents under the umask; inside the
  // hidden working folder owner-only, and nothing when that folder is a link
  // or not the user's. Failures are ignored.
  void checkAndMakeDir(const std::string& folderPath) const;
  // Makes the missing folders, then replaces the file at the cleaned path
  // (blanks trimmed, "\" turned into "/") atomically with `mode` (owner-only unless
  // asked otherwise). False for no bytes, a blank path, a folder that could not
  // be made or a failed write; a failed write leaves the old file intact.
  [[nodiscard]] bool saveFile(const std::string& filePath, const Bytes& fileData, mode_t mode = 0600) const;
  [[nodiscard]] bool saveFile(const std::string& filePath, const std::string& fileStrData, mode_t mode = 0600) const;
  // The file as UTF-8 text; none when unreadable or not UTF-8.
  [[nodiscard]] std::optional<std::string> getFileAsStr(const std::string& filePath) const;
  [[nodiscard]] std::optional<Bytes> getFile(const std::string& filePath) const;
  // Removes one file (a link itself, never a folder). Errors are ignored.
  void removeFile(const std::string& path) const;
  // Removes the files (not folders, not links) directly in the folder whose
  // whole name matches the pattern. Data inside a pattern goes through
  // regexLiteral, so that it cannot widen what is removed.
  void removeFile(const std::string& folderPath, const std::string& filePattern) const;

  // --- Patterns (ICU syntax) ---
  // Replaces every match ("." also matches line breaks; "$1" templates); the
  // text unchanged without a match, "" when the pattern does not compile.
  [[nodiscard]] std::string regexReplace(const std::string& text, const std::string& pattern,
                                         const std::string& replacement) const;
  // True when the whole text matches.
  [[nodiscard]] bool regexMatch(const std::string& text, const std::string& pattern) const;
  // A pattern that matches exactly the text, whatever it holds.
  [[nodiscard]] static std::string regexLiteral(const std::string& text);
  // Every occurrence of `from` (not "") replaced by `to`, as plain text, in
  // one pass: the work grows with the result, however many occurrences a
  // hostile text holds.
  [[nodiscard]] static std::string replaceAll(const std::string& text, const std::string& from, const std::string& to);
};

}  // namespace karv
