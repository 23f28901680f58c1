#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "CommonUtility.h"
#include "KeyFileStore.h"
#include "Log.h"
#include "support/TestFiles.h"

namespace karv {
namespace {

using test::entryCount;
using test::modeOf;
using test::ScopedEnv;
using test::TempDir;
using test::writeText;
namespace fs = std::filesystem;

// Runs a test body with the process in another current folder.
struct ScopedCwd {
  fs::path saved = fs::current_path();
  explicit ScopedCwd(const fs::path& p) { fs::current_path(p); }
  ~ScopedCwd() { fs::current_path(saved); }
};

TEST(CommonUtilityFiles, SaveFileMakesFolderChainAndWritesOwnerOnly) {
  TempDir dir;
  CommonUtility u;
  std::vector<std::string> log;
  setLogSink([&](std::string_view line) { log.emplace_back(line); });
  const std::string deep = dir / "a/b/c/cert.pfx";
  EXPECT_TRUE(u.saveFile(deep, Bytes{0x30, 0x00, 0x82}));
  setLogSink({});
  EXPECT_EQ(u.getFile(deep), (Bytes{0x30, 0x00, 0x82}));
  EXPECT_EQ(modeOf(deep), 0600u);
  EXPECT_NE(std::find(log.begin(), log.end(), "save file to: " + (dir / "a/b/c")), log.end());

  // The text form replaces the whole file.
  EXPECT_TRUE(u.saveFile(deep, std::string("新內容")));
  EXPECT_EQ(u.getFileAsStr(deep), "新內容");

  // Nothing to write, or nowhere to write it: false, and nothing is made.
  EXPECT_FALSE(u.saveFile(dir / "empty/x.p8", Bytes{}));
  EXPECT_FALSE(u.saveFile(dir / "empty/x.p8", std::string()));
  EXPECT_FALSE(fs::exists(dir / "empty"));
  EXPECT_FALSE(u.saveFile("  ", std::string("x")));
  EXPECT_FALSE(u.saveFile(" \t", Bytes{1}));

  // A bare file name is written into the current folder, not made a folder.
  ScopedCwd cwd(dir.path);
  EXPECT_TRUE(u.saveFile("bare.pfx", std::string("b")));
  EXPECT_TRUE(fs::is_regular_file(dir / "bare.pfx"));
}

TEST(CommonUtilityFiles, FailedSaveReportsFailureAndKeepsOldFile) {
  TempDir dir;
  CommonUtility u;
  const std::string file = dir / "locked/cert.pfx";
  ASSERT_TRUE(u.saveFile(file, std::string("old")));
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  {
    // Root ignores the folder's permissions, not the file size limit.
    std::optional<test::FileSizeLimit> limit;
    if (::geteuid() == 0) limit.emplace(8);
    EXPECT_FALSE(u.saveFile(file, std::string(4096, 'n')));
  }
  EXPECT_EQ(u.getFileAsStr(file), "old");
  EXPECT_EQ(entryCount(dir / "locked"), 1u);  // no temporary file left behind
}

TEST(CommonUtilityFiles, HiddenWorkingFolderIsOwnerOnly) {
  TempDir dir;
  ScopedEnv home("HOME", dir.path.string());
  test::ScopedUmask umask(027);
  CommonUtility u;
  EXPECT_EQ(u.getUserHomePath(), dir.path.string());
  EXPECT_EQ(u.getPrivateKeyFolder(), dir / ".plix");
  fs::create_directory(dir / ".plix");
  fs::permissions(dir / ".plix", fs::perms(0755));
  ASSERT_TRUE(u.saveFile(dir / ".plix/20240102030405006.p8", std::string("-----BEGIN "
                                                                         "PRIVATE KEY-----")));
  EXPECT_EQ(modeOf(dir / ".plix"), 0700u);
  EXPECT_EQ(modeOf(dir / ".plix/20240102030405006.p8"), 0600u);

  // Other folders follow the user's umask; the path is cleaned first.
  u.checkAndMakeDir("  " + (dir / "docs\\certs") + "\t");
  EXPECT_TRUE(fs::is_directory(dir / "docs/certs"));
  EXPECT_EQ(modeOf(dir / "docs"), 0750u);
  EXPECT_EQ(modeOf(dir / "docs/certs"), 0750u);
  u.checkAndMakeDir(" ");  // nothing to make, nothing happens
  // saveFile writes the cleaned path it made the folders for.
  EXPECT_TRUE(u.saveFile(" " + (dir / "out\\a.pfx") + "\t", std::string("x")));
  EXPECT_EQ(u.getFileAsStr(dir / "out/a.pfx"), "x");
  EXPECT_EQ(entryCount(dir / "out"), 1u);
}

// A .plix that is a link, or someone else's folder, takes no keys or pages.
TEST(CommonUtilityFiles, ForeignOrLinkedHiddenFolderIsRefused) {
  TempDir dir;
  ScopedEnv home("HOME", dir.path.string());
  CommonUtility u;
  fs::create_directory(dir / "elsewhere");
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

TEST(CommonUtilityFiles, ReadersGiveNoneForWhatIsNotThere) {
  TempDir dir;
  CommonUtility u;
  writeText(dir.path / "utf8.txt", "憑證 ok");
  writeText(dir.path / "big5.txt", "\xbe\xcc\xc3\xd2");  // Big5 bytes are not UTF-8
  writeText(dir.path / "nul.bin", std::string("a\0b", 3));
  EXPECT_EQ(u.getFileAsStr(dir / "utf8.txt"), "憑證 ok");
  EXPECT_EQ(u.getFileAsStr(dir / "big5.txt"), std::nullopt);
  EXPECT_EQ(u.getFile(dir / "big5.txt"), (Bytes{0xbe, 0xcc, 0xc3, 0xd2}));
  EXPECT_EQ(u.getFile(dir / "nul.bin"), (Bytes{'a', 0, 'b'}));
  EXPECT_EQ(u.getFile(dir / "missing"), std::nullopt);
  EXPECT_EQ(u.getFileAsStr(dir / "missing"), std::nullopt);
  EXPECT_EQ(u.getFile(dir.path.string()), std::nullopt);  // a folder has no bytes to give
}

TEST(CommonUtilityFiles, RemovalTakesOnlyMatchingFilesNeverFolders) {
  TempDir dir;
  CommonUtility u;
  writeText(dir.path / "PLIXDepCert.1.html", "page");
  writeText(dir.path / "PLIXDepCert.x.html", "page");
  writeText(dir.path / "PLIXDepCert.2.html" / "inner", "kept");
  writeText(dir.path / "old.PLIXDepCert.3.html", "kept");  // matches only in part
  writeText(dir.path / "target.txt", "kept");
  fs::create_symlink(dir / "target.txt", dir / "PLIXDepCert.4.html");
  u.removeFile(dir.path.string(), R"(^PLIXDepCert\.[0-9]+\.html$)");
  EXPECT_FALSE(fs::exists(dir / "PLIXDepCert.1.html"));
  EXPECT_TRUE(fs::exists(dir / "PLIXDepCert.x.html"));
  EXPECT_TRUE(fs::exists(dir / "PLIXDepCert.2.html/inner"));
  EXPECT_TRUE(fs::exists(dir / "old.PLIXDepCert.3.html"));
  EXPECT_TRUE(fs::is_symlink(dir / "PLIXDepCert.4.html"));
  u.removeFile(dir / "no-such-folder", ".*");  // ignored

  // Data in a pattern matches only itself: ".*" does not widen it.
  writeText(dir.path / "PLIXDepCert..*.html", "page");
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
  u.removeFile(dir / "PLIXDepCert.x.html");
  u.removeFile(dir / "PLIXDepCert.x.html");  // already gone: ignored
  EXPECT_FALSE(fs::exists(dir / "PLIXDepCert.x.html"));
}

TEST(CommonUtilityFiles, PathParts) {
  CommonUtility u;
  struct Case {
    std::string path, folder, name;
  };
  for (const auto& c : std::vector<Case>{{"/a/b/c.pfx", "/a/b", "c.pfx"},
                                         {"/c.pfx", "", "c.pfx"},
                                         {"cert.pfx", "cert.pfx", "cert.pfx"},
                                         {"/a/b/", "/a/b/", "/a/b/"},
                                         {"/家/憑證.pfx", "/家", "憑證.pfx"}}) {
    EXPECT_EQ(u.getFolderNameFromFullPath(c.path), c.folder) << c.path;
    EXPECT_EQ(u.getFileNameFromFullPath(c.path), c.name) << c.path;
  }
}

TEST(CommonUtilityFiles, DesktopFolderFollowsUserDirs) {
  TempDir dir;
  ScopedEnv home("HOME", dir.path.string());
  ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
  CommonUtility u;
  EXPECT_EQ(u.getDeskTopPath(), dir / "Desktop");
  writeText(dir.path / "config/user-dirs.dirs",
            "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/下載\"\nXDG_DESKTOP_DIR=\"$HOME/桌面/\"\n");
  EXPECT_EQ(u.getDeskTopPath(), dir / "桌面");
  writeText(dir.path / "config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"/srv/desk\"\n");
  EXPECT_EQ(u.getDeskTopPath(), "/srv/desk");
  writeText(dir.path / "config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"relative/desk\"\n");
  EXPECT_EQ(u.getDeskTopPath(), dir / "Desktop");
}

TEST(CommonUtilityText, RegexMatchIsWholeText) {
  CommonUtility u;
  EXPECT_TRUE(u.regexMatch("abc1", "^.*[0-9]+.*$"));
  EXPECT_FALSE(u.regexMatch("abc", "^.*[0-9]+.*$"));
  EXPECT_TRUE(u.regexMatch("Abc", "^.*[A-Z]+.*$"));
  EXPECT_TRUE(u.regexMatch("密碼!", "^.*[^0-9a-zA-Z]+.*$"));
  EXPECT_FALSE(u.regexMatch("abc1", "[0-9]"));  // a partial match is not enough
  EXPECT_FALSE(u.regexMatch("abc", "(unclosed"));
}

TEST(CommonUtilityText, RegexReplaceAllWithTemplates) {
  CommonUtility u;
  EXPECT_EQ(u.regexReplace("abc", "x", "anything"), "abc");
  EXPECT_EQ(u.regexReplace("a1b22c", "[0-9]+", "#"), "a#b#c");
  EXPECT_EQ(u.regexReplace("user=王小明", "^user=(.*)$", "[$1]"), "[王小明]");
  // "." crosses line breaks; "$" also stands before a final line break.
  EXPECT_EQ(u.regexReplace("/a\nb/c", "^(.*)/([^/]+)$", "$1"), "/a\nb");
  EXPECT_EQ(u.regexReplace("abc\n", "c$", "C"), "abC\n");
  EXPECT_EQ(u.regexReplace("a\nb", "a$", "A"), "a\nb");  // "$" is not at every line end
  EXPECT_EQ(u.regexReplace("abc", "(", "x"), "");
  EXPECT_EQ(u.regexReplace("abc", "b", "$7"), "");  // no such group: nothing produced
}

TEST(CommonUtilityText, CurrentTimeStrHasSeventeenDigitsOfNow) {
  auto now = [] {
    char buf[32];
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&t, &local);
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &local);
    return std::string(buf);
  };
  CommonUtility u;
  const std::string before = now();
  const std::string stamp = u.getCurrentTimeStr("yyyyMMddHHmmssSSS");
  const std::string after = now();
  ASSERT_TRUE(u.regexMatch(stamp, "[0-9]{17}")) << stamp;
  EXPECT_LE(before, stamp.substr(0, 14));
  EXPECT_GE(after, stamp.substr(0, 14));
  EXPECT_EQ(u.getCurrentTimeStr("yyyy"), stamp.substr(0, 4));
}

}  // namespace
}  // namespace karv
