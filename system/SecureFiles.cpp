#include "system/SecureFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "system/Log.h"
#include "system/UniqueFd.h"

namespace karv {
namespace {

using Fd = UniqueFd;

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string userHomePath() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string privateKeyFolder() { return userHomePath() + "/.plix"; }

bool makeFolders(const std::string& path, mode_t mode) {
  if (path.empty()) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::string parent = parentOf(path);
  if (parent != path && !makeFolders(parent)) return false;
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return false;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// Temporaries are hidden files named after their target with a marker
// (".cert.pfx.karv-Ab12Cd"), so no file of the user is ever taken for one.
constexpr std::string_view kTemporaryMarker = ".karv-";
constexpr size_t kTemporaryRandom = 6;  // the "XXXXXX" of mkostemp
// Long names are cut in the temporary's name so it stays within NAME_MAX.
constexpr size_t kMaxNameInTemporary = 200;

std::string temporaryTemplate(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1, kMaxNameInTemporary);
  return folder + "." + name + std::string(kTemporaryMarker) + std::string(kTemporaryRandom, 'X');
}

bool isTemporaryName(std::string_view name) {
  const size_t tail = kTemporaryMarker.size() + kTemporaryRandom;
  if (name.size() < 2 + tail || name[0] != '.') return false;
  const std::string_view random = name.substr(name.size() - kTemporaryRandom);
  return name.substr(name.size() - tail, kTemporaryMarker.size()) == kTemporaryMarker &&
         std::all_of(random.begin(), random.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

struct DirCloser {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};

// A writer holds the lock of its temporary until the file is published, and
// the lock dies with the writer. So a temporary nobody holds was left by a
// writer that was killed mid-write: it can never be published and goes.
void removeStaleTemporaries(const std::string& folder) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return;
  const int dirFd = ::dirfd(dir.get());
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!isTemporaryName(entry->d_name)) continue;
    Fd fd(::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat held {};
    if (fd.fd < 0 || ::fstat(fd.fd, &held) != 0 || !S_ISREG(held.st_mode) || held.st_uid != ::geteuid()) continue;
    if (::flock(fd.fd, LOCK_EX | LOCK_NB) != 0) continue;  // its writer is still at work
    // Only while the name still leads to the file whose lock is held.
    struct stat named {};
    if (::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(held, named)) {
      logf("removing %s/%s, left by an interrupted write", folder.c_str(), entry->d_name);
      (void)::unlinkat(dirFd, entry->d_name, 0);
    }
  }
}

// A new temporary next to `path`, locked by this writer. A cleaner may take
// a temporary in the instant between its creation and its lock; then the
// name no longer leads to it and another one is made.
Fd lockedTemporary(const std::string& path, std::string& tmp) {
  constexpr int kAttempts = 8;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    tmp = temporaryTemplate(path);
    Fd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (fd.fd < 0) return fd;
    while (::flock(fd.fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat mine {
    }, named{};
    if (::fstat(fd.fd, &mine) == 0 && ::stat(tmp.c_str(), &named) == 0 && sameFile(mine, named)) return fd;
  }
  errno = EAGAIN;
  return Fd(-1);
}

// Writes a complete temporary file next to `path`, then publishes it: by
// rename (replacing) or by link (failing with EEXIST when the name is taken).
// The temporary stays locked until then, so no cleaner takes it.
NewFileResult writeThroughTemporary(const std::string& path, std::string_view bytes, mode_t mode, bool replace) {
  if (path.empty() || path.back() == '/') return NewFileResult::kFailed;
  removeStaleTemporaries(parentOf(path));
  std::string tmp;
  Fd fd = lockedTemporary(path, tmp);
  if (fd.fd < 0) {
    logf("write %s failed: %s", path.c_str(), std::strerror(errno));
    return NewFileResult::kFailed;
  }
  bool ok = ::fchmod(fd.fd, mode) == 0 && writeAll(fd.fd, bytes) && ::fsync(fd.fd) == 0;
  if (ok) ok = replace ? ::rename(tmp.c_str(), path.c_str()) == 0 : ::link(tmp.c_str(), path.c_str()) == 0;
  const int error = ok ? 0 : errno;
  if (!ok || !replace) ::unlink(tmp.c_str());  // after link() the temporary name is surplus
  if (::close(fd.release()) != 0 && ok) logf("closing %s: %s", path.c_str(), std::strerror(errno));
  if (!ok) {
    if (!replace && error == EEXIST) return NewFileResult::kExists;
    logf("write %s failed: %s", path.c_str(), std::strerror(error));
    return NewFileResult::kFailed;
  }
  // The new name itself must survive a crash too.
  Fd dir(::open(parentOf(path).c_str(), O_RDONLY | O_DIRECTORY));
  if (dir.fd >= 0) ::fsync(dir.fd);
  return NewFileResult::kWritten;
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
  return writeThroughTemporary(path, bytes, mode, true) == NewFileResult::kWritten;
}

NewFileResult writeNewFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
  return writeThroughTemporary(path, bytes, mode, false);
}

std::optional<std::string> readWholeFile(const std::string& path, size_t maxBytes) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat st {};
  // Only regular files have contents to give (a folder opens, but reads fail).
  if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) > maxBytes)
    return std::nullopt;
  std::string out;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd.fd, buffer, sizeof buffer);
    if (n == 0) return out;
    if (n < 0 && errno != EINTR) return std::nullopt;
    if (n > 0) {
      if (static_cast<size_t>(n) > maxBytes - out.size()) return std::nullopt;  // grew while read
      out.append(buffer, static_cast<size_t>(n));
    }
  }
}

namespace {
bool isOwnFolder(const struct stat& st) { return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid(); }
}  // namespace

bool isOwnRealFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && isOwnFolder(st);
}

bool makeOwnerOnlyFolder(const std::string& path) {
  if (!makeFolders(path, 0700)) return false;
  // O_NOFOLLOW: a link planted in its place leads the keys nowhere.
  Fd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (dir.fd < 0 || ::fstat(dir.fd, &st) != 0 || !isOwnFolder(st)) {
    logf("refusing folder %s: a link, or not this user's", path.c_str());
    return false;
  }
  return (st.st_mode & 07777) == 0700 || ::fchmod(dir.fd, 0700) == 0;
}

}  // namespace karv
