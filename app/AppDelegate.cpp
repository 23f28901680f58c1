#include "app/AppDelegate.h"

#include <QApplication>
#include <QPalette>
#include <QUrl>
#include <chrono>
#include <future>

#include "KarvBuildConfig.h"
#include "app/AppResources.h"
#include "app/ApplicationIcon.h"
#include "app/KARVMask.h"
#include "app/KeyboardAccess.h"
#include "app/ReadableColors.h"
#include "app/ScreenFit.h"
#include "browsers/DeployPage.h"
#include "system/Log.h"
#include "ui_MainWindow.h"

namespace karv::app {

AppDelegate::AppDelegate(AppServices services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      window_(std::make_unique<QMainWindow>()),
      ui_(std::make_unique<Ui::MainWindow>()),
      loginForm_(*ui_, *window_),
      certificateTables_(*ui_),
      sessionTimers_(*services_.clock, blockingWork_),
      sheets_(*window_, *this, [this](QDialog* sheet, int returnCode) { showWindowEndSheet(sheet, returnCode); }) {
  registerAppResources();
  QApplication::setWindowIcon(karvIcon());  // every window's, the messages' too
  ui_->setupUi(window_.get());
  nameWithoutMnemonics(window_.get());
  pressButtonsWithEnter(window_.get());
  for (QTableView* table : {ui_->tvSvrCertInfo, ui_->tvClntCertInfo}) makeOneTabStop(table);
  showFocusOnFlatButton(ui_->openURL);
  // No file, no days left: nothing empty for a screen reader to land on.
  ui_->lblPfxFilePath->hide();
  ui_->lblPfxDaysLeft->hide();
  wireMainWindow();
}

void AppDelegate::wireMainWindow() {
  Ui::MainWindow& ui = *ui_;
  connect(ui.openURL, &QPushButton::clicked, this, &AppDelegate::openHomePage);
  // The layout follows the checked state, however it changed: a click, the
  // keyboard, or a screen reader's toggle action (which clicks nothing).
  connect(ui.isAccount, &QRadioButton::toggled, this, [this](bool checked) {
    if (checked) setAccount();
  });
  connect(ui.isId, &QRadioButton::toggled, this, [this](bool checked) {
    if (checked) setId();
  });
  connect(ui.chkShowPwdPlainText, &QCheckBox::clicked, this, &AppDelegate::chkShowPwdPlaintextOnClick);
  connect(ui.btnLogin, &QPushButton::clicked, this, &AppDelegate::btnLoginOnClick);
  // Enter in a login field logs in, as users expect of a login form.
  for (QLineEdit* field : {ui.txtUserAccountNo, ui.txtUserIdNo, ui.txtSecureLoginPwd, ui.txtLoginPwd})
    connect(field, &QLineEdit::returnPressed, this, [this] {
      if (!isUserLogin()) btnLoginOnClick();
    });
  connect(ui.btnCrtIdno, &QPushButton::clicked, this, &AppDelegate::btnCrtIdnoOnClick);
  connect(ui.btnBrowsePfxFile, &QPushButton::clicked, this, &AppDelegate::btnBrowsePfxFileOnClick);
  // Each button passes the user's common name as it is at the moment of the click.
  connect(ui.btnApplyCert, &QPushButton::clicked, this, [this] { doAuth(userCn(), "Apply"); });
  connect(ui.btnRevokeCert, &QPushButton::clicked, this, [this] { doAuth(userCn(), "Revoke"); });
  connect(ui.btnRenewCert, &QPushButton::clicked, this, [this] { doRenewCert(userCn()); });
  connect(ui.btnQrySvrCertInfo, &QPushButton::clicked, this, [this] { doQrySvrCertInfo(userCn()); });
  connect(ui.btnQryClntCertInfo, &QPushButton::clicked, this, [this] {
    doQrySvrCertInfo(userCn());
    doQryClntCertInfo(userCn());
  });
  connect(ui.btnChgPfxPwd, &QPushButton::clicked, this, [this] { doChangePfxPwd(userCn()); });
  connect(ui.btnDepCert, &QPushButton::clicked, this, [this] { doDepCert(userCn()); });
  // Success stays silent (the removal page says the rest); a removal that
  // could not be done says so.
  connect(ui.btnRmvDepCert, &QPushButton::clicked, this, [this] {
    if (doRmvDepCert(userCn()) != 0) doAlert("瀏覽器憑證移除失敗");
  });
  connect(&sessionTimers_, &SessionTimers::keepAliveDue, this, &AppDelegate::doIAmAlive);
  connect(&sessionTimers_, &SessionTimers::idleCheckDue, this, &AppDelegate::checkIdle);
  // Any click or key press ends the idle countdown (a busy overlay stays).
  connect(&sessionTimers_, &SessionTimers::userActive, this, [this] {
    if (mask_ && mask_->idleMode()) hideMask();
  });
}

QString AppDelegate::userCn() { return QString::fromStdString(getKARVlib()->getCn().value_or(std::string())); }

AppDelegate::~AppDelegate() = default;

KARVMask* AppDelegate::mask() const { return mask_.data(); }

void AppDelegate::applicationDidFinishLaunching() {
  // A page holding an encrypted PKCS#12 that a crash or a killed session left behind.
  DeployPage::removeSaved();
  // The window's own size, unless the screen is smaller; again once shown,
  // when the frame is known.
  const QSize preferred = window_->size();
  fitToScreen(*window_, preferred);
  window_->show();
  fitToScreen(*window_, preferred);
  // Nothing may be typed until the gateway has accepted this version.
  window_->centralWidget()->setEnabled(false);
  doVersionCheck();
  window_->centralWidget()->setEnabled(true);
  loginForm_.focusFirstField();
  styleHomePageLink();
  // Both password fields obey the 16-character limit.
  connect(ui_->txtSecureLoginPwd, &QLineEdit::textChanged, this, &AppDelegate::textDidChange);
  connect(ui_->txtLoginPwd, &QLineEdit::textChanged, this, &AppDelegate::textDidChange);
  // Tells the log reader (and the start-up benchmark) that the user can type now.
  if (!terminating_) logLine("login window ready");
}

void AppDelegate::applicationWillTerminate() { DeployPage::removeSaved(); }

void AppDelegate::styleHomePageLink() {
  // The product's sky blue, darkened on a light background (lightened on a
  // dark one) as far as the text needs to stay readable.
  QPalette palette = ui_->openURL->palette();
  const QColor skyBlue = QColor::fromRgbF(0.0f, 0.7490196078431373f, 1.0f, 1.0f);
  palette.setColor(QPalette::ButtonText, readableOn(skyBlue, palette.color(QPalette::Window)));
  ui_->openURL->setPalette(palette);
}

void AppDelegate::doVersionCheck() {
  std::optional<std::string> errMsg;
  KARVLib* lib = getKARVlib();
  const std::shared_future<int32_t>& ahead = services_.versionCheckAhead;
  // An answer that came while the window was set up is taken as it is: no
  // overlay drawn for a wait that is already over.
  const bool answered = ahead.valid() && ahead.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  const int32_t result =
      answered ? ahead.get() : runBlocking([&] { return ahead.valid() ? ahead.get() : lib->versionCheck(errMsg); });
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
  if (!karvLib_) {
    karvLib_ = services_.makeProtocolClient();
    karvLib_->setApplicationName(QCoreApplication::applicationName().toStdString());
    // Pages are opened in a given browser the way the desktop services do it.
    if (services_.desktop) karvLib_->setBrowserOpener(services_.desktop);
  }
  return karvLib_.get();
}

void AppDelegate::openHomePage() { services_.desktop->openUrl(QUrl(QString::fromUtf8(build::kHomePageUrl))); }

void AppDelegate::terminate() {
  terminating_ = true;
  window_->hide();
  services_.terminate();
}

}  // namespace karv::app
