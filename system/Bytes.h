#pragma once
#include <cstdint>
#include <vector>

namespace karv {

// Raw bytes: file contents, DER, ciphertexts.
using Bytes = std::vector<std::uint8_t>;

}  // namespace karv
