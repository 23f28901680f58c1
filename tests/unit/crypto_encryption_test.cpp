#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "CommonUtility.h"
#include "Log.h"
#include "RSAUtility.h"

namespace karv {
namespace {

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Encodings, Base64AndHexKnownValues) {
  CommonUtility u;
  const std::uint8_t bytes[] = {0x0a, 0xff, 0};
  EXPECT_EQ(u.base64Encode(bytes + 2, 1), "AA==");
  EXPECT_EQ(u.base64Encode("abc"), "YWJj");
  EXPECT_EQ(u.base64Encode(nullptr, 0), "");
  EXPECT_EQ(u.hexEncode(bytes, 2), "0AFF");
  for (const char* text : {"abc", "ab", "a"}) EXPECT_EQ(u.base64Decode(u.base64Encode(text)), bytesOf(text));
  // Rejected: line breaks, blanks, foreign characters, bad length, "=" inside.
  for (const char* bad : {"YW\nJj", "YWJj\n", " YWJj", "YW Jj", "YWJ", "Y===", "YQ=a", "YW*j", "=YWJ", ""})
    EXPECT_FALSE(u.base64Decode(bad).has_value()) << bad;
}

TEST(RsaRegime, BlockLimitsAndRandomPadding) {
  RSAUtility rsa;
  EXPECT_EQ(rsa.encryptAndB64WithPublicKey(""), "");
  const std::string one = rsa.encryptAndB64WithPublicKey("a");
  EXPECT_EQ(one.size(), 344u);
  EXPECT_NE(one, rsa.encryptAndB64WithPublicKey("a"));  // PKCS#1 v1.5 padding is random
  EXPECT_EQ(rsa.encryptAndB64WithPublicKey(std::string(245, 'x')).size(), 344u);
  EXPECT_EQ(rsa.encryptAndB64WithPublicKey(std::string(246, 'x')), "");
  // 245 bytes counted in UTF-8: 81 three-byte characters plus two ASCII = 245.
  std::string han;
  for (int i = 0; i < 81; ++i) han += "憑";
  EXPECT_EQ(rsa.encryptAndB64WithPublicKey(han + "ab").size(), 344u);
  EXPECT_EQ(rsa.encryptAndB64WithPublicKey(han + "abc"), "");
}

TEST(RsaRegime, UnreadableKeyFailsAndLogs) {
  std::vector<std::string> lines;
  setLogSink([&](std::string_view l) { lines.emplace_back(l); });
  RSAUtility rsa("-----BEGIN PUBLIC KEY-----\nnot a key\n-----END PUBLIC KEY-----\n");
  EXPECT_EQ(rsa.encryptAndB64WithPublicKey("abc"), "");
  EXPECT_FALSE(rsa.decryptWithPublicKey(bytesOf(std::string(256, 'x'))).has_value());
  setLogSink({});
  EXPECT_NE(std::find(lines.begin(), lines.end(), "No rsa found!!"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "encrypt data Size: 0"), lines.end());
}

TEST(AesRegime, SizesRoundTripAndBadPadding) {
  RSAUtility rsa;
  const std::string key = "0123456789abcdef";
  EXPECT_EQ(rsa.encryptAndB64WithAes(key, ""), "");
  EXPECT_EQ(rsa.encryptAndB64WithAes(key, "a").size(), 24u);
  EXPECT_EQ(rsa.encryptAndB64WithAes(key, std::string(16, 'a')).size(), 44u);
  EXPECT_EQ(rsa.encryptAndB64WithAes(key, "same"), rsa.encryptAndB64WithAes(key, "same"));  // fixed IV
  for (const std::string plain : {"a", "0123456789abcdef", "中文與 ASCII 混合的較長文字內容"}) {
    const auto sealed = CommonUtility().base64Decode(rsa.encryptAndB64WithAes(key, plain));
    ASSERT_TRUE(sealed);
    EXPECT_EQ(rsa.decryptWithAes(key, *sealed), bytesOf(plain));
    EXPECT_FALSE(rsa.decryptWithAes("fedcba9876543210", *sealed).has_value());  // wrong key: bad padding
  }
  for (const Bytes& bad : {Bytes(16, 0x41), Bytes{}}) EXPECT_FALSE(rsa.decryptWithAes(key, bad).has_value());
  EXPECT_FALSE(rsa.decryptWithAes("short", bytesOf("0123456789abcdef")).has_value());
}

// Lengths whose results would not fit the int OpenSSL counts in are refused
// before a byte is read or a buffer made (the one byte here is all there is).
TEST(Encodings, LengthsPastIntAreRefusedUnread) {
  const std::uint8_t one = 1;
  RSAUtility rsa;
  Bytes out;
  int32_t n = 0;
  EXPECT_EQ(CommonUtility().base64Encode(&one, INT32_MAX), "");
  EXPECT_EQ(CommonUtility().base64Encode(&one, INT32_MAX / 4 * 3 + 1), "");
  for (const int32_t size : {INT32_MAX, INT32_MAX - 31}) {
    EXPECT_EQ(rsa.encryptWithAes("0123456789abcdef", &one, size, out, n), RSAUtility::kFailed) << size;
    EXPECT_EQ(rsa.decryptWithAes("0123456789abcdef", &one, size, out, n), RSAUtility::kFailed) << size;
  }
  EXPECT_EQ(n, 0);
}

}  // namespace
}  // namespace karv
