#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "SecureFiles.h"

namespace karv {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "karv-files-XXXXXX").string();
    path = ::mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, ec);
    for (auto& e : fs::recursive_directory_iterator(path, ec)) fs::permissions(e.path(), fs::perms::owner_all, ec);
    fs::remove_all(path, ec);
  }
};

// Lowers RLIMIT_FSIZE for its lifetime; SIGXFSZ is ignored so write() fails with EFBIG.
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
};

mode_t modeOf(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(SecureFiles, AtomicWriteReplacesWholeFileWithOwnerOnlyMode) {
  TempDir dir;
  const std::string file = (dir.path / "a.pfx").string();
  ASSERT_TRUE(writeFileAtomically(file, "first"));
  ASSERT_TRUE(writeFileAtomically(file, std::string("\0second", 7)));
  EXPECT_EQ(readWholeFile(file), std::string("\0second", 7));
  EXPECT_EQ(modeOf(file), 0600u);
  ASSERT_TRUE(writeFileAtomically(file, ""));
  EXPECT_EQ(readWholeFile(file), "");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);  // no temp files left
}

TEST(SecureFiles, FailedWriteKeepsOldFileAndReportsFailure) {
  TempDir dir;
  const std::string file = (dir.path / "a.pfx").string();
  ASSERT_TRUE(writeFileAtomically(file, "old"));
  {
    // A disk that fills up mid-write: the file size limit stops the write
    // after 8 bytes (it binds root too, unlike folder permissions).
    FileSizeLimit limit(8);
    EXPECT_FALSE(writeFileAtomically(file, std::string(4096, 'n')));
  }
  EXPECT_EQ(readWholeFile(file), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
  if (::geteuid() != 0) {
    fs::permissions(dir.path, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(writeFileAtomically(file, "new"));
    EXPECT_EQ(readWholeFile(file), "old");
  }
}

TEST(SecureFiles, FailuresOnBadPaths) {
  TempDir dir;
  EXPECT_FALSE(writeFileAtomically("", "x"));
  EXPECT_FALSE(writeFileAtomically((dir.path / "missing" / "a.p8").string(), "x"));
  EXPECT_FALSE(writeFileAtomically((dir.path / "folder/").string(), "x"));
  EXPECT_FALSE(readWholeFile((dir.path / "nothing").string()).has_value());
  // A regular file where a folder should be.
  ASSERT_TRUE(writeFileAtomically((dir.path / "plain").string(), "x"));
  EXPECT_FALSE(makeFolders((dir.path / "plain" / "sub").string()));
}

TEST(SecureFiles, MakeFoldersCreatesChainWithMode) {
  TempDir dir;
  const fs::path deep = dir.path / "a" / "b" / ".plix";
  ASSERT_TRUE(makeFolders(deep.string(), 0700));
  EXPECT_EQ(modeOf(deep), 0700u);
  EXPECT_TRUE(makeFolders(deep.string(), 0700));  // idempotent
  const char* oldHome = std::getenv("HOME");
  const std::string saved = oldHome ? oldHome : "";
  ::setenv("HOME", dir.path.c_str(), 1);
  EXPECT_EQ(privateKeyFolder(), dir.path.string() + "/.plix");
  ::setenv("HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace karv
