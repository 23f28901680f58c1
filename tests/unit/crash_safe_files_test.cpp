// Files that hold keys or certificates against a writer killed at any moment.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <random>
#include <set>
#include <thread>

#include "crypto/PfxReader.h"
#include "crypto/PfxWriter.h"
#include "support/TestFiles.h"
#include "support/TestPki.h"
#include "system/KeyFileStore.h"
#include "system/SecureFiles.h"

namespace karv::test {
namespace {

// One version of both files: a .pfx under its own password, and a key.
struct Version {
  std::string password;
  Pkcs12Ptr pfx;
  std::string pfxBytes;
  std::string keyPem;
};

Version makeVersion(const std::string& password, EVP_PKEY* key) {
  Version v{password,
            PfxWriter::build(password, "X12345-01", userKey(), standardChain().user.get(), nullptr),
            {},
            keyPem(key)};
  unsigned char* der = nullptr;
  const int len = i2d_PKCS12(v.pfx.get(), &der);
  const OpenSslStringPtr owned(reinterpret_cast<char*>(der));
  v.pfxBytes.assign(owned.get(), static_cast<size_t>(std::max(len, 0)));
  return v;
}

// None in a folder not made yet: a kill may come before the first key file.
std::vector<std::string> temporariesIn(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code notThereYet;
  for (const auto& e : fs::directory_iterator(folder, notThereYet)) {
    const std::string name = e.path().filename().string();
    if (name.starts_with('.') && name.find(".karv-") != std::string::npos) names.push_back(name);
  }
  return names;
}

// The child: both files written over and over, the versions taking turns,
// until it is killed.
[[noreturn]] void writeUntilKilled(const std::string& pfx, const std::string& keyFolder, const Version (&v)[2]) {
  const KeyFileStore store(keyFolder, std::chrono::system_clock::now);
  for (unsigned i = 0;; ++i) {
    (void)PfxWriter::write(v[i % 2].pfx.get(), pfx);
    (void)store.saveNewKey(v[i % 2].keyPem);
  }
}

TEST(CrashSafeFiles, KilledWriterLeavesOldOrNewFilesAndTheNextWriteNoTemporaries) {
  TempDir dir;
  const std::string pfx = dir / "user.pfx";
  const std::string keyFolder = dir / ".plix";
  const Version versions[2] = {makeVersion("old-Passw0rd", userKey()), makeVersion("new-Passw0rd", otherUserKey())};
  ASSERT_EQ(PfxWriter::write(versions[0].pfx.get(), pfx), 0);
  const KeyFileStore store(keyFolder, std::chrono::system_clock::now);

  constexpr int kKills = 200;
  int leftTemporaries = 0;  // kills that hit a write half-way
  std::set<std::string> keysChecked;
  std::mt19937 random(std::random_device{}());
  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) writeUntilKilled(pfx, keyFolder, versions);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 8000));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const auto bytes = readWholeFile(pfx);
    const Version* found = nullptr;
    for (const auto& v : versions)
      if (bytes == v.pfxBytes) found = &v;
    ASSERT_TRUE(found) << "a partial .pfx after kill " << kill;
    Pkcs12Ptr pkcs12;
    OpenedPfx opened;
    EXPECT_EQ(openPfxFile(pfx, found->password, pkcs12, opened), 0);
    for (const auto& key : store.keyFiles().value_or(std::vector<std::string>{})) {
      if (!keysChecked.insert(key).second) continue;  // key files never change once there
      const auto text = readWholeFile(key);
      EXPECT_TRUE(text == versions[0].keyPem || text == versions[1].keyPem) << "a partial key file " << key;
    }
    leftTemporaries += temporariesIn(dir.path).size() + temporariesIn(keyFolder).size() > 0 ? 1 : 0;

    ASSERT_EQ(PfxWriter::write(versions[kill % 2].pfx.get(), pfx), 0);
    ASSERT_TRUE(store.saveNewKey(versions[0].keyPem));
    EXPECT_TRUE(temporariesIn(dir.path).empty());
    EXPECT_TRUE(temporariesIn(keyFolder).empty());
  }
  std::cout << kKills << " kills, " << leftTemporaries << " of them in the middle of a write, " << keysChecked.size()
            << " key files checked\n";
  EXPECT_GT(leftTemporaries, 0) << "no kill hit a write: the test proves nothing";
}

}  // namespace
}  // namespace karv::test
