#include "browsers/FirefoxFirstRun.h"

#include "browsers/WaitedProcess.h"
#include "system/Log.h"

namespace karv {

bool runFirefoxFirstStart(const DesktopEntry& firefox) {
  // A first start takes seconds; one that hangs must not hold the installation.
  constexpr std::chrono::seconds kLimit{90};
  const auto exitCode = runAndWait(firefox.program, firefox.commandWith({"--headless", "-silent"}), kLimit);
  logf("first start of %s to make its profile: %s", firefox.id.c_str(),
       !exitCode        ? "did not finish"
       : *exitCode == 0 ? "done"
                        : "failed");
  return exitCode == 0;
}

}  // namespace karv
