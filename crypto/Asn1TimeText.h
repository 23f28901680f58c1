#pragma once
#include <openssl/asn1.h>

#include <optional>
#include <string>

namespace karv {

// A certificate time (UTCTime or GeneralizedTime) as 14 digits of local time,
// "%Y%m%d%H%M%S". The leading digits are read as UTC; whatever follows them
// ("Z", an offset, fractions) is ignored, and a two-digit year is 20yy.
// None for another type, fewer than 12 (14) leading digits, a year of 1900 or
// earlier, or fields out of range.
[[nodiscard]] std::optional<std::string> localTimeText(const ASN1_TIME* time);

}  // namespace karv
