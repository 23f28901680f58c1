#pragma once
// File-system helpers shared by the unit tests.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace karv::test {

namespace fs = std::filesystem;

// A fresh folder under the system temp folder, removed with everything in it.
struct TempDir {
  fs::path path;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "karv-test-XXXXXX").string();
    path = ::mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, ec);
    for (auto& e : fs::recursive_directory_iterator(path, ec)) fs::permissions(e.path(), fs::perms::owner_all, ec);
    fs::remove_all(path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  [[nodiscard]] std::string operator/(const std::string& relative) const { return (path / relative).string(); }
};

// Lowers RLIMIT_FSIZE for its lifetime; SIGXFSZ is ignored so write() fails
// with EFBIG. Unlike folder permissions it binds root too.
struct FileSizeLimit {
  rlimit saved{};
  void (*oldHandler)(int);
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved);
    oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lower{bytes, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
};

// Sets the process umask for its lifetime.
struct ScopedUmask {
  mode_t saved;
  explicit ScopedUmask(mode_t mask) : saved(::umask(mask)) {}
  ~ScopedUmask() { ::umask(saved); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;
};

// Sets (or, with none, unsets) an environment variable for its lifetime. The
// time zone is read again each time, so TZ takes effect at once.
struct ScopedEnv {
  std::string name;
  std::optional<std::string> saved;
  ScopedEnv(std::string n, const std::optional<std::string>& value) : name(std::move(n)) {
    if (const char* old = std::getenv(name.c_str())) saved = old;
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
    ::tzset();
  }
  ~ScopedEnv() {
    if (saved)
      ::setenv(name.c_str(), saved->c_str(), 1);
    else
      ::unsetenv(name.c_str());
    ::tzset();
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
};

inline mode_t modeOf(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

// Writes a fixture file, making its folders.
inline void writeText(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

inline size_t entryCount(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace karv::test
