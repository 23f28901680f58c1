// Keep-alive every five minutes; logout after ten minutes without input,
// with a countdown during the last thirty seconds.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "app/AppDelegate.h"
#include "app/KARVMask.h"
#include "system/Log.h"

namespace karv::app {
namespace {
constexpr float kWarnAfterSeconds = 570.0f;
constexpr float kLogoutAfterSeconds = 600.0f;
}  // namespace

void AppDelegate::startSessionTimers() {
  keepAliveTimer_.start();
  registerEventMonitor();
  idleTimer_.start();
}

void AppDelegate::doIAmAlive() {
  KARVLib* lib = getKARVlib();
  (void)runBlocking([lib] { return lib->iAmAlive(); });
}

void AppDelegate::registerEventMonitor() { qApp->installEventFilter(this); }

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
  const bool leftPress =
      event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
  if ((leftPress || event->type() == QEvent::KeyPress) && watched->isWidgetType()) {
    lastActivity_ = services_.clock->now();
    if (mask_ && mask_->idleMode()) hideMask();
  }
  return QObject::eventFilter(watched, event);  // delivered unchanged
}

void AppDelegate::checkIdle() {
  logLine("checked!!");
  const QDateTime now = services_.clock->now();
  if (!lastActivity_) lastActivity_ = now;
  const float elapsed = static_cast<float>(lastActivity_->msecsTo(now)) / 1000.0f;
  if (elapsed > kLogoutAfterSeconds) {
    (void)doLogout();
    terminate();
  } else if (elapsed > kWarnAfterSeconds) {
    const int n = static_cast<int>(kLogoutAfterSeconds - elapsed) + 1;
    showIdle(QString("%1秒後將自動登出並關閉應用程式").arg(n));
  }
}

void AppDelegate::runDeferredTimerWork() {
  if (std::exchange(keepAliveDeferred_, false)) doIAmAlive();
  if (std::exchange(idleCheckDeferred_, false)) checkIdle();
}

}  // namespace karv::app
