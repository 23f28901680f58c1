#include <fcntl.h>
#include <sys/mount.h>

#include "CertStatus.h"
#include "SecureFiles.h"
#include "support/PfxFixture.h"

namespace karv {
namespace {

using namespace karv::test;
using PfxPassword = PfxFixture;

// A small tmpfs mounted for the lifetime of the object, where that is allowed.
struct SmallTmpfs {
  std::string path;
  bool mounted = false;
  explicit SmallTmpfs(std::string at) : path(std::move(at)) {
    fs::create_directories(path);
    mounted = ::mount("karv-test", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0700") == 0;
  }
  ~SmallTmpfs() {
    if (mounted) ::umount2(path.c_str(), MNT_DETACH);
  }
  // Fills the free space with one file until the disk is full.
  void fill() const {
    const int fd = ::open((path + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
    const std::string block(1024, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
  }
};

TEST_F(PfxPassword, ChangePwdFromPToQKeepsEverythingButThePassword) {
  const std::string path = home / "cert.pfx";
  ASSERT_EQ(rsa.savePfxFile(b64Pkcs7({chain.root.get(), chain.intermediate.get(), chain.user.get()}), keyPem(userKey()),
                            path, "P"),
            0);
  CertInfo before, after;
  ASSERT_EQ(rsa.loadPfx(path, "P", before), 0);

  EXPECT_EQ(rsa.changePwd(path, "wrong", "Q"), 52303);
  EXPECT_EQ(rsa.changePwd(home / "missing.pfx", "P", "Q"), 1);
  ASSERT_EQ(rsa.changePwd(path, "P", "Q"), 0);
  EXPECT_EQ(rsa.loadPfx(path, "P", after), 52303);
  ASSERT_EQ(rsa.loadPfx(path, "Q", after), 0);
  EXPECT_EQ(after, before);
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_EQ(entryCount(home.path), 1u);  // no temporary file left behind

  // Same bags: one friendly name and key id on the user's certificate, the two CA certificates bare.
  const auto user = pkcs12Tool(path, "Q", {"-nokeys", "-clcerts"});
  EXPECT_EQ(countOf(user.output, "friendlyName: X12345-01"), 1) << user.output;
  EXPECT_EQ(countOf(user.output, "localKeyID"), 1);
  const auto ca = pkcs12Tool(path, "Q", {"-nokeys", "-cacerts"});
  EXPECT_EQ(countOf(ca.output, "BEGIN CERTIFICATE"), 2);
  EXPECT_EQ(countOf(ca.output, "friendlyName"), 0);
  EXPECT_TRUE(containsAll(pkcs12Tool(path, "Q", {"-info", "-noout"}).output,
                          {"MAC: sha1, Iteration 2048", "Shrouded Keybag: pbeWithSHA1And3-KeyTripleDES-CBC"}));
}

TEST_F(PfxPassword, LegacyRc2FileLoadsAndIsRewrittenInOurProfile) {
  const std::string path = home / "legacy.pfx";
  writeText(home / "key.pem", keyPem(userKey()));
  writeText(home / "user.pem", certPem(chain.user.get()));
  writeText(home / "ca.pem", certPem(chain.intermediate.get()) + certPem(chain.root.get()));
  const auto made =
      runTool({"openssl", "pkcs12", "-export", "-legacy", "-inkey", home / "key.pem", "-in", home / "user.pem",
               "-certfile", home / "ca.pem", "-name", "My Certificate", "-out", path, "-passout", "pass:P"});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  ASSERT_TRUE(containsAll(pkcs12Tool(path, "P", {"-legacy", "-info", "-noout"}).output,
                          {"PKCS7 Encrypted data: pbeWithSHA1And40BitRC2-CBC"}));

  CertInfo info;
  ASSERT_EQ(rsa.loadPfx(path, "P", info), 0);
  EXPECT_EQ(info["serial"], "A1B");
  EXPECT_EQ(rsa.loadPfx(path, "Q", info), 52303);
  ASSERT_EQ(rsa.changePwd(path, "P", "Q"), 0);
  EXPECT_TRUE(containsAll(pkcs12Tool(path, "Q", {"-info", "-noout"}).output,
                          {"PKCS7 Encrypted data: pbeWithSHA1And3-KeyTripleDES-CBC"}));
  // The friendly name the file had stays, even where it is not the commonName.
  EXPECT_EQ(countOf(pkcs12Tool(path, "Q", {"-nokeys", "-clcerts"}).output, "friendlyName: My Certificate"), 1);
}

TEST_F(PfxPassword, WrittenFileImportsIntoNssDatabase) {
  const std::string path = saveUserPfx("cert.pfx", "Pa55word!");
  const std::string db = "sql:" + (home / "nssdb");
  fs::create_directories(home / "nssdb");
  ASSERT_EQ(runTool({"certutil", "-N", "-d", db, "--empty-password"}).exitCode, 0);
  EXPECT_NE(runTool({"pk12util", "-i", path, "-d", db, "-W", "wrong", "-K", ""}).exitCode, 0);
  const auto imported = runTool({"pk12util", "-i", path, "-d", db, "-W", "Pa55word!", "-K", ""});
  ASSERT_EQ(imported.exitCode, 0) << imported.output;
  EXPECT_NE(runTool({"certutil", "-L", "-d", db}).output.find("X12345-01"), std::string::npos);
  const auto keys = runTool({"certutil", "-K", "-d", db});
  EXPECT_NE(keys.output.find("X12345-01"), std::string::npos) << keys.output;
}

TEST_F(PfxPassword, DiskFailingMidWriteKeepsTheOldFile) {
  const std::string path = saveUserPfx("cert.pfx", "P");
  const auto old = readWholeFile(path);
  CertInfo info;
  {
    FileSizeLimit limit(1024);  // the disk "fills" after 1 KiB of the new file
    EXPECT_NE(rsa.changePwd(path, "P", "Q"), 0);
    EXPECT_NE(rsa.savePfxFile(b64Der(chain.user.get()), keyPem(userKey()), path, "Q"), 0);
  }
  EXPECT_EQ(readWholeFile(path), old);
  EXPECT_EQ(rsa.loadPfx(path, "P", info), 0);
  EXPECT_EQ(entryCount(home.path), 1u);

  // A folder nobody can write into, whoever we run as.
  EXPECT_NE(rsa.savePfxFile(b64Der(chain.user.get()), keyPem(userKey()), "/proc/karv-test.pfx", "P"), 0);

  SmallTmpfs small(home / "small");
  if (!small.mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string onSmall = small.path + "/cert.pfx";
  ASSERT_TRUE(writeFileAtomically(onSmall, *old));
  small.fill();
  EXPECT_NE(rsa.changePwd(onSmall, "P", "Q"), 0);
  EXPECT_EQ(readWholeFile(onSmall), old);
  EXPECT_EQ(rsa.loadPfx(onSmall, "P", info), 0);
  EXPECT_EQ(entryCount(small.path), 2u);  // the file and the filler, no temporary file
}

}  // namespace
}  // namespace karv
