// Keep-alive every five minutes; logout after ten minutes without input,
// with a countdown during the last thirty seconds.
#include "app/SessionTimers.h"

#include <QApplication>
#include <QMouseEvent>
#include <utility>

#include "app/AppServices.h"
#include "app/BlockingWork.h"

namespace karv::app {
namespace {
constexpr int kKeepAliveMs = 300 * 1000;
constexpr int kIdleCheckMs = 1000;
constexpr float kWarnAfterSeconds = 570.0f;
constexpr float kLogoutAfterSeconds = 600.0f;
}  // namespace

SessionTimers::SessionTimers(const Clock& clock, const BlockingWork& blockingWork, QObject* parent)
    : QObject(parent), clock_(clock), blockingWork_(blockingWork) {
  keepAliveTimer_.setInterval(kKeepAliveMs);
  idleTimer_.setInterval(kIdleCheckMs);
  connect(&keepAliveTimer_, &QTimer::timeout, this, [this] {
    if (mustWait())
      keepAliveDeferred_ = true;
    else
      emit keepAliveDue();
  });
  connect(&idleTimer_, &QTimer::timeout, this, [this] {
    if (mustWait())
      idleCheckDeferred_ = true;
    else
      emit idleCheckDue();
  });
  connect(&blockingWork_, &BlockingWork::finished, this, [this] {
    if (!mustWait()) runDeferred();
  });
}

void SessionTimers::watchInput() { qApp->installEventFilter(this); }

bool SessionTimers::eventFilter(QObject* watched, QEvent* event) {
  const bool leftPress =
      event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
  if ((leftPress || event->type() == QEvent::KeyPress) && watched->isWidgetType()) {
    lastActivity_ = clock_.now();
    emit userActive();
  }
  return QObject::eventFilter(watched, event);  // delivered unchanged
}

SessionTimers::Idleness SessionTimers::idleness() {
  const QDateTime now = clock_.now();
  if (!lastActivity_) lastActivity_ = now;
  const float elapsed = static_cast<float>(lastActivity_->msecsTo(now)) / 1000.0f;
  if (elapsed > kLogoutAfterSeconds) return {Idleness::State::LimitPassed};
  if (elapsed > kWarnAfterSeconds)
    return {Idleness::State::Countdown, static_cast<int>(kLogoutAfterSeconds - elapsed) + 1};
  return {};
}

void SessionTimers::holdDuring(const std::function<void()>& present) {
  ++openAlerts_;
  present();
  --openAlerts_;
  if (!mustWait()) runDeferred();
}

bool SessionTimers::mustWait() const { return openAlerts_ > 0 || blockingWork_.busy(); }

void SessionTimers::runDeferred() {
  if (std::exchange(keepAliveDeferred_, false)) emit keepAliveDue();
  if (std::exchange(idleCheckDeferred_, false)) emit idleCheckDue();
}

}  // namespace karv::app
