#pragma once
#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

namespace karv::app {

class BlockingWork;
class Clock;

// The logged-in session's two timers and the watch on the user's input: a
// keep-alive every five minutes, an idle check every second measured against
// the last left click or key press. Neither timer's work runs while a message
// is open or a blocking call is under way; what fell due meanwhile runs once
// afterwards. Once started they run until the process ends.
class SessionTimers : public QObject {
  Q_OBJECT
 public:
  // What the idle check finds: the user counts as active, the countdown of
  // the last half minute runs (secondsLeft), or the limit has passed.
  struct Idleness {
    enum class State { Active, Countdown, LimitPassed } state = State::Active;
    int secondsLeft = 0;
  };

  SessionTimers(const Clock& clock, const BlockingWork& blockingWork, QObject* parent = nullptr);

  void startKeepAlive() { keepAliveTimer_.start(); }
  // Watches the application's left clicks and key presses from now on.
  void watchInput();
  void startIdleCheck() { idleTimer_.start(); }
  // Measures the time since the last activity; the first measurement starts the count.
  [[nodiscard]] Idleness idleness();
  // Runs `present` (a message waiting for the user) with both timers held.
  void holdDuring(const std::function<void()>& present);

  [[nodiscard]] QTimer& keepAliveTimer() { return keepAliveTimer_; }
  [[nodiscard]] QTimer& idleTimer() { return idleTimer_; }

 signals:
  void keepAliveDue();
  void idleCheckDue();
  // A left click or key press reached one of the application's widgets.
  void userActive();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  [[nodiscard]] bool mustWait() const;
  void runDeferred();

  const Clock& clock_;
  const BlockingWork& blockingWork_;
  QTimer keepAliveTimer_;
  QTimer idleTimer_;
  std::optional<QDateTime> lastActivity_;
  int openAlerts_ = 0;
  bool keepAliveDeferred_ = false;
  bool idleCheckDeferred_ = false;
};

}  // namespace karv::app
