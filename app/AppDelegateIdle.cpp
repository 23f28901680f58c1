// What the session timers ask for: the keep-alive and the idle check.
#include "app/AppDelegate.h"
#include "app/KARVMask.h"
#include "system/Log.h"

namespace karv::app {

void AppDelegate::doIAmAlive() {
  KARVLib* lib = getKARVlib();
  (void)runBlocking([lib] { return lib->iAmAlive(); });
}

void AppDelegate::registerEventMonitor() { sessionTimers_.watchInput(); }

void AppDelegate::checkIdle() {
  logLine("checked!!");
  const SessionTimers::Idleness idle = sessionTimers_.idleness();
  if (idle.state == SessionTimers::Idleness::State::LimitPassed) {
    (void)doLogout();
    terminate();
  } else if (idle.state == SessionTimers::Idleness::State::Countdown) {
    showIdle(QString("%1秒後將自動登出並關閉應用程式").arg(idle.secondsLeft));
  }
}

}  // namespace karv::app
