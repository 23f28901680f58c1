#pragma once
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace karv {

// The user's home folder ($HOME, else the password database).
[[nodiscard]] std::string userHomePath();
// The hidden working folder for key files and deployment pages: <home>/.plix.
[[nodiscard]] std::string privateKeyFolder();

// Creates a folder and its missing parents; the last one gets `mode` when it
// is made (existing folders keep theirs). True when the folder exists after.
[[nodiscard]] bool makeFolders(const std::string& path, mode_t mode = 0755);

// As makeFolders with 0700, and an existing folder is made owner-only too
// (the hidden working folder).
[[nodiscard]] bool makeOwnerOnlyFolder(const std::string& path);

// Writes the whole file through a temporary file in the same folder (flush,
// fsync, rename), so readers see the old content or the new, never a part.
// The file gets `mode`. False on any failure; the old file is then intact.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0600);

// Like writeFileAtomically, but never replaces an existing file: the complete
// file appears under `path` only if no file of that name was there.
enum class NewFileResult { kWritten, kExists, kFailed };
[[nodiscard]] NewFileResult writeNewFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0600);

// The whole regular file, or none when it cannot be read.
[[nodiscard]] std::optional<std::string> readWholeFile(const std::string& path);

}  // namespace karv
