#pragma once

namespace karv::app {
// As password managers do: the process leaves no core dump, and the user's
// other programs cannot attach to it and read the passwords and keys it
// holds. True when the system took it.
bool disableCoreDumps();
}  // namespace karv::app
