// The function status: which certificate buttons are usable, and the offer
// of the pending operation after login.
#include "app/AppDelegate.h"
#include "app/KeyboardAccess.h"
#include "ui_MainWindow.h"

namespace karv::app {

bool AppDelegate::setBtnStatus() {
  std::string fnStatus;
  int32_t certCount = 0;
  int32_t effectCertCount = 0;
  std::optional<std::string> errMsg;
  KARVLib* lib = getKARVlib();
  const std::string cn = userCn().toStdString();
  if (runBlocking([&] { return lib->getFnStatus(cn, fnStatus, certCount, effectCertCount, errMsg); }) != 0)
    return false;
  setBtnStatus(QString::fromStdString(fnStatus), certCount, effectCertCount);
  return true;
}

namespace {
// A position of the function status; a status shorter than the two positions
// it must have allows nothing.
QChar statusAt(const QString& fnStatus, int position) {
  return fnStatus.size() >= 2 ? fnStatus[position] : QChar(u'0');
}
}  // namespace

void AppDelegate::setBtnStatus(const QString& fnStatus, int32_t certCount, int32_t effectCertCount) {
  currentFnStatus_ = fnStatus;
  Ui::MainWindow& ui = *ui_;
  // Every button goes out of use for a moment, and a focused one passes the
  // focus on: it comes back once the buttons are set.
  const QPointer<QWidget> focused = window_->focusWidget();
  for (QPushButton* b : {ui.btnApplyCert, ui.btnRenewCert, ui.btnQrySvrCertInfo, ui.btnQryClntCertInfo, ui.btnDepCert,
                         ui.btnRmvDepCert, ui.btnRevokeCert})
    b->setEnabled(false);
  ui.btnChgPfxPwd->setEnabled(true);
  if (statusAt(fnStatus, 0) != u'0') ui.btnApplyCert->setEnabled(true);
  if (statusAt(fnStatus, 1) != u'0') ui.btnRenewCert->setEnabled(true);
  if (certCount > 0) {
    ui.btnQrySvrCertInfo->setEnabled(true);
    ui.btnQryClntCertInfo->setEnabled(true);
  }
  if (effectCertCount > 0) {
    for (QPushButton* b : {ui.btnChgPfxPwd, ui.btnDepCert, ui.btnRmvDepCert, ui.btnRevokeCert}) b->setEnabled(true);
  }
  giveFocusBack(focused);
  if (certCount > 0) doQrySvrCertInfo(userCn());
}

void AppDelegate::invokeAutoPrcs(const QString& fnStatus) {
  const QChar apply = statusAt(fnStatus, 0);
  const QChar renew = statusAt(fnStatus, 1);
  if (apply == u'1' || apply == u'2') {
    if (doConfirm(apply == u'1' ? "直接開始憑證申請??" : "您的憑證申請操作未完成，繼續進行憑證申請??"))
      doAuth(userCn(), "Apply");
  } else if (renew == u'1' || renew == u'2') {
    if (doConfirm(renew == u'1' ? "您的憑證即將到期, 直接進行憑證更新??"
                                : "您的憑證更新操作尚未完成, 繼續進行憑證更新??"))
      doRenewCert(userCn());
  }
}

void AppDelegate::btnBrowsePfxFileOnClick() {
  if (!services_.desktop->revealFile(ui_->lblPfxFilePath->text())) doAlert("無法開啟檔案管理員顯示憑證檔");
}

}  // namespace karv::app
