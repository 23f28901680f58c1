// Entry points of the certificate workflows that are still to come.
#include "AppDelegate.h"

namespace karv::app {
namespace {
const QString kComingSoon = QStringLiteral("此功能即將開放，敬請期待。");
}

void AppDelegate::doRenewCert(const QString&) { doAlert(kComingSoon); }
void AppDelegate::doDepCert(const QString&) { doAlert(kComingSoon); }

}  // namespace karv::app
