#include "protocol/ErrMsgTable.h"

#include <algorithm>

namespace karv {

std::optional<std::string_view> errMsgText(int32_t code) {
  const auto entries = errMsgEntries();
  const auto it = std::find_if(entries.begin(), entries.end(), [code](const ErrMsgEntry& e) { return e.code == code; });
  if (it == entries.end()) return std::nullopt;
  return std::string_view(it->text);
}

}  // namespace karv
