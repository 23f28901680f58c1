#pragma once
#include <string>

namespace karv {

// Percent-encoding that keeps only the unreserved ASCII letters, digits and
// "-", "." "_", "~" (and "/" when asked), upper-case hex digits otherwise.
[[nodiscard]] std::string percentEncode(const std::string& text, bool keepSlashes = false);

}  // namespace karv
