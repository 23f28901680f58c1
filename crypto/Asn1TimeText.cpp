#include "crypto/Asn1TimeText.h"

#include <ctime>
#include <string_view>

namespace karv {
namespace {

// The number in text[pos, pos + len), or -1 when a character is not a digit.
int digitsAt(std::string_view text, size_t pos, size_t len) {
  int value = 0;
  for (size_t i = pos; i < pos + len; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<std::string> localTimeText(const ASN1_TIME* time) {
  if (!time) return std::nullopt;
  const int type = ASN1_STRING_type(time);
  if (type != V_ASN1_UTCTIME && type != V_ASN1_GENERALIZEDTIME) return std::nullopt;
  const std::string_view text(reinterpret_cast<const char*>(ASN1_STRING_get0_data(time)),
                              static_cast<size_t>(ASN1_STRING_length(time)));
  const size_t yearDigits = type == V_ASN1_GENERALIZEDTIME ? 4 : 2;
  if (text.size() < yearDigits + 10) return std::nullopt;
  int fields[6];
  fields[0] = digitsAt(text, 0, yearDigits);
  for (size_t i = 1; i < 6; ++i) fields[i] = digitsAt(text, yearDigits + 2 * (i - 1), 2);
  for (int f : fields)
    if (f < 0) return std::nullopt;
  const int year = type == V_ASN1_UTCTIME ? 2000 + fields[0] : fields[0];
  const int month = fields[1], day = fields[2], hour = fields[3], minute = fields[4], second = fields[5];
  if (year <= 1900 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 60)
    return std::nullopt;

  std::tm utc{};
  utc.tm_year = year - 1900;
  utc.tm_mon = month - 1;
  utc.tm_mday = day;
  utc.tm_hour = hour;
  utc.tm_min = minute;
  utc.tm_sec = second;
  const std::time_t instant = ::timegm(&utc);  // the fields are UTC whatever the local zone's rules
  std::tm local{};
  if (!::localtime_r(&instant, &local)) return std::nullopt;
  char out[32];
  if (std::strftime(out, sizeof out, "%Y%m%d%H%M%S", &local) != 14) return std::nullopt;
  return std::string(out, 14);
}

}  // namespace karv
