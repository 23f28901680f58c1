#include "SecureFiles.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Log.h"

namespace karv {
namespace {

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int release() {
    int f = fd;
    fd = -1;
    return f;
  }
};

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

// Writes a complete temporary file next to `path`, then publishes it: by
// rename (replacing) or by link (failing with EEXIST when the name is taken).
NewFileResult writeThroughTemporary(const std::string& path, std::string_view bytes, mode_t mode, bool replace) {
  if (path.empty() || path.back() == '/') return NewFileResult::kFailed;
  std::string tmp = path + ".XXXXXX";
  Fd fd(::mkostemp(tmp.data(), O_CLOEXEC));
  if (fd.fd < 0) {
    logf("write %s failed: %s", path.c_str(), std::strerror(errno));
    return NewFileResult::kFailed;
  }
  bool ok = ::fchmod(fd.fd, mode) == 0 && writeAll(fd.fd, bytes) && ::fsync(fd.fd) == 0 && ::close(fd.release()) == 0;
  if (ok) ok = replace ? ::rename(tmp.c_str(), path.c_str()) == 0 : ::link(tmp.c_str(), path.c_str()) == 0;
  const int error = ok ? 0 : errno;
  if (!ok || !replace) ::unlink(tmp.c_str());  // after link() the temporary name is surplus
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
