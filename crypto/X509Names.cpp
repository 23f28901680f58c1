#include "X509Names.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>

#include "OpenSslHandles.h"

namespace karv {
namespace {

struct NamePartLabel {
  int nid;
  const char* label;
};
constexpr size_t kMaxOneLineNameBytes = 2048;
constexpr NamePartLabel kLineParts[] = {{NID_organizationalUnitName, "OU"},
                                        {NID_organizationName, "O"},
                                        {NID_localityName, "L"},
                                        {NID_stateOrProvinceName, "S"},
                                        {NID_countryName, "C"}};

std::string trimBlanks(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool isAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// One pass takes the last "name=value" pair off the end of the text. The
// value may be empty so that "CN=" (no commonName) still reads; everything
// else about the pattern is the one-line form's own. Compiled once; a
// pattern object is safe to share between matchers.
const icu::RegexPattern* lastPairPattern() {
  static const std::unique_ptr<icu::RegexPattern> pattern = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> p(icu::RegexPattern::compile(
        icu::UnicodeString::fromUTF8(R"(^(\s*(.+)\s*,\s*)?([a-zA-Z]+)\s*=\s*([^=]*)\s*$)"), UREGEX_DOTALL, status));
    return U_FAILURE(status) ? nullptr : std::move(p);
  }();
  return pattern.get();
}

std::string groupText(icu::RegexMatcher& m, int group, UErrorCode& status) {
  std::string out;
  m.group(group, status).toUTF8String(out);
  return out;
}

}  // namespace

std::string x509NamePart(const X509_NAME* name, int nid) {
  if (!name) return {};
  const int index = X509_NAME_get_index_by_NID(name, nid, -1);
  if (index < 0) return {};
  const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
  unsigned char* utf8 = nullptr;
  // Converting (rather than copying the stored bytes) gives BMPString and
  // T61String entries a proper UTF-8 text too.
  const int len = data ? ASN1_STRING_to_UTF8(&utf8, data) : -1;
  const OpenSslStringPtr owned(reinterpret_cast<char*>(utf8));
  if (len < 1) return {};
  return std::string(owned.get(), static_cast<size_t>(len));
}

std::string oneLineName(const X509_NAME* name) {
  std::string line = "CN=" + x509NamePart(name, NID_commonName);
  for (const auto& part : kLineParts) {
    const std::string value = x509NamePart(name, part.nid);
    if (!value.empty()) line += std::string(", ") + part.label + "=" + value;
  }
  return line;
}

std::string userIdFromCommonName(const std::string& cn) {
  size_t run = 0;
  while (run < cn.size() && isAsciiAlnum(cn[run])) ++run;
  return run > 0 ? cn.substr(0, run) : cn;
}

std::optional<NameParts> parseOneLineName(const std::string& text) {
  const icu::RegexPattern* pattern = lastPairPattern();
  // The pattern's work grows with the square of the text's length: a hostile
  // reply of a megabyte would hold the client for hours. Six parts of at most
  // 128 characters each, with their labels, stay far below the limit.
  if (text.empty() || text.size() > kMaxOneLineNameBytes || !pattern) return std::nullopt;
  NameParts parts;
  std::string remaining = trimBlanks(text);
  while (!remaining.empty()) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(remaining);  // the matcher keeps a reference
    std::unique_ptr<icu::RegexMatcher> m(pattern->matcher(input, status));
    if (U_FAILURE(status) || !m->matches(status) || U_FAILURE(status)) return std::nullopt;
    std::string value = groupText(*m, 4, status);
    parts[groupText(*m, 3, status)] = std::move(value);
    // Every pass shortens the text by at least "x=", so the loop ends.
    remaining = trimBlanks(groupText(*m, 2, status));
    if (U_FAILURE(status)) return std::nullopt;
  }
  return parts;
}

bool sameOneLineName(const std::string& a, const std::string& b) {
  const auto left = parseOneLineName(a);
  const auto right = parseOneLineName(b);
  return left && right && !left->empty() && *left == *right;
}

}  // namespace karv
