// .pfx files as the client writes, reads, re-passwords and signs with them,
// checked with the openssl tool; files from `openssl pkcs12 -export -legacy`
// too; and disks that fill up while a .pfx is written.
#include <fcntl.h>
#include <sys/mount.h>

#include "crypto/CertStatus.h"
#include "support/PfxFixture.h"
#include "system/CommonUtility.h"
#include "system/SecureFiles.h"

namespace karv {
namespace {

using namespace karv::test;
using PfxFile = PfxFixture;

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST_F(PfxFile, SavedFileOpensWithItsPasswordOnlyInOurProfile) {
  const std::string path = home / "new/folder/cert.pfx";
  ASSERT_EQ(rsa.savePfxFile(b64Der(chain.user.get()), keyPem(userKey()), path, "Pa55word!"), 0);
  EXPECT_EQ(modeOf(path), 0600u);
  CertInfo info;
  ASSERT_EQ(rsa.loadPfx(path, "Pa55word!", info), 0);

  writeText(home / "user.pem", certPem(chain.user.get()));
  std::string sha1 = runTool({"openssl", "x509", "-in", home / "user.pem", "-noout", "-fingerprint", "-sha1"}).output;
  sha1 = sha1.substr(sha1.find('=') + 1);
  std::erase_if(sha1, [](char c) { return c == ':' || c == '\n'; });
  const std::pair<const char*, std::string> fields[] = {
      {"cn", "X12345-01"}, {"certUserId", "X12345"},
      {"ou", "Retail"},    {"o", ""},
      {"serial", "A1B"},   {"subject", "CN=X12345-01, OU=Retail, C=TW"},
      {"certHash", sha1},  {"issuer", "CN=Test Issuing CA, O=Test Org, C=TW"},
  };
  for (const auto& [key, value] : fields) EXPECT_EQ(info[key], value) << key;
  EXPECT_EQ(info["notBefore"].size(), 14u);
  EXPECT_LT(info["notBefore"], info["notAfter"]);

  // The openssl tool opens it with the password only, without the legacy provider.
  const auto infoOut = pkcs12Tool(path, "Pa55word!", {"-info", "-noout"});
  EXPECT_TRUE(containsAll(
      infoOut.output, {"MAC: sha1, Iteration 2048", "Shrouded Keybag: pbeWithSHA1And3-KeyTripleDES-CBC, Iteration 2048",
                       "PKCS7 Encrypted data: pbeWithSHA1And3-KeyTripleDES-CBC, Iteration 2048"}))
      << infoOut.output;
  EXPECT_NE(pkcs12Tool(path, "wrong", {"-info", "-noout"}).exitCode, 0);
  const std::string bags = pkcs12Tool(path, "Pa55word!", {"-nodes"}).output;
  EXPECT_EQ(countOf(bags, "friendlyName: X12345-01") + countOf(bags, "localKeyID:"), 4) << bags;
  EXPECT_TRUE(containsAll(bags, {"subject=C = TW, OU = Retail", "BEGIN PRIVATE KEY"}));
  EXPECT_EQ(countOf(bags, "BEGIN CERTIFICATE"), 1);

  // The encoded forms: the certificate's DER and the whole file.
  std::string b64Cert, b64P12;
  ASSERT_EQ(rsa.loadPfx(path, "Pa55word!", b64Cert, b64P12, info), 0);
  EXPECT_EQ(b64Cert, b64Der(chain.user.get()));
  EXPECT_EQ(CommonUtility().base64Decode(b64P12), bytesOf(*readWholeFile(path)));
}

TEST_F(PfxFile, StatusCodesOfLoadSaveAndSign) {
  const std::string path = saveUserPfx("cert.pfx", "P");
  writeText(home / "text.pfx", "this is not a certificate file\n");
  writeText(home / "empty.pfx", "");
  CertInfo info{{"cn", "untouched"}};
  Bytes sign{1, 2, 3};
  const std::tuple<std::string, const char*, int32_t> opened[] = {{path, "wrong", certstatus::kWrongPassword},
                                                                  {home / "text.pfx", "P", 52301},
                                                                  {home / "empty.pfx", "P", 1},
                                                                  {home / "missing.pfx", "P", 1}};
  for (const auto& [file, password, code] : opened) {
    EXPECT_EQ(rsa.loadPfx(file, password, info), code) << file;
    EXPECT_EQ(rsa.signPKCS7(file, password, bytesOf("abc"), sign), code) << file;
  }
  EXPECT_EQ(info["cn"], "untouched");
  EXPECT_EQ(sign, (Bytes{1, 2, 3}));
  EXPECT_EQ(rsa.checkPfxFile(path, "P", "", ""), 0);
  Pkcs12Ptr pkcs12;
  ASSERT_EQ(rsa.loadPfx(path, "P", pkcs12, info), 0);
  EXPECT_EQ(rsa.signPKCS7(pkcs12.get(), "wrong", bytesOf("abc"), sign), 52601);
  EXPECT_EQ(rsa.signPKCS7(nullptr, "P", bytesOf("abc"), sign), 52601);

  const std::string cert = b64Der(chain.user.get());
  const std::string key = keyPem(userKey());
  const std::string out = home / "out.pfx";
  const std::tuple<std::string, std::string, std::string, int32_t> saved[] = {
      {cert, "", out, 1},
      {CommonUtility().base64Encode("not a certificate"), key, out, 52109},
      {"@@not base64@@", key, out, 52109},
      {b64Pkcs7({}), key, out, 52109},  // a chain without certificates
      {cert, keyPem(otherUserKey()), out, 52111},
      {cert, "not a key", out, 52111},
  };
  for (const auto& [c, k, p, code] : saved) EXPECT_EQ(rsa.savePfxFile(c, k, p, "P"), code) << c.substr(0, 16);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(rsa.savePfxFile(nullptr, out), 1);
}

// A new password keeps everything else: the certificates, the friendly name
// and key id on the user's certificate only, the CA certificates bare.
TEST_F(PfxFile, ChainInAnyOrderKeepsUserCertKeyedAndTheRestAsCaCertsAlsoUnderANewPassword) {
  const std::string path = home / "chain.pfx";
  ASSERT_EQ(rsa.savePfxFile(b64Pkcs7({chain.root.get(), chain.intermediate.get(), chain.user.get()}), keyPem(userKey()),
                            path, "P"),
            0);
  CertInfo info, after;
  ASSERT_EQ(rsa.loadPfx(path, "P", info), 0);
  EXPECT_EQ(info["cn"], "X12345-01");
  EXPECT_EQ(rsa.changePwd(path, "wrong", "Q"), 52303);
  EXPECT_EQ(rsa.changePwd(home / "missing.pfx", "P", "Q"), 1);
  ASSERT_EQ(rsa.changePwd(path, "P", "Q"), 0);
  ASSERT_EQ(rsa.loadPfx(path, "Q", after), 0);
  EXPECT_EQ(after, info);
  EXPECT_EQ(modeOf(path), 0600u);
  const auto bags = pkcs12Tool(path, "Q", {"-nokeys"}).output;
  EXPECT_TRUE(containsAll(bags, {"CN = Test Root CA", "CN = Test Issuing CA"}));
  EXPECT_EQ(countOf(bags, "BEGIN CERTIFICATE"), 3);
  EXPECT_EQ(countOf(bags, "friendlyName: X12345-01") + countOf(bags, "localKeyID"), 2) << bags;

  // No basicConstraints anywhere: the certificate of the key is keyed, in
  // either order, and the whole list goes along as CA certificates.
  X509Ptr bareRoot = makeCert({"Bare Root", "", "", "", "", "TW"}, rootKey(), nullptr, rootKey(), {7, {}});
  X509Ptr bareUser = makeCert({"B98765", "", "Org", "", "", ""}, userKey(), bareRoot.get(), rootKey(), {8, {}});
  for (const auto& order :
       {std::vector<X509*>{bareUser.get(), bareRoot.get()}, std::vector<X509*>{bareRoot.get(), bareUser.get()}}) {
    ASSERT_EQ(rsa.savePfxFile(b64Pkcs7(order), keyPem(userKey()), path, "P"), 0);
    ASSERT_EQ(rsa.loadPfx(path, "P", info), 0);
    EXPECT_EQ(info["subject"], "CN=B98765, O=Org");
    EXPECT_EQ(countOf(pkcs12Tool(path, "P", {"-nokeys", "-cacerts"}).output, "BEGIN CERTIFICATE"), 2);
  }
}

TEST_F(PfxFile, KeyFolderFormUsesTheKeyThatBelongsToTheCertificate) {
  const std::string cert = b64Pkcs7({chain.root.get(), chain.intermediate.get(), chain.user.get()});
  const std::string path = home / "from-folder.pfx";
  EXPECT_EQ(rsa.savePfxFile(cert, path, "P"), 1);  // no key folder
  ASSERT_TRUE(makeFolders(home / ".plix", 0700));
  writeText(home / ".plix/20250101000000002.p8", "");      // an empty key file is passed over
  writeText(home / ".plix/notes.txt", keyPem(userKey()));  // not a key file name
  EXPECT_EQ(rsa.savePfxFile(cert, path, "P"), 1);
  // Only a foreign key: it is tried, fails, and nothing is written.
  writeText(home / ".plix/20250101000000001.p8", keyPem(otherUserKey()));
  EXPECT_EQ(rsa.savePfxFile(cert, path, "P"), 52111);
  EXPECT_FALSE(fs::exists(path));
  // Two key files of which only the second tried belongs to the certificate.
  writeText(home / ".plix/20250101000000000.p8", keyPem(userKey()));
  ASSERT_EQ(rsa.savePfxFile(cert, path, "P"), 0);
  CertInfo info;
  ASSERT_EQ(rsa.loadPfx(path, "P", info), 0);
  EXPECT_EQ(info["serial"], "A1B");
  EXPECT_EQ(rsa.savePfxFile(CommonUtility().base64Encode("junk"), path, "P"), 52109);
}

// A file with an RC2-40 certificate bag loads, and a new password rewrites it
// in our profile, keeping its friendly name even where it is not the commonName.
TEST_F(PfxFile, LegacyFileIsRewrittenInOurProfile) {
  writeText(home / "key.pem", keyPem(userKey()));
  writeText(home / "ca.pem", certPem(chain.intermediate.get()) + certPem(chain.root.get()));
  writeText(home / "user.pem", certPem(chain.user.get()));
  const std::string legacy = home / "legacy.pfx";
  const auto made =
      runTool({"openssl", "pkcs12", "-export", "-legacy", "-inkey", home / "key.pem", "-in", home / "user.pem",
               "-certfile", home / "ca.pem", "-name", "My Certificate", "-out", legacy, "-passout", "pass:P"});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  ASSERT_TRUE(containsAll(pkcs12Tool(legacy, "P", {"-legacy", "-info", "-noout"}).output,
                          {"PKCS7 Encrypted data: pbeWithSHA1And40BitRC2-CBC"}));
  CertInfo info;
  ASSERT_EQ(rsa.loadPfx(legacy, "P", info), 0);
  EXPECT_EQ(info["serial"], "A1B");
  ASSERT_EQ(rsa.changePwd(legacy, "P", "Q"), 0);
  EXPECT_TRUE(containsAll(pkcs12Tool(legacy, "Q", {"-info", "-noout"}).output,
                          {"MAC: sha1, Iteration 2048", "PKCS7 Encrypted data: pbeWithSHA1And3-KeyTripleDES-CBC"}));
  EXPECT_EQ(countOf(pkcs12Tool(legacy, "Q", {"-nokeys", "-clcerts"}).output, "friendlyName: My Certificate"), 1);
}

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
};

TEST_F(PfxFile, DiskFailingMidWriteKeepsTheOldFile) {
  const std::string path = saveUserPfx("cert.pfx", "P");
  const auto old = readWholeFile(path);
  CertInfo info;
  SmallTmpfs small(home / "small");
  if (!small.mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string onSmall = small.path + "/cert.pfx";
  ASSERT_TRUE(writeFileAtomically(onSmall, *old));
  const int fd = ::open((small.path + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
  const std::string block(1024, 'f');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  ::close(fd);
  EXPECT_NE(rsa.changePwd(onSmall, "P", "Q"), 0);
  EXPECT_EQ(readWholeFile(onSmall), old);
  EXPECT_EQ(rsa.loadPfx(onSmall, "P", info), 0);
  EXPECT_EQ(entryCount(small.path), 2u);  // the file and the filler, no temporary file
}

TEST_F(PfxFile, SignatureVerifiesWithOpensslAndCarriesExactlyTheContent) {
  const std::string path = saveUserPfx("cert.pfx", "P");
  Bytes sign;
  ASSERT_EQ(rsa.signPKCS7(path, "P", bytesOf("abc"), sign), 0);
  writeText(home / "sig.der", std::string(sign.begin(), sign.end()));
  writeText(home / "cas.pem", certPem(chain.intermediate.get()) + certPem(chain.root.get()));
  const auto verified = runTool({"openssl", "smime", "-verify", "-inform", "DER", "-in", home / "sig.der", "-CAfile",
                                 home / "cas.pem", "-purpose", "any", "-out", home / "content.bin"});
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  EXPECT_EQ(readWholeFile(home / "content.bin"), "abc");
  // One certificate, one signer, SHA-1, no signed attributes.
  const auto printed = runTool({"openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in", home / "sig.der"});
  EXPECT_TRUE(containsAll(printed.output, {"signedAttrs:\n          <ABSENT>", "algorithm: sha1 (1.3.14.3.2.26)",
                                           "algorithm: rsaEncryption"}))
      << printed.output;
  EXPECT_EQ(countOf(printed.output, "d.issuerAndSerialNumber:") + countOf(printed.output, "cert_info:"), 2);

  // The same from a loaded structure.
  Bytes fromStructure;
  Pkcs12Ptr pkcs12;
  CertInfo info;
  ASSERT_EQ(rsa.loadPfx(path, "P", pkcs12, info), 0);
  ASSERT_EQ(rsa.signPKCS7(pkcs12.get(), "P", bytesOf("abc"), fromStructure), 0);
  EXPECT_EQ(fromStructure, sign);
}

}  // namespace
}  // namespace karv
