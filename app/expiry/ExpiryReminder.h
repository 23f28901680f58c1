#pragma once
#include <QDateTime>
#include <QString>
#include <optional>

namespace karv::app {

// How close a certificate is to its end. Each later stage is more urgent, and
// the reminder shows each one once.
enum class ExpiryStage { kNone, kDays30, kDays14, kDays7, kDays1, kExpired };

// Whole days from today to the certificate's last day by the local calendar:
// 0 on that day, negative after it.
[[nodiscard]] int daysLeft(const QDateTime& notAfter, const QDateTime& now);
[[nodiscard]] ExpiryStage expiryStageAt(const QDateTime& notAfter, const QDateTime& now);

// The stage's name in the reminder's state file ("" for none); none for an unknown name.
[[nodiscard]] QString stageName(ExpiryStage stage);
[[nodiscard]] std::optional<ExpiryStage> stageNamed(const QString& name);

// The main window's line beside the .pfx path.
[[nodiscard]] QString daysLeftText(const QDateTime& notAfter, const QDateTime& now);

struct ExpiryNotice {
  QString summary;
  QString body;
  bool urgent = false;  // the last day, or already over
};
[[nodiscard]] ExpiryNotice expiryNotice(const QString& cn, const QDateTime& notAfter, const QDateTime& now);

}  // namespace karv::app
