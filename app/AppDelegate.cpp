#include "AppDelegate.h"

#include "KARVMask.h"
#include "KarvBuildConfig.h"
#include "ui_MainWindow.h"

#include <QPalette>
#include <QUrl>

namespace karv::app {

AppDelegate::AppDelegate(AppServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)), window_(std::make_unique<QMainWindow>()),
      ui_(std::make_unique<Ui::MainWindow>()) {
  ui_->setupUi(window_.get());
  connect(ui_->openURL, &QPushButton::clicked, this, &AppDelegate::openHomePage);
}

AppDelegate::~AppDelegate() = default;

KARVMask* AppDelegate::mask() const { return mask_.data(); }

void AppDelegate::applicationDidFinishLaunching() {
  currentLoginType_ = "1";
  window_->show();
  // Nothing may be typed until the gateway has accepted this version.
  window_->centralWidget()->setEnabled(false);
  doVersionCheck();
  window_->centralWidget()->setEnabled(true);
  focusFirstLoginField();
  styleHomePageLink();
}

void AppDelegate::focusFirstLoginField() {
  // A hidden field cannot hold the focus: in the account layout the ID field
  // is hidden, so the account number takes it.
  QWidget* field = ui_->txtUserIdNo->isVisibleTo(window_.get()) ? static_cast<QWidget*>(ui_->txtUserIdNo)
                                                                 : static_cast<QWidget*>(ui_->txtUserAccountNo);
  field->setFocus(Qt::OtherFocusReason);
}

void AppDelegate::styleHomePageLink() {
  QPalette palette = ui_->openURL->palette();
  palette.setColor(QPalette::ButtonText, QColor::fromRgbF(0.0f, 0.7490196078431373f, 1.0f, 1.0f));
  ui_->openURL->setPalette(palette);
}

void AppDelegate::doVersionCheck() {
  std::optional<std::string> errMsg;
  const int32_t result = getKARVlib()->versionCheck(errMsg);
  if (result == 0) return;
  if (result == KARVLib::kVersionRejected) {
    runClientUpdate();
  } else if (result == KARVLib::kVersionNoReply) {
    const QString host = QString::fromStdString(getKARVlib()->endpoint().schemeAndHost());
    doAlert(QString("與伺服器(%1)間網路連線發生錯誤!!").arg(host));
  }
  terminate();
}

KARVLib* AppDelegate::getKARVlib() {
  if (!karvLib_) karvLib_ = services_.makeProtocolClient();
  return karvLib_.get();
}

void AppDelegate::openHomePage() { services_.desktop->openUrl(QUrl(QString::fromUtf8(build::kHomePageUrl))); }

void AppDelegate::terminate() {
  window_->hide();
  services_.terminate();
}

}  // namespace karv::app
