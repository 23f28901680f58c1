#pragma once
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace karv {

// The private-key files of the hidden working folder: "<17 digits>.p8", named
// by the local creation time "yyyyMMddHHmmssSSS", holding the PEM key text.
// Files are never overwritten; one is removed only when asked for by path.
class KeyFileStore {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // The folder is the hidden working folder of the current home.
  explicit KeyFileStore(Clock clock = std::chrono::system_clock::now);
  KeyFileStore(std::string folder, Clock clock);

  // Writes the key into a new file (folder 0700, file 0600). When the name of
  // this millisecond is taken, the next free millisecond is used, so two keys
  // made in the same millisecond both survive. The path, or none on failure.
  [[nodiscard]] std::optional<std::string> saveNewKey(const std::string& pemKey) const;

  // Paths of the key files, newest first (the likeliest match of a fresh
  // certificate); none when the folder cannot be listed.
  [[nodiscard]] std::optional<std::vector<std::string>> keyFiles() const;

  // Removes one key file of this folder (a path keyFiles() gave); false when
  // the path is not one of its key files or cannot be removed.
  [[nodiscard]] bool removeKeyFile(const std::string& path) const;

  [[nodiscard]] static bool isKeyFileName(const std::string& name);
  // "yyyyMMddHHmmssSSS" in local time.
  [[nodiscard]] static std::string timestampName(std::chrono::system_clock::time_point when);

 private:
  std::string folder_;
  Clock clock_;
};

}  // namespace karv
