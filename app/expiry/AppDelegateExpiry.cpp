// The expiry reminder's side of the main window: what is recorded of the
// current .pfx for `karv --check-expiry`, and the days left shown beside it.
#include <QDir>

#include "app/AppDelegate.h"
#include "app/expiry/ExpiryStateFile.h"
#include "system/Log.h"
#include "ui_MainWindow.h"

namespace karv::app {
namespace {

void showDaysLeft(QLabel* label, const ExpiryState* state, const QDateTime& now) {
  if (!state)
    label->clear();
  else
    label->setText(state->revoked ? QStringLiteral("憑證已廢止") : daysLeftText(state->notAfter, now));
  label->setVisible(state != nullptr);
}

}  // namespace

bool AppDelegate::rememberCurrentCertificate(const QString& pfxPath, const StringMap& certInfo) {
  const auto state = ExpiryState::of(pfxPath, certInfo);
  if (!state) logf("expiry reminder: the certificate record has no end of validity");
  const bool recorded = state && runBlocking([&] { return ExpiryStateFile().record(*state); });
  if (state && !recorded) logf("expiry reminder: state not written");
  showDaysLeft(ui_->lblPfxDaysLeft, state ? &*state : nullptr, services_.clock->now());
  return recorded;
}

void AppDelegate::noteCertificateRevoked(const QString& cn, const QString& serial) {
  if (runBlocking([&] { return ExpiryStateFile().markRevoked(cn, serial); })) showPfxDaysLeft();
}

void AppDelegate::showPfxDaysLeft() {
  const QString current = QString::fromStdString(getKARVlib()->getCurrentPfxFilePath().value_or(""));
  ExpiryState state;
  const bool known = !current.isEmpty() && ExpiryStateFile().load(state) == ExpiryStateFile::Read::kFound &&
                     QDir::cleanPath(state.pfxPath) == QDir::cleanPath(current);
  showDaysLeft(ui_->lblPfxDaysLeft, known ? &state : nullptr, services_.clock->now());
}

}  // namespace karv::app
