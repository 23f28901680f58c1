#pragma once
#include <climits>
#include <cstddef>

namespace karv {

// Whether a length survives narrowing to the int that the C libraries
// (OpenSSL, libxml2, syslog) take. Every length that comes from outside is
// checked with it before it is narrowed.
[[nodiscard]] constexpr bool fitsInt(size_t length) { return length <= static_cast<size_t>(INT_MAX); }

}  // namespace karv
