#pragma once
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace karv {

// The user's home folder ($HOME, else the password database).
[[nodiscard]] std::string userHomePath();
// The hidden working folder for key files and deployment pages: <home>/.plix.
[[nodiscard]] std::string privateKeyFolder();

// Creates a folder and its missing parents, the last one with `mode`, all
// under the umask (existing folders keep theirs). True when the folder
// exists after.
[[nodiscard]] bool makeFolders(const std::string& path, mode_t mode = 0777);

// A folder for secrets (the hidden working folder): made as with makeFolders
// and 0700, an existing one made owner-only too. False, and nothing changed,
// when the path is a symbolic link or not a folder of this user.
[[nodiscard]] bool makeOwnerOnlyFolder(const std::string& path);
// Whether the path is a folder of this user itself, not a link to one.
[[nodiscard]] bool isOwnRealFolder(const std::string& path);

// Writes the whole file through a temporary file in the same folder (flush,
// fsync, rename), so readers see the old content or the new, never a part.
// The file gets `mode`. False on any failure; the old file is then intact.
// Temporaries that an interrupted write (a killed process) left in the
// folder are removed first; those of writes still at work are kept.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0600);

// Like writeFileAtomically, but never replaces an existing file: the complete
// file appears under `path` only if no file of that name was there.
enum class NewFileResult { kWritten, kExists, kFailed };
[[nodiscard]] NewFileResult writeNewFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0600);

// The whole file when it is a regular file of at most maxBytes (never
// waiting on a FIFO or a device), or none.
inline constexpr size_t kMaxReadBytes = size_t{16} << 20;
[[nodiscard]] std::optional<std::string> readWholeFile(const std::string& path, size_t maxBytes = kMaxReadBytes);

}  // namespace karv
