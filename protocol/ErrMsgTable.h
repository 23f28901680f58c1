#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace karv {

// One entry of the KARVErrMsg table: a result code and its message.
struct ErrMsgEntry {
  int32_t code;
  const char* text;
};

// The table as shipped (generated at build time from resources/KARVErrMsg.strings).
[[nodiscard]] std::span<const ErrMsgEntry> errMsgEntries();

// The message for a code, or none when the table has no entry for it.
[[nodiscard]] std::optional<std::string_view> errMsgText(int32_t code);

}  // namespace karv
