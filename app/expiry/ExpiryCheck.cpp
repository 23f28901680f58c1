#include "app/expiry/ExpiryCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include "app/expiry/ExpiryStateFile.h"
#include "system/Log.h"

namespace karv::app {
namespace {

constexpr int kCallTimeoutMs = 10 * 1000;
// A notice may sit unread for a while; its action works as long as this
// process waits for it.
constexpr int kActionWaitMs = 60 * 60 * 1000;

}  // namespace

int checkExpiry(const Clock& clock, ExpiryNotifier& notifier, const std::function<bool()>& startKarv) {
  const ExpiryStateFile file;
  ExpiryStateFile::Lock held = file.lock();
  ExpiryState state;
  switch (file.load(state)) {
    case ExpiryStateFile::Read::kAbsent:
      logf("check-expiry: no certificate recorded");
      return kExpiryCheckDone;
    case ExpiryStateFile::Read::kUnreadable:
      logf("check-expiry: %s unreadable", qUtf8Printable(file.path()));
      return kExpiryCheckStateFailed;
    case ExpiryStateFile::Read::kFound:
      break;
  }
  if (state.revoked) {
    logf("check-expiry: the certificate is revoked, nothing to remind");
    return kExpiryCheckDone;
  }
  const QDateTime now = clock.now();
  const ExpiryStage stage = expiryStageAt(state.notAfter, now);
  if (stage <= state.notified) {
    logf("check-expiry: nothing to remind, %d days left", daysLeft(state.notAfter, now));
    return kExpiryCheckDone;
  }
  switch (notifier.show(expiryNotice(state.cn, state.notAfter, now))) {
    case ExpiryNotifier::Sent::kNoBus:
      return kExpiryCheckNoBus;
    case ExpiryNotifier::Sent::kNoService:
      return kExpiryCheckNoService;
    case ExpiryNotifier::Sent::kShown:
      break;
  }
  state.notified = stage;
  const bool saved = file.save(state);
  held.release();
  logf("check-expiry: reminded, %d days left", daysLeft(state.notAfter, now));
  if (!saved) logf("check-expiry: %s not written", qUtf8Printable(file.path()));
  if (notifier.waitForOpenRequest() && !startKarv()) logf("check-expiry: KARV did not start");
  return saved ? kExpiryCheckDone : kExpiryCheckStateFailed;
}

int runExpiryCheckCommand(int& argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("KARV");
  const SystemClock clock;
  DesktopNotifications notifications(QDBusConnection::sessionBus(), kCallTimeoutMs, kActionWaitMs);
  return checkExpiry(clock, notifications, [] {
    return QProcess::startDetached(QCoreApplication::applicationFilePath(), {}, QDir::homePath());
  });
}

}  // namespace karv::app
