#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "app/expiry/ExpiryReminder.h"

namespace karv::app {

// Where the expiry check shows its notice; tests install a recording double.
class ExpiryNotifier {
 public:
  virtual ~ExpiryNotifier() = default;
  enum class Sent { kShown, kNoBus, kNoService };
  // Shows the notice with one action that opens KARV.
  virtual Sent show(const ExpiryNotice& notice) = 0;
  // After a shown notice: true when the user picked its action. Returns early
  // when the notice is closed, and after a bounded wait at the latest.
  virtual bool waitForOpenRequest() = 0;
};

// The freedesktop notification service on a D-Bus connection (the session
// bus in the product).
class DesktopNotifications : public QObject, public ExpiryNotifier {
  Q_OBJECT
 public:
  // How long a call to the service may take, and how long a shown notice
  // keeps its action alive.
  DesktopNotifications(QDBusConnection bus, int callTimeoutMs, int actionWaitMs);

  Sent show(const ExpiryNotice& notice) override;
  bool waitForOpenRequest() override;

 private slots:
  void actionInvoked(uint id, const QString& actionKey);
  void notificationClosed(uint id, uint reason);

 signals:
  void signalled();

 private:
  // The reply of a call, waited for with the event loop turning.
  QDBusMessage call(const QString& method, const QVariantList& arguments);

  [[nodiscard]] bool answered() const { return picked_.contains(id_) || closed_.contains(id_); }

  QDBusConnection bus_;
  int callTimeoutMs_;
  int actionWaitMs_;
  uint id_ = 0;
  bool waitable_ = false;  // the service has actions
  // Notices by id: a click may come in before the reply that names our id.
  QSet<uint> picked_;
  QSet<uint> closed_;
};

}  // namespace karv::app
