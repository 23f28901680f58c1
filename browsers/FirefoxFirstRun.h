#pragma once
#include "browsers/XdgBrowsers.h"

namespace karv {

// Lets an installed Firefox that has never run make its profiles, as it does
// at its first start, without a window: its own program, headless, with
// -silent, which ends once the profiles exist. A profile made otherwise
// (-CreateProfile) is not the one Firefox picks for itself at its next start.
// True when it ended well within a bounded time.
[[nodiscard]] bool runFirefoxFirstStart(const DesktopEntry& firefox);

}  // namespace karv
