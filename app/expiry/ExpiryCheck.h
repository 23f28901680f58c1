#pragma once
#include <functional>

#include "app/AppServices.h"
#include "app/expiry/ExpiryNotifier.h"

namespace karv::app {

// Exit codes of `karv --check-expiry`.
enum ExpiryCheckExit : int {
  kExpiryCheckDone = 0,         // reminded, or nothing to remind of
  kExpiryCheckStateFailed = 1,  // the state file could not be read or written
  kExpiryCheckNoBus = 2,
  kExpiryCheckNoService = 3,
};

// Reads the reminder's state, shows the notice of a stage not shown yet,
// records that stage, and starts KARV when the user picks the notice's action.
// No window, no network, no password.
[[nodiscard]] int checkExpiry(const Clock& clock, ExpiryNotifier& notifier, const std::function<bool()>& startKarv);

// `karv --check-expiry`: the check in a QCoreApplication of its own, with the
// system clock and the session bus; returns the exit code.
[[nodiscard]] int runExpiryCheckCommand(int& argc, char** argv);

}  // namespace karv::app
