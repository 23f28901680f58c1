#include <gtest/gtest.h>

#include "crypto/RSAUtility.h"
#include "support/TestFiles.h"

namespace karv {
namespace {

X509NamePtr nameOf(const std::vector<std::pair<const char*, std::string>>& entries) {
  X509NamePtr name(X509_NAME_new());
  for (const auto& [field, value] : entries)
    X509_NAME_add_entry_by_txt(name.get(), field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value.c_str()),
                               -1, -1, 0);
  return name;
}

// An ASN.1 time holding exactly these characters, valid or not.
std::unique_ptr<ASN1_TIME, OpenSslDeleter<ASN1_STRING_free>> timeOf(int type, const std::string& text) {
  std::unique_ptr<ASN1_TIME, OpenSslDeleter<ASN1_STRING_free>> t(ASN1_STRING_type_new(type));
  ASN1_STRING_set(t.get(), text.data(), static_cast<int>(text.size()));
  return t;
}

TEST(X509Names, PartsAndOneLineForm) {
  RSAUtility u;
  const auto name = nameOf({{"C", "TW"}, {"OU", "Retail"}, {"CN", "X12345-01"}});
  EXPECT_EQ(u.getX509NamePart(name.get(), NID_commonName), "X12345-01");
  EXPECT_EQ(u.getX509NamePart(name.get(), NID_organizationName), "");
  EXPECT_EQ(oneLineName(name.get()), "CN=X12345-01, OU=Retail, C=TW");

  // All six parts in the fixed order, state as "S"; e-mail never appears.
  const auto full = nameOf({{"emailAddress", "a@b.c"},
                            {"C", "TW"},
                            {"ST", "Taiwan"},
                            {"L", "Taipei"},
                            {"O", "Foo, Inc."},
                            {"OU", "IT"},
                            {"CN", "CA1"}});
  EXPECT_EQ(oneLineName(full.get()), "CN=CA1, OU=IT, O=Foo, Inc., L=Taipei, S=Taiwan, C=TW");
  // No commonName: "CN=" stays, and the line still parses.
  const auto noCn = nameOf({{"O", "Org"}});
  EXPECT_EQ(oneLineName(noCn.get()), "CN=, O=Org");
  EXPECT_EQ(u.parseSubject("CN=, O=Org"), (NameParts{{"CN", ""}, {"O", "Org"}}));

  // A BMPString entry comes out as UTF-8, not as raw UTF-16 bytes.
  X509NamePtr bmp(X509_NAME_new());
  const unsigned char utf16[] = {0x6e, 0x2c, 0x8a, 0x66};  // 測試
  X509_NAME_add_entry_by_NID(bmp.get(), NID_commonName, V_ASN1_BMPSTRING, utf16, 4, -1, 0);
  EXPECT_EQ(u.getX509NamePart(bmp.get(), NID_commonName), "測試");
}

TEST(X509Names, UserIdFromCommonName) {
  for (const auto& [cn, userId] : std::vector<std::pair<std::string, std::string>>{
           {"X12345-01", "X12345"}, {"A123456789", "A123456789"}, {"-X", "-X"}, {"AB 12", "AB"}, {"", ""}})
    EXPECT_EQ(RSAUtility().getCertUserIdFromCn(cn), userId) << cn;
}

TEST(X509Names, ParseSubjectReadsRightToLeftAndAlwaysEnds) {
  RSAUtility u;
  EXPECT_EQ(u.parseSubject("O=Foo, Inc."), (NameParts{{"O", "Foo, Inc."}}));
  EXPECT_EQ(u.parseSubject("OU=a, OU=b"), (NameParts{{"OU", "a"}}));
  EXPECT_EQ(u.parseSubject("  CN=X12345-01 ,OU = Retail Dept,\tC=TW\t"),
            (NameParts{{"CN", "X12345-01"}, {"OU", "Retail Dept"}, {"C", "TW"}}));
  EXPECT_EQ(u.parseSubject("CN=A, OU=, O=B"), (NameParts{{"CN", "A"}, {"OU", ""}, {"O", "B"}}));
  EXPECT_FALSE(u.parseSubject("").has_value());
  EXPECT_EQ(u.parseSubject("  \t "), NameParts{});  // blanks only: nothing to read
  // Not one-line names: no "=", a value with "=", no name before "=".
  for (const char* bad : {"garbage", "CN=a=b", "CN=A, junk, O=B=C", "=x", "CN=A, =B", "X12345, CN=A=", "CN=A, 1=B"})
    EXPECT_FALSE(u.parseSubject(bad).has_value()) << bad;
  // Hostile texts read in time that grows with their length (backtracking took hours).
  EXPECT_EQ(u.parseSubject("C" + std::string(100000, ' ') + "=x"), (NameParts{{"C", "x"}}));
  EXPECT_FALSE(u.parseSubject(", O" + std::string(100000, '\0') + std::string(100000, ' ') + "=x").has_value());
}

TEST(X509Names, CmpSubject) {
  struct Case {
    const char* left;
    const char* right;
    bool same;
  };
  for (const auto& c : std::vector<Case>{{"CN=CA1, O=Org, C=TW", "C=TW,O=Org,CN=CA1", true},
                                         {"CN=CA1, O=Org, C=TW", "CN=ca1, O=Org, C=TW", false},  // case
                                         {"CN=CA1, O=Org, C=TW", "CN=CA1, O=Org", false},        // count
                                         {"CN=CA1, O=Org", "CN=CA1, O=Org, C=TW", false},
                                         {"", "CN=CA1", false},
                                         {"garbage", "garbage", false},
                                         {"CN=, O=Org", "O=Org, CN=", true}})
    EXPECT_EQ(RSAUtility().cmpSubject(c.left, c.right), c.same) << c.left << " | " << c.right;
}

TEST(CertTimes, UtcToLocalFourteenDigits) {
  RSAUtility u;
  struct Case {
    const char* zone;
    int type;
    const char* time;
    const char* local;
  };
  const Case cases[] = {
      {"CST-8", V_ASN1_UTCTIME, "251231160000Z", "20260101000000"},  // eight hours ahead, no daylight saving
      {"CST-8", V_ASN1_GENERALIZEDTIME, "20501231235959Z", "20510101075959"},
      {"CST-8", V_ASN1_UTCTIME, "990101000000Z", "20990101080000"},
      {"CST-8", V_ASN1_GENERALIZEDTIME, "20240229120000.5+0100", "20240229200000"},  // what follows is ignored
      // A zone with daylight saving: the fields are UTC in summer and winter alike.
      {"CET-1CEST,M3.5.0,M10.5.0/3", V_ASN1_UTCTIME, "250701120000Z", "20250701140000"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", V_ASN1_UTCTIME, "250115120000Z", "20250115130000"},
  };
  for (const auto& c : cases) {
    test::ScopedEnv tz("TZ", c.zone);
    EXPECT_EQ(u.asn1TimeToLocalTimeStr(timeOf(c.type, c.time).get()), c.local) << c.zone << " " << c.time;
  }
  // Unusable times give none.
  for (const auto& [type, text] :
       std::vector<std::pair<int, std::string>>{{V_ASN1_UTCTIME, "2512311600Z"},              // no seconds
                                                {V_ASN1_GENERALIZEDTIME, "19000101000000Z"},  // 1900 or earlier
                                                {V_ASN1_GENERALIZEDTIME, "20251301000000Z"},  // month 13
                                                {V_ASN1_GENERALIZEDTIME, "20250230000000Z"},  // 30 February
                                                {V_ASN1_UTCTIME, "25123116a000Z"},
                                                {V_ASN1_OCTET_STRING, "20250101000000Z"}})
    EXPECT_FALSE(u.asn1TimeToLocalTimeStr(timeOf(type, text).get()).has_value()) << text;
  EXPECT_FALSE(u.asn1TimeToLocalTimeStr(nullptr).has_value());
}

}  // namespace
}  // namespace karv
