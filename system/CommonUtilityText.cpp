// CommonUtility: ICU regular expressions and date formatting.
#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/regex.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include "system/CommonUtility.h"

namespace karv {
namespace {

std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace

std::string CommonUtility::regexReplace(const std::string& text, const std::string& pattern,
                                        const std::string& replacement) const {
  UErrorCode status = U_ZERO_ERROR;
  // The matcher keeps a reference to its input, which must outlive it.
  const icu::UnicodeString input = icu::UnicodeString::fromUTF8(text);
  icu::RegexMatcher matcher(icu::UnicodeString::fromUTF8(pattern), input, UREGEX_DOTALL, status);
  if (U_FAILURE(status)) return {};
  const icu::UnicodeString result = matcher.replaceAll(icu::UnicodeString::fromUTF8(replacement), status);
  if (U_FAILURE(status)) return {};
  return toUtf8(result);
}

bool CommonUtility::regexMatch(const std::string& text, const std::string& pattern) const {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString input = icu::UnicodeString::fromUTF8(text);
  icu::RegexMatcher matcher(icu::UnicodeString::fromUTF8(pattern), input, 0, status);
  if (U_FAILURE(status)) return false;
  const bool matched = matcher.matches(status);
  return U_SUCCESS(status) && matched;
}

std::string CommonUtility::regexLiteral(const std::string& text) {
  // Quoted between \Q and \E; a "\E" inside the text ends the quote, so it
  // is closed, written escaped, and the quote opened again.
  std::string out = "\\Q";
  for (size_t at = 0;;) {
    const size_t end = text.find("\\E", at);
    out.append(text, at, end == std::string::npos ? std::string::npos : end - at);
    if (end == std::string::npos) break;
    out += "\\E\\\\E\\Q";
    at = end + 2;
  }
  return out + "\\E";
}

std::string CommonUtility::replaceAll(const std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  std::string out;
  size_t at = 0;
  for (size_t found = text.find(from); found != std::string::npos; found = text.find(from, at)) {
    out.append(text, at, found - at).append(to);
    at = found + from.size();
  }
  return out.append(text, at, std::string::npos);
}

std::string CommonUtility::getCurrentTimeStr(const std::string& datePattern) const {
  UErrorCode status = U_ZERO_ERROR;
  icu::SimpleDateFormat format(icu::UnicodeString::fromUTF8(datePattern), icu::Locale::getDefault(), status);
  if (U_FAILURE(status)) return {};
  icu::UnicodeString text;
  format.format(icu::Calendar::getNow(), text);
  return toUtf8(text);
}

}  // namespace karv
