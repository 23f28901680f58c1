#pragma once
#include <optional>
#include <string>
#include <vector>

#include "browsers/XdgBrowsers.h"

namespace karv {

// Which of the installed browsers start out chosen, from the gateway's
// "depCert.mode" and "depCert.selectedBrowser" (names separated by ",").
// Every record gets "selected" "Y" or "N". Modes "M" and "N" apply every
// name in order ("ALL" chooses all and ends the list, "DEFAULT" the system's
// default browser); any other mode applies only the first name that is not
// "ALL".
[[nodiscard]] std::vector<BrowserRecord> preselectBrowsers(std::vector<BrowserRecord> records,
                                                           const std::optional<std::string>& mode,
                                                           const std::optional<std::string>& selectedBrowser);

}  // namespace karv
