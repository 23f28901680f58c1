#include <algorithm>

#include "CertStatus.h"
#include "CommonUtility.h"
#include "Log.h"
#include "SecureFiles.h"
#include "support/PfxFixture.h"

namespace karv {
namespace {

using namespace karv::test;
using PfxFile = PfxFixture;

std::string fingerprintByTool(X509* cert, const std::string& scratch) {
  writeText(scratch, certPem(cert));
  std::string out = runTool({"openssl", "x509", "-in", scratch, "-noout", "-fingerprint", "-sha1"}).output;
  out = out.substr(out.find('=') + 1);
  std::erase_if(out, [](char c) { return c == ':' || c == '\n'; });
  return out;
}

TEST_F(PfxFile, SavedFileOpensWithItsPasswordOnlyInOurProfile) {
  std::vector<std::string> logLines;
  setLogSink([&](std::string_view l) { logLines.emplace_back(l); });
  const std::string path = home / "new/folder/cert.pfx";
  ASSERT_EQ(rsa.savePfxFile(b64Der(chain.user.get()), keyPem(userKey()), path, "Pa55word!"), 0);
  EXPECT_EQ(modeOf(path), 0600u);

  CertInfo info;
  ASSERT_EQ(rsa.loadPfx(path, "Pa55word!", info), 0);
  setLogSink({});
  for (const auto& l : logLines) EXPECT_EQ(l.find("Pa55word!"), std::string::npos) << l;
  EXPECT_EQ(info["cn"], "X12345-01");
  EXPECT_EQ(info["certUserId"], "X12345");
  EXPECT_EQ(info["ou"], "Retail");
  EXPECT_EQ(info["o"], "");
  EXPECT_EQ(info["subject"], "CN=X12345-01, OU=Retail, C=TW");
  EXPECT_EQ(info["issuer"], "CN=Test Issuing CA, O=Test Org, C=TW");
  EXPECT_EQ(info["serial"], "A1B");
  EXPECT_EQ(info["certHash"], fingerprintByTool(chain.user.get(), home / "user.pem"));
  EXPECT_EQ(info["notBefore"].size(), 14u);
  EXPECT_LT(info["notBefore"], info["notAfter"]);

  // The openssl tool opens it with the password only, without the legacy provider.
  const auto infoOut = pkcs12Tool(path, "Pa55word!", {"-info", "-noout"});
  EXPECT_EQ(infoOut.exitCode, 0) << infoOut.output;
  EXPECT_TRUE(containsAll(
      infoOut.output, {"MAC: sha1, Iteration 2048", "Shrouded Keybag: pbeWithSHA1And3-KeyTripleDES-CBC, Iteration 2048",
                       "PKCS7 Encrypted data: pbeWithSHA1And3-KeyTripleDES-CBC, Iteration 2048"}))
      << infoOut.output;
  EXPECT_NE(pkcs12Tool(path, "wrong", {"-info", "-noout"}).exitCode, 0);
  const auto userBag = pkcs12Tool(path, "Pa55word!", {"-nokeys", "-clcerts"});
  EXPECT_TRUE(containsAll(userBag.output, {"friendlyName: X12345-01", "localKeyID:", "subject=C = TW, OU = Retail"}))
      << userBag.output;
  EXPECT_EQ(countOf(pkcs12Tool(path, "Pa55word!", {"-nokeys", "-cacerts"}).output, "BEGIN CERTIFICATE"), 0);
  const auto keyBag = pkcs12Tool(path, "Pa55word!", {"-nocerts", "-nodes"});
  EXPECT_TRUE(containsAll(keyBag.output, {"friendlyName: X12345-01", "localKeyID:", "BEGIN PRIVATE KEY"}));

  // The encoded forms: the certificate's DER and the whole structure.
  std::string b64Cert, b64P12;
  ASSERT_EQ(rsa.loadPfx(path, "Pa55word!", b64Cert, b64P12, info), 0);
  EXPECT_EQ(b64Cert, b64Der(chain.user.get()));
  EXPECT_EQ(CommonUtility().base64Decode(b64P12),
            CommonUtility().base64Decode(CommonUtility().base64Encode(*readWholeFile(path))));
}

TEST_F(PfxFile, StatusCodesOfLoadAndSave) {
  const std::string path = saveUserPfx("cert.pfx", "P");
  CertInfo info{{"cn", "untouched"}};
  EXPECT_EQ(rsa.loadPfx(path, "wrong", info), certstatus::kWrongPassword);
  EXPECT_EQ(rsa.checkPfxFile(path, "52303", "", ""), 52303);
  EXPECT_EQ(info["cn"], "untouched");
  writeText(home / "text.pfx", "this is not a certificate file\n");
  EXPECT_EQ(rsa.loadPfx(home / "text.pfx", "P", info), 52301);
  writeText(home / "empty.pfx", "");
  EXPECT_EQ(rsa.loadPfx(home / "empty.pfx", "P", info), 1);
  EXPECT_EQ(rsa.loadPfx(home / "missing.pfx", "P", info), 1);
  EXPECT_EQ(rsa.checkPfxFile(path, "P", "", ""), 0);

  const std::string cert = b64Der(chain.user.get());
  const std::string key = keyPem(userKey());
  const std::string out = home / "out.pfx";
  EXPECT_EQ(rsa.savePfxFile("", key, out, "P"), 1);
  EXPECT_EQ(rsa.savePfxFile(cert, "", out, "P"), 1);
  EXPECT_EQ(rsa.savePfxFile(cert, key, "", "P"), 1);
  EXPECT_EQ(rsa.savePfxFile(CommonUtility().base64Encode("not a certificate"), key, out, "P"), 52109);
  EXPECT_EQ(rsa.savePfxFile("@@not base64@@", key, out, "P"), 52109);
  EXPECT_EQ(rsa.savePfxFile(b64Pkcs7({}), key, out, "P"), 52109);  // a chain without certificates
  EXPECT_EQ(rsa.savePfxFile(cert, keyPem(otherUserKey()), out, "P"), 52111);
  EXPECT_EQ(rsa.savePfxFile(cert,
                            "-----BEGIN "
                            "PRIVATE KEY-----\nAAAA\n-----END "
                            "PRIVATE KEY-----\n",
                            out, "P"),
            52111);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(rsa.savePfxFile(nullptr, out), 1);
}

TEST_F(PfxFile, ChainInAnyOrderKeepsUserCertKeyedAndTheRestAsCaCerts) {
  // Root, intermediate, user: the user certificate (cA false) is found at the end.
  const std::string path = home / "chain.pfx";
  ASSERT_EQ(rsa.savePfxFile(b64Pkcs7({chain.root.get(), chain.intermediate.get(), chain.user.get()}), keyPem(userKey()),
                            path, "P"),
            0);
  CertInfo info;
  ASSERT_EQ(rsa.loadPfx(path, "P", info), 0);
  EXPECT_EQ(info["cn"], "X12345-01");
  const auto ca = pkcs12Tool(path, "P", {"-nokeys", "-cacerts"});
  EXPECT_EQ(countOf(ca.output, "BEGIN CERTIFICATE"), 2);
  EXPECT_TRUE(containsAll(ca.output, {"CN = Test Root CA", "CN = Test Issuing CA"}));
  EXPECT_EQ(countOf(ca.output, "friendlyName"), 0);  // CA certificates carry no bag attributes
  EXPECT_EQ(countOf(ca.output, "localKeyID"), 0);

  // No basicConstraints anywhere: the certificate of the key is keyed, in
  // either order, and the whole list goes along as CA certificates.
  X509Ptr bareRoot = makeCert({"Bare Root", "", "", "", "", "TW"}, rootKey(), nullptr, rootKey(), {7, {}});
  X509Ptr bareUser = makeCert({"B98765", "", "Org", "", "", ""}, userKey(), bareRoot.get(), rootKey(), {8, {}});
  for (const auto& order :
       {std::vector<X509*>{bareUser.get(), bareRoot.get()}, std::vector<X509*>{bareRoot.get(), bareUser.get()}}) {
    const std::string barePath = home / "bare.pfx";
    ASSERT_EQ(rsa.savePfxFile(b64Pkcs7(order), keyPem(userKey()), barePath, "P"), 0);
    ASSERT_EQ(rsa.loadPfx(barePath, "P", info), 0);
    EXPECT_EQ(info["subject"], "CN=B98765, O=Org");
    EXPECT_EQ(info["ou"], "");
    EXPECT_EQ(countOf(pkcs12Tool(barePath, "P", {"-nokeys", "-cacerts"}).output, "BEGIN CERTIFICATE"), 2);
  }
}

TEST_F(PfxFile, KeyFolderFormUsesTheKeyThatBelongsToTheCertificate) {
  const std::string cert = b64Pkcs7({chain.root.get(), chain.intermediate.get(), chain.user.get()});
  const std::string path = home / "from-folder.pfx";
  EXPECT_EQ(rsa.savePfxFile(cert, path, "P"), 1);  // no key folder
  ASSERT_TRUE(makeFolders(home / ".plix", 0700));
  EXPECT_EQ(rsa.savePfxFile(cert, path, "P"), 1);          // an empty key folder
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
  EXPECT_EQ(rsa.savePfxFile("", path, "P"), 1);
  EXPECT_EQ(rsa.savePfxFile(CommonUtility().base64Encode("junk"), path, "P"), 52109);
}

}  // namespace
}  // namespace karv
