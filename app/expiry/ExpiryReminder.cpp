#include "app/expiry/ExpiryReminder.h"

#include <array>

namespace karv::app {
namespace {

constexpr std::array<const char*, 6> kStageNames{"", "30", "14", "7", "1", "expired"};

bool isOver(const QDateTime& notAfter, const QDateTime& now) { return now >= notAfter; }

QString dateText(const QDateTime& notAfter) { return notAfter.toLocalTime().toString("yyyy/MM/dd"); }

}  // namespace

int daysLeft(const QDateTime& notAfter, const QDateTime& now) {
  return static_cast<int>(now.toLocalTime().date().daysTo(notAfter.toLocalTime().date()));
}

ExpiryStage expiryStageAt(const QDateTime& notAfter, const QDateTime& now) {
  if (isOver(notAfter, now)) return ExpiryStage::kExpired;
  const int days = daysLeft(notAfter, now);
  if (days <= 1) return ExpiryStage::kDays1;
  if (days <= 7) return ExpiryStage::kDays7;
  if (days <= 14) return ExpiryStage::kDays14;
  if (days <= 30) return ExpiryStage::kDays30;
  return ExpiryStage::kNone;
}

QString stageName(ExpiryStage stage) { return QString::fromLatin1(kStageNames[static_cast<size_t>(stage)]); }

std::optional<ExpiryStage> stageNamed(const QString& name) {
  for (size_t i = 0; i < kStageNames.size(); ++i)
    if (name == QLatin1String(kStageNames[i])) return static_cast<ExpiryStage>(i);
  return std::nullopt;
}

QString daysLeftText(const QDateTime& notAfter, const QDateTime& now) {
  if (isOver(notAfter, now)) return QString("憑證已於 %1 到期").arg(dateText(notAfter));
  const int days = daysLeft(notAfter, now);
  if (days == 0) return QString("憑證今天（%1）到期").arg(dateText(notAfter));
  return QString("效期至 %1，剩餘 %2 天").arg(dateText(notAfter), QString::number(days));
}

ExpiryNotice expiryNotice(const QString& cn, const QDateTime& notAfter, const QDateTime& now) {
  const ExpiryStage stage = expiryStageAt(notAfter, now);
  const bool over = stage == ExpiryStage::kExpired;
  const int days = daysLeft(notAfter, now);
  ExpiryNotice notice;
  notice.urgent = stage >= ExpiryStage::kDays1;
  notice.summary = over ? "KARV 憑證已到期" : "KARV 憑證即將到期";
  if (over)
    notice.body = QString("您的憑證 %1 已於 %2 到期，請開啟 KARV 辦理憑證作業。").arg(cn, dateText(notAfter));
  else if (days == 0)
    notice.body = QString("您的憑證 %1 將於今天（%2）到期，請開啟 KARV 辦理憑證更新。").arg(cn, dateText(notAfter));
  else
    // One arg() call: a chained one would fill a "%1" inside the common name.
    notice.body = QString("您的憑證 %1 將於 %2 到期，剩餘 %3 天，請開啟 KARV 辦理憑證更新。")
                      .arg(cn, dateText(notAfter), QString::number(days));
  return notice;
}

}  // namespace karv::app
