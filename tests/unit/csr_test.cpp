#include <gtest/gtest.h>
#include <openssl/pem.h>

#include "CertStatus.h"
#include "CsrGenerator.h"
#include "KeyFileStore.h"
#include "RSAUtility.h"
#include "SecureFiles.h"
#include "support/TestFiles.h"
#include "support/TestPki.h"
#include "support/ToolRunner.h"

namespace karv {
namespace {

using namespace karv::test;

std::vector<std::string> keyFileNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
  return names;
}

TEST(CreateCsr, RequestKeyAndKeyFileCheckedByOpensslTool) {
  TempDir home;
  ScopedEnv env("HOME", home.path.string());
  RSAUtility u;
  std::string csr = "untouched", key = "untouched";
  EXPECT_EQ(u.createCSR("", 2048, csr, key), certstatus::kEmptyCommonName);
  EXPECT_EQ(csr, "untouched");
  EXPECT_FALSE(fs::exists(home / ".plix"));  // nothing generated, nothing kept

  ASSERT_EQ(u.createCSR("X12345-01", 2048, csr, key), certstatus::kOk);
  EXPECT_TRUE(csr.starts_with("-----BEGIN CERTIFICATE REQUEST-----\n"));
  EXPECT_TRUE(
      key.starts_with("-----BEGIN "
                      "PRIVATE KEY-----\n"));  // PKCS#8, not "RSA PRIVATE KEY"

  // Exactly one key file, 17 digits + ".p8", the same text, owner-only.
  const auto names = keyFileNames(home / ".plix");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(KeyFileStore::isKeyFileName(names[0])) << names[0];
  EXPECT_EQ(readWholeFile(home / (".plix/" + names[0])), key);
  EXPECT_EQ(modeOf(home / (".plix/" + names[0])), 0600u);
  EXPECT_EQ(modeOf(home / ".plix"), 0700u);

  // The openssl tool checks the request on its own.
  writeText(home / "req.pem", csr);
  const auto req = runTool({"openssl", "req", "-in", home / "req.pem", "-verify", "-noout", "-text", "-subject"});
  EXPECT_EQ(req.exitCode, 0) << req.output;
  EXPECT_TRUE(
      containsAll(req.output, {"verify OK", "Version: 1 (0x0)", "Signature Algorithm: sha256WithRSAEncryption",
                               "Public-Key: (2048 bit)", "Exponent: 65537 (0x10001)", "subject=CN = X12345-01\n"}))
      << req.output;
  // The request holds no attributes and the key text belongs to it.
  BioPtr bio(BIO_new_mem_buf(csr.data(), static_cast<int>(csr.size())));
  X509ReqPtr parsed(PEM_read_bio_X509_REQ(bio.get(), nullptr, nullptr, nullptr));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(X509_REQ_get_attr_count(parsed.get()), 0);
  EXPECT_EQ(X509_NAME_entry_count(X509_REQ_get_subject_name(parsed.get())), 1);
  writeText(home / "key.pem", key);
  const auto pub = runTool({"openssl", "pkey", "-in", home / "key.pem", "-pubout"});
  const auto reqPub = runTool({"openssl", "req", "-in", home / "req.pem", "-pubkey", "-noout"});
  EXPECT_EQ(pub.output, reqPub.output);
}

TEST(CreateCsr, KeyFileThatCannotBeSavedFailsTheCall) {
  TempDir home;
  ScopedEnv env("HOME", home.path.string());
  writeText(home / ".plix", "a file where the folder should be");
  std::string csr = "untouched", key = "untouched";
  EXPECT_EQ(RSAUtility().createCSR("X12345-01", 2048, csr, key), certstatus::kKeyFileNotSaved);
  EXPECT_EQ(csr, "untouched");  // no request for a key that is lost
  EXPECT_EQ(key, "untouched");
  // Bad key lengths fail in generation.
  EXPECT_EQ(RSAUtility().createCSR("X12345-01", 0, csr, key), certstatus::kKeyGenerationFailed);
}

TEST(KeyFiles, SameMillisecondKeysBothSurvive) {
  TempDir home;
  ScopedEnv tz("TZ", "CST-8");
  // 2025-12-31 16:00:00.999 UTC: the next millisecond carries into the next day.
  const auto fixed = std::chrono::system_clock::time_point(std::chrono::milliseconds(1767196800999LL));
  KeyFileStore store(home / ".plix", [fixed] { return fixed; });
  const auto first = store.saveNewKey("key one");
  const auto second = store.saveNewKey("key two");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(*first, home / ".plix/20260101000000999.p8");
  EXPECT_EQ(*second, home / ".plix/20260101000001000.p8");
  EXPECT_EQ(readWholeFile(*first), "key one");
  EXPECT_EQ(readWholeFile(*second), "key two");
  // Only whole "<17 digits>.p8" names are key files; newest first.
  writeText(home / ".plix/2026010100000100.p8", "16 digits");
  writeText(home / ".plix/20260101000001000.p8.bak", "suffix");
  writeText(home / ".plix/2026010100000100x.p8", "letter");
  EXPECT_EQ(store.keyFiles(), (std::vector<std::string>{*second, *first}));
  EXPECT_FALSE(KeyFileStore(home / "none", {}).keyFiles().has_value());
}

}  // namespace
}  // namespace karv
