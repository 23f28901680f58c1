#pragma once
#include <QString>
#include <cstdint>
#include <initializer_list>

namespace karv::app {

// A character rule of a password: when required, the whole password must
// match the pattern (ICU syntax; "." does not cross a line break).
struct PasswordPattern {
  bool required;
  const char* pattern;
  const char* message;
};

// The message of the first rule the password breaks: the minimum length
// ("密碼長度不足"), the maximum ("密碼長度超過限制"), then the patterns in
// order; "" when it keeps them all. A length of 0 or less is no limit;
// lengths count UTF-16 code units, as the user sees them counted.
[[nodiscard]] QString firstBrokenRule(const QString& password, int32_t minLen, int32_t maxLen,
                                      std::initializer_list<PasswordPattern> patterns);

}  // namespace karv::app
