#include "CertStatus.h"
#include "SecureFiles.h"
#include "support/PfxFixture.h"

namespace karv {
namespace {

using namespace karv::test;
using SignPkcs7 = PfxFixture;

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST_F(SignPkcs7, SignatureVerifiesWithOpensslAndCarriesExactlyTheContent) {
  const std::string path = saveUserPfx("cert.pfx", "P");
  Bytes sign;
  ASSERT_EQ(rsa.signPKCS7(path, "P", bytesOf("abc"), sign), 0);

  writeText(home / "sig.der", std::string(sign.begin(), sign.end()));
  writeText(home / "cas.pem", certPem(chain.intermediate.get()) + certPem(chain.root.get()));
  const auto verified = runTool({"openssl", "smime", "-verify", "-inform", "DER", "-in", home / "sig.der", "-CAfile",
                                 home / "cas.pem", "-purpose", "any", "-out", home / "content.bin"});
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  EXPECT_EQ(readWholeFile(home / "content.bin"), "abc");
  const auto printed = runTool({"openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in", home / "sig.der"});
  EXPECT_TRUE(containsAll(printed.output, {"signedAttrs:\n          <ABSENT>", "algorithm: sha1 (1.3.14.3.2.26)",
                                           "algorithm: rsaEncryption"}))
      << printed.output;

  // One certificate (the signer's), one signer, no signed attributes.
  const unsigned char* p = sign.data();
  Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(sign.size())));
  ASSERT_TRUE(p7 && PKCS7_type_is_signed(p7.get()));
  ASSERT_EQ(sk_X509_num(p7->d.sign->cert), 1);
  EXPECT_EQ(X509_cmp(sk_X509_value(p7->d.sign->cert, 0), chain.user.get()), 0);
  ASSERT_EQ(sk_PKCS7_SIGNER_INFO_num(PKCS7_get_signer_info(p7.get())), 1);
  EXPECT_EQ(PKCS7_get_signed_attributes(sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 0)), nullptr);

  // Deterministic, and the same from a loaded structure.
  Bytes again, fromStructure;
  ASSERT_EQ(rsa.signPKCS7(path, "P", bytesOf("abc"), again), 0);
  EXPECT_EQ(again, sign);
  Pkcs12Ptr pkcs12;
  CertInfo info;
  ASSERT_EQ(rsa.loadPfx(path, "P", pkcs12, info), 0);
  ASSERT_EQ(rsa.signPKCS7(pkcs12.get(), "P", bytesOf("abc"), fromStructure), 0);
  EXPECT_EQ(fromStructure, sign);
}

TEST_F(SignPkcs7, FailuresBeforeAnySigning) {
  const std::string path = saveUserPfx("cert.pfx", "P");
  Bytes sign{1, 2, 3};
  EXPECT_EQ(rsa.signPKCS7(path, "wrong", bytesOf("abc"), sign), 52303);
  EXPECT_EQ(rsa.signPKCS7(home / "missing.pfx", "P", bytesOf("abc"), sign), 1);
  writeText(home / "text.pfx", "plain text");
  EXPECT_EQ(rsa.signPKCS7(home / "text.pfx", "P", bytesOf("abc"), sign), 52301);
  Pkcs12Ptr pkcs12;
  CertInfo info;
  ASSERT_EQ(rsa.loadPfx(path, "P", pkcs12, info), 0);
  EXPECT_EQ(rsa.signPKCS7(pkcs12.get(), "wrong", bytesOf("abc"), sign), 52601);
  EXPECT_EQ(rsa.signPKCS7(nullptr, "P", bytesOf("abc"), sign), 52601);
  EXPECT_EQ(sign, (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace karv
