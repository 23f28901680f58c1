#include "crypto/X509Names.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "crypto/OpenSslHandles.h"
#include "system/IntSize.h"

namespace karv {
namespace {

struct NamePartLabel {
  int nid;
  const char* label;
};
constexpr NamePartLabel kLineParts[] = {{NID_organizationalUnitName, "OU"},
                                        {NID_organizationName, "O"},
                                        {NID_localityName, "L"},
                                        {NID_stateOrProvinceName, "S"},
                                        {NID_countryName, "C"}};

bool isAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The one-line form, pair by pair from the right: "^(\s*(.+)\s*,\s*)?
// ([a-zA-Z]+)\s*=\s*([^=]*)\s*$" matched against what is left, the value
// allowed to be empty so that "CN=" (no commonName) still reads. Read by hand
// rather than by the regular expression, whose backtracking takes time of at
// least the square of the length (hours for a hostile reply), and the texts
// come from the gateway and from certificates. The reading is the
// expression's own match, step by step.
class OneLineNameReader {
 public:
  explicit OneLineNameReader(const std::string& text) : text_(icu::UnicodeString::fromUTF8(text)) {
    end_ = text_.length();
    trimBlanks();
  }

  // Takes the last pair off the end; false when what is left is no one-line name.
  bool takeLastPair(NameParts& parts) {
    const int32_t equals = text_.lastIndexOf(u'=', begin_, end_ - begin_);
    if (equals < 0) return false;
    int32_t valueStart = equals + 1;
    while (valueStart < end_ && isSpace(valueStart)) ++valueStart;
    int32_t nameEnd = equals;
    while (nameEnd > begin_ && isSpace(nameEnd - 1)) --nameEnd;
    int32_t nameStart = nameEnd;
    while (nameStart > begin_ && isAsciiLetter(text_.charAt(nameStart - 1))) --nameStart;
    if (nameStart == nameEnd) return false;
    parts[utf8(nameStart, nameEnd)] = utf8(valueStart, end_);
    if (nameStart == begin_) {  // the first pair: nothing left
      end_ = begin_;
      return true;
    }
    // Before the name: blanks, a comma, and at least one character.
    int32_t comma = nameStart;
    while (comma > begin_ && isSpace(comma - 1)) --comma;
    if (comma - begin_ < 2 || text_.charAt(comma - 1) != u',') return false;
    --comma;
    // "\s*(.+)" before it: leading white space goes unless nothing else is there.
    int32_t restStart = begin_;
    while (restStart < comma && isSpace(restStart)) ++restStart;
    begin_ = restStart < comma ? restStart : comma - 1;
    end_ = comma;
    trimBlanks();
    return true;
  }
  [[nodiscard]] bool done() const { return begin_ >= end_; }

 private:
  static bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
  // "\s" of the expression: the White_Space characters, all of them in the BMP.
  bool isSpace(int32_t at) const { return u_isUWhiteSpace(text_.charAt(at)); }
  void trimBlanks() {
    while (begin_ < end_ && (text_.charAt(begin_) == u' ' || text_.charAt(begin_) == u'\t')) ++begin_;
    while (end_ > begin_ && (text_.charAt(end_ - 1) == u' ' || text_.charAt(end_ - 1) == u'\t')) --end_;
  }
  std::string utf8(int32_t from, int32_t to) const {
    std::string out;
    text_.tempSubStringBetween(from, to).toUTF8String(out);
    return out;
  }

  icu::UnicodeString text_;
  int32_t begin_ = 0;
  int32_t end_ = 0;
};

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
  if (text.empty() || !fitsInt(text.size())) return std::nullopt;
  OneLineNameReader reader(text);
  NameParts parts;
  // Every pass takes at least "x=" off the end, so the loop ends.
  while (!reader.done())
    if (!reader.takeLastPair(parts)) return std::nullopt;
  return parts;
}

bool sameOneLineName(const std::string& a, const std::string& b) {
  const auto left = parseOneLineName(a);
  const auto right = parseOneLineName(b);
  return left && right && !left->empty() && *left == *right;
}

}  // namespace karv
