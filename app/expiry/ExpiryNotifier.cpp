#include "app/expiry/ExpiryNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QTimer>

#include "KarvBuildConfig.h"
#include "system/Log.h"

namespace karv::app {
namespace {

const QString kService = "org.freedesktop.Notifications";
const QString kPath = "/org/freedesktop/Notifications";
const QString kInterface = "org.freedesktop.Notifications";
// The action the service invokes when the notice itself is clicked.
const QString kOpenAction = "default";

}  // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus, int callTimeoutMs, int actionWaitMs)
    : bus_(std::move(bus)), callTimeoutMs_(callTimeoutMs), actionWaitMs_(actionWaitMs) {
  // Listen before showing: a quick click must not be missed.
  if (!bus_.isConnected()) return;
  bus_.connect(kService, kPath, kInterface, "ActionInvoked", this, SLOT(actionInvoked(uint, QString)));
  bus_.connect(kService, kPath, kInterface, "NotificationClosed", this, SLOT(notificationClosed(uint, uint)));
}

QDBusMessage DesktopNotifications::call(const QString& method, const QVariantList& arguments) {
  QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
  message.setArguments(arguments);
  QDBusPendingCallWatcher watcher(bus_.asyncCall(message, callTimeoutMs_));
  if (!watcher.isFinished()) {
    QEventLoop loop;
    connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return watcher.reply();
}

ExpiryNotifier::Sent DesktopNotifications::show(const ExpiryNotice& notice) {
  if (!bus_.isConnected()) {
    logf("check-expiry: no session bus: %s", qUtf8Printable(bus_.lastError().message()));
    return Sent::kNoBus;
  }
  const QDBusMessage capabilities = call("GetCapabilities", {});
  if (capabilities.type() != QDBusMessage::ReplyMessage) {
    logf("check-expiry: no notification service: %s", qUtf8Printable(capabilities.errorName()));
    return Sent::kNoService;
  }
  const QStringList offered = capabilities.arguments().value(0).toStringList();
  // Servers that read markup would take "<" or "&" in the name as markup.
  const QString body = offered.contains("body-markup") ? notice.body.toHtmlEscaped() : notice.body;
  const QVariantMap hints{{"urgency", QVariant::fromValue<uchar>(notice.urgent ? 2 : 1)},
                          // The menu entry's ID: the server shows its name and icon.
                          {"desktop-entry", QString::fromUtf8(build::kDesktopId)}};
  const QStringList actions{kOpenAction, "開啟 KARV"};
  const QDBusMessage reply = call(
      "Notify", {QString("KARV"), 0u, QString::fromUtf8(build::kDesktopId), notice.summary, body, actions, hints, -1});
  if (reply.type() != QDBusMessage::ReplyMessage) {
    logf("check-expiry: no notification service: %s", qUtf8Printable(reply.errorName()));
    return Sent::kNoService;
  }
  id_ = reply.arguments().value(0).toUInt();
  // Without actions on the server there is nothing to wait for.
  waitable_ = offered.contains("actions");
  return Sent::kShown;
}

bool DesktopNotifications::waitForOpenRequest() {
  if (waitable_ && !answered()) {
    QEventLoop loop;
    QTimer::singleShot(actionWaitMs_, &loop, &QEventLoop::quit);
    connect(this, &DesktopNotifications::signalled, &loop, [&] {
      if (answered()) loop.quit();
    });
    loop.exec();
  }
  return picked_.contains(id_);
}

void DesktopNotifications::actionInvoked(uint id, const QString& actionKey) {
  if (actionKey == kOpenAction) picked_.insert(id);
  emit signalled();
}

void DesktopNotifications::notificationClosed(uint id, uint) {
  closed_.insert(id);
  emit signalled();
}

}  // namespace karv::app
