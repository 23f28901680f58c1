// Files, folders and texts: atomic owner-only writes, the hidden working
// folder, removal by pattern, and the ICU regular expressions.
#include <gtest/gtest.h>

#include "support/TestFiles.h"
#include "system/CommonUtility.h"
#include "system/KeyFileStore.h"
#include "system/SecureFiles.h"

namespace karv {
namespace {

using test::entryCount;
using test::modeOf;
using test::ScopedEnv;
using test::TempDir;
using test::writeText;
namespace fs = std::filesystem;

TEST(Files, WritesReplaceWholeFilesOwnerOnlyAndLeaveNoTemporaryFile) {
  TempDir dir;
  CommonUtility u;
  const std::string deep = dir / "a/b/c/cert.pfx";
  EXPECT_TRUE(u.saveFile(deep, Bytes{0x30, 0x00, 0x82}));
  EXPECT_EQ(u.getFile(deep), (Bytes{0x30, 0x00, 0x82}));
  EXPECT_EQ(modeOf(deep), 0600u);
  EXPECT_TRUE(u.saveFile(deep, std::string("新內容")));
  EXPECT_EQ(u.getFileAsStr(deep), "新內容");
  ASSERT_TRUE(writeFileAtomically(deep, ""));
  EXPECT_EQ(readWholeFile(deep), "");
  EXPECT_EQ(entryCount(dir / "a/b/c"), 1u);

  // Nothing to write, or nowhere to write it: false, and nothing is made.
  EXPECT_FALSE(u.saveFile(dir / "empty/x.p8", Bytes{}));
  EXPECT_FALSE(u.saveFile(dir / "empty/x.p8", std::string()));
  EXPECT_FALSE(fs::exists(dir / "empty"));
  EXPECT_FALSE(u.saveFile(" \t", Bytes{1}));
  for (const std::string& bad : {std::string(), dir / "missing/a.p8", dir / "folder/"})
    EXPECT_FALSE(writeFileAtomically(bad, "x")) << bad;

  // A new key file never replaces an existing one.
  const std::string key = dir / "20250101000000000.p8";
  EXPECT_EQ(writeNewFileAtomically(key, "first"), NewFileResult::kWritten);
  EXPECT_EQ(writeNewFileAtomically(key, "second"), NewFileResult::kExists);
  EXPECT_EQ(readWholeFile(key), "first");
  EXPECT_EQ(modeOf(key), 0600u);
  EXPECT_EQ(writeNewFileAtomically(dir / "missing/a.p8", "x"), NewFileResult::kFailed);
  EXPECT_EQ(entryCount(dir.path), 2u);  // "a" and the key: no temporary file
}

TEST(Files, FailedWriteReportsFailureAndKeepsTheOldFile) {
  TempDir dir;
  const std::string file = dir / "locked/cert.pfx";
  ASSERT_TRUE(CommonUtility().saveFile(file, std::string("old")));
  {
    // A disk that fills up mid-write (the file size limit binds root too).
    test::FileSizeLimit limit(8);
    EXPECT_FALSE(CommonUtility().saveFile(file, std::string(4096, 'n')));
  }
  if (::geteuid() != 0) {
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(writeFileAtomically(file, "new"));
  }
  EXPECT_EQ(readWholeFile(file), "old");
  EXPECT_EQ(entryCount(dir / "locked"), 1u);
}

TEST(Files, HiddenWorkingFolderIsOwnerOnlyOtherFoldersFollowTheUmask) {
  TempDir dir;
  ScopedEnv home("HOME", dir.path.string());
  test::ScopedUmask umask(027);
  CommonUtility u;
  EXPECT_EQ(u.getPrivateKeyFolder(), dir / ".plix");
  EXPECT_EQ(privateKeyFolder(), dir / ".plix");
  fs::create_directory(dir / ".plix");
  fs::permissions(dir / ".plix", fs::perms(0755));
  ASSERT_TRUE(u.saveFile(dir / ".plix/20240102030405006.p8", std::string("key")));
  EXPECT_EQ(modeOf(dir / ".plix"), 0700u);
  EXPECT_EQ(modeOf(dir / ".plix/20240102030405006.p8"), 0600u);
  ASSERT_TRUE(makeFolders(dir / "a/b/.plix", 0700));
  EXPECT_EQ(modeOf(dir / "a/b/.plix"), 0700u);

  // The path is cleaned first, and saveFile writes the cleaned path it made the folders for.
  u.checkAndMakeDir("  " + (dir / "docs\\certs") + "\t");
  EXPECT_EQ(modeOf(dir / "docs"), 0750u);
  EXPECT_EQ(modeOf(dir / "docs/certs"), 0750u);
  EXPECT_TRUE(u.saveFile(" " + (dir / "out\\a.pfx") + "\t", std::string("x")));
  EXPECT_EQ(u.getFileAsStr(dir / "out/a.pfx"), "x");
  EXPECT_EQ(entryCount(dir / "out"), 1u);
  EXPECT_FALSE(makeFolders(dir / "out/a.pfx/sub"));  // a file where a folder should be
}

// A .plix that is a link, or someone else's folder, takes no keys or pages.
TEST(Files, ForeignOrLinkedHiddenFolderIsRefused) {
  TempDir dir;
  ScopedEnv home("HOME", dir.path.string());
  CommonUtility u;
  writeText(dir.path / "elsewhere/20240102030405006.p8", "planted key");
  fs::create_directory_symlink(dir / "elsewhere", dir / ".plix");
  EXPECT_FALSE(u.saveFile(dir / ".plix/PLIXDepCert.1.html", std::string("page")));
  EXPECT_FALSE(KeyFileStore().saveNewKey("key"));
  EXPECT_EQ(KeyFileStore().keyFiles(), std::nullopt);
  EXPECT_EQ(entryCount(dir / "elsewhere"), 1u);

  if (::geteuid() != 0) return;  // only root can hand a folder to another user
  fs::remove(dir / ".plix");
  fs::create_directory(dir / ".plix");
  ASSERT_EQ(::chown((dir / ".plix").c_str(), 65534, 65534), 0);
  EXPECT_FALSE(KeyFileStore().saveNewKey("key"));
  EXPECT_FALSE(u.saveFile(dir / ".plix/PLIXDepCert.1.html", std::string("page")));
  EXPECT_EQ(entryCount(dir / ".plix"), 0u);
}

TEST(Files, ReadersGiveNoneForWhatIsNotAFileOrTooBig) {
  TempDir dir;
  CommonUtility u;
  writeText(dir.path / "big5.txt", "\xbe\xcc\xc3\xd2");  // Big5 bytes are not UTF-8
  EXPECT_EQ(u.getFileAsStr(dir / "big5.txt"), std::nullopt);
  EXPECT_EQ(u.getFile(dir / "big5.txt"), (Bytes{0xbe, 0xcc, 0xc3, 0xd2}));
  EXPECT_EQ(u.getFile(dir / "missing"), std::nullopt);
  EXPECT_EQ(u.getFile(dir.path.string()), std::nullopt);
  // A FIFO is refused at once, not waited on; so is a file over the limit.
  ASSERT_EQ(::mkfifo((dir.path / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(readWholeFile(dir / "fifo").has_value());
  writeText(dir.path / "big", std::string(33, 'x'));
  EXPECT_FALSE(readWholeFile(dir / "big", 32).has_value());
  EXPECT_EQ(readWholeFile(dir / "big", 33), std::string(33, 'x'));
}

TEST(Files, RemovalTakesOnlyMatchingFilesNeverFolders) {
  TempDir dir;
  CommonUtility u;
  for (const char* name : {"PLIXDepCert.1.html", "PLIXDepCert.x.html", "PLIXDepCert.2.html/inner",
                           "old.PLIXDepCert.3.html", "target.txt", "PLIXDepCert..*.html"})
    writeText(dir.path / name, "x");
  fs::create_symlink(dir / "target.txt", dir / "PLIXDepCert.4.html");
  u.removeFile(dir.path.string(), R"(^PLIXDepCert\.[0-9]+\.html$)");
  EXPECT_FALSE(fs::exists(dir / "PLIXDepCert.1.html"));
  EXPECT_TRUE(fs::exists(dir / "PLIXDepCert.x.html"));
  EXPECT_TRUE(fs::exists(dir / "PLIXDepCert.2.html/inner"));
  EXPECT_TRUE(fs::exists(dir / "old.PLIXDepCert.3.html"));  // matches only in part
  EXPECT_TRUE(fs::is_symlink(dir / "PLIXDepCert.4.html"));
  u.removeFile(dir / "no-such-folder", ".*");  // ignored

  // Data in a pattern matches only itself: ".*" does not widen it.
  u.removeFile(dir.path.string(), "^PLIXDepCert\\." + CommonUtility::regexLiteral(".*") + "\\.html$");
  EXPECT_FALSE(fs::exists(dir / "PLIXDepCert..*.html"));
  EXPECT_TRUE(fs::exists(dir / "PLIXDepCert.x.html"));
  EXPECT_TRUE(u.regexMatch("a\\Eb.*", CommonUtility::regexLiteral("a\\Eb.*")));
  EXPECT_FALSE(u.regexMatch("a\\Ebxx", CommonUtility::regexLiteral("a\\Eb.*")));

  // One path, one file: a folder stays, a link goes without its target.
  u.removeFile(dir / "PLIXDepCert.2.html");
  EXPECT_TRUE(fs::exists(dir / "PLIXDepCert.2.html/inner"));
  u.removeFile(dir / "PLIXDepCert.4.html");
  EXPECT_FALSE(fs::is_symlink(dir / "PLIXDepCert.4.html"));
  EXPECT_TRUE(fs::exists(dir / "target.txt"));
}

TEST(Files, PathPartsAndTheDesktopFolder) {
  CommonUtility u;
  const std::tuple<std::string, std::string, std::string> parts[] = {{"/a/b/c.pfx", "/a/b", "c.pfx"},
                                                                     {"/c.pfx", "", "c.pfx"},
                                                                     {"cert.pfx", "cert.pfx", "cert.pfx"},
                                                                     {"/a/b/", "/a/b/", "/a/b/"}};
  for (const auto& [path, folder, name] : parts) {
    EXPECT_EQ(u.getFolderNameFromFullPath(path), folder) << path;
    EXPECT_EQ(u.getFileNameFromFullPath(path), name) << path;
  }

  TempDir dir;
  ScopedEnv home("HOME", dir.path.string());
  ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
  const std::pair<std::string, std::string> desktops[] = {
      {"", dir / "Desktop"},
      {"# by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/下載\"\nXDG_DESKTOP_DIR=\"$HOME/桌面/\"\n", dir / "桌面"},
      {"XDG_DESKTOP_DIR=\"/srv/desk\"\n", "/srv/desk"},
      {"XDG_DESKTOP_DIR=\"relative/desk\"\n", dir / "Desktop"},
  };
  for (const auto& [userDirs, desktop] : desktops) {
    writeText(dir.path / "config/user-dirs.dirs", userDirs);
    EXPECT_EQ(u.getDeskTopPath(), desktop) << userDirs;
  }
}

TEST(Text, RegexMatchesWholeTextAndReplacesWithTemplates) {
  CommonUtility u;
  const std::tuple<const char*, const char*, bool> matches[] = {
      {"abc1", "^.*[0-9]+.*$", true}, {"abc", "^.*[0-9]+.*$", false}, {"密碼!", "^.*[^0-9a-zA-Z]+.*$", true},
      {"abc1", "[0-9]", false},  // a partial match is not enough
      {"abc", "(unclosed", false},
  };
  for (const auto& [text, pattern, matched] : matches) EXPECT_EQ(u.regexMatch(text, pattern), matched) << pattern;
  const std::tuple<const char*, const char*, const char*, const char*> replaced[] = {
      {"abc", "x", "anything", "abc"},
      {"a1b22c", "[0-9]+", "#", "a#b#c"},
      {"user=王小明", "^user=(.*)$", "[$1]", "[王小明]"},
      {"/a\nb/c", "^(.*)/([^/]+)$", "$1", "/a\nb"},  // "." crosses line breaks
      {"abc\n", "c$", "C", "abC\n"},                 // "$" also stands before a final line break,
      {"a\nb", "a$", "A", "a\nb"},                   // not at every line end
      {"abc", "(", "x", ""},
      {"abc", "b", "$7", ""},  // no such group: nothing produced
  };
  for (const auto& [text, pattern, with, result] : replaced) EXPECT_EQ(u.regexReplace(text, pattern, with), result);
}

}  // namespace
}  // namespace karv
