#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace karv {

// Strict Big5 to UTF-8: any byte sequence that is not Big5 gives none.
[[nodiscard]] std::optional<std::string> big5ToUtf8(std::string_view big5);

// UTF-8 to Big5 (used by the development gateway for its replies); none when
// a character has no Big5 form.
[[nodiscard]] std::optional<std::string> utf8ToBig5(std::string_view utf8);

}  // namespace karv
