#include <gtest/gtest.h>

#include "SecureFiles.h"
#include "support/TestFiles.h"

namespace karv {
namespace {

using test::entryCount;
using test::FileSizeLimit;
using test::modeOf;
using test::TempDir;
namespace fs = std::filesystem;

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

TEST(SecureFiles, NewFileNeverReplacesAnExistingOne) {
  TempDir dir;
  const std::string file = dir / "20250101000000000.p8";
  EXPECT_EQ(writeNewFileAtomically(file, "first"), NewFileResult::kWritten);
  EXPECT_EQ(writeNewFileAtomically(file, "second"), NewFileResult::kExists);
  EXPECT_EQ(readWholeFile(file), "first");
  EXPECT_EQ(modeOf(file), 0600u);
  EXPECT_EQ(entryCount(dir.path), 1u);  // the temporary file is gone in both cases
  EXPECT_EQ(writeNewFileAtomically(dir / "missing/a.p8", "x"), NewFileResult::kFailed);
}

TEST(SecureFiles, FailuresOnBadPaths) {
  TempDir dir;
  EXPECT_FALSE(writeFileAtomically("", "x"));
  EXPECT_FALSE(writeFileAtomically((dir.path / "missing" / "a.p8").string(), "x"));
  EXPECT_FALSE(writeFileAtomically((dir.path / "folder/").string(), "x"));
  EXPECT_FALSE(readWholeFile((dir.path / "nothing").string()).has_value());
  // A FIFO is refused at once, not waited on; so is a file over the limit.
  ASSERT_EQ(::mkfifo((dir.path / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(readWholeFile((dir.path / "fifo").string()).has_value());
  const std::string big = (dir.path / "big").string();
  ASSERT_TRUE(writeFileAtomically(big, std::string(33, 'x')));
  EXPECT_FALSE(readWholeFile(big, 32).has_value());
  EXPECT_EQ(readWholeFile(big, 33), std::string(33, 'x'));
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
  test::ScopedEnv home("HOME", dir.path.string());
  EXPECT_EQ(privateKeyFolder(), dir.path.string() + "/.plix");
}

}  // namespace
}  // namespace karv
