#include "app/AppDelegate.h"
#include "app/KARVMask.h"
#include "system/Log.h"

namespace karv::app {

void AppDelegate::doAlert(const QString& message) { doAlert("提示訊息", message); }

int AppDelegate::presentAlert(AlertPresenter::Alert alert) {
  // Once the application is ending nothing more is shown: the quit is queued,
  // and what runs on until then must not greet the user (a question counts
  // as declined).
  if (terminating_) return AlertPresenter::decliningAnswer(alert);
  // While a message waits for the user the session timers hold still; what
  // fell due meanwhile runs once the message is gone.
  int result = 0;
  sessionTimers_.holdDuring([&] { result = services_.alerts->present(alert); });
  return result;
}

void AppDelegate::doAlert(const QString& title, const QString& message) {
  (void)presentAlert({AlertPresenter::Style::Sheet, window_.get(), title, message, {"好"}});
}

bool AppDelegate::doConfirm(const QString& message) { return doConfirm("確認資訊", message); }

bool AppDelegate::doConfirm(const QString& title, const QString& message) {
  return presentAlert({AlertPresenter::Style::Sheet, window_.get(), title, message, {"好", "取消"}}) == 1000;
}

void AppDelegate::showErrMsg(int32_t code) {
  if (code == 0) return;
  QString text = QString::fromStdString(getKARVlib()->getErrMsg(code));
  if (text == QString::number(code)) text = QString("不明的錯誤(錯誤代碼 %1)").arg(code);
  doAlert(text);
}

void AppDelegate::showErrMsg(int32_t code, const std::optional<std::string>& errMsg2) {
  if (!errMsg2 || errMsg2->empty())
    showErrMsg(code);
  else
    doAlert(QString::fromStdString(*errMsg2));
}

void AppDelegate::showDialogError(const QString& message) {
  (void)presentAlert({AlertPresenter::Style::ApplicationModal, nullptr, "錯誤", message, {"確定"}});
}

bool AppDelegate::askDialogQuestion(const QString& message, const QStringList& buttons) {
  return presentAlert({AlertPresenter::Style::ApplicationModal, nullptr, "確認資訊", message, buttons}) == 1000;
}

void AppDelegate::showWindowEndSheet(QDialog* sheet, int returnCode) {
  sheet->hide();
  logf("showWindow returnCode = %ld", static_cast<long>(returnCode));
}

void AppDelegate::showMask(const QString& prompt) {
  if (!mask_) mask_ = new KARVMask(window_->centralWidget());
  mask_->showWithPrompt(prompt);
}

void AppDelegate::showIdle(const QString& text) {
  if (!mask_) mask_ = new KARVMask(window_->centralWidget());
  mask_->showIdle(text);
}

void AppDelegate::runBlockingWork(const QString& prompt, const std::function<void()>& work) {
  const WorkOverlay overlay(*this, prompt);
  runBlocking(work);
}

AppDelegate::WorkOverlay::WorkOverlay(AppDelegate& app, const QString& prompt)
    : app_(app), own_(!app.mask_ || !app.mask_->isVisible()) {
  if (own_) app_.showMask(prompt);
}

AppDelegate::WorkOverlay::~WorkOverlay() {
  if (!own_ || !app_.mask_) return;
  // What ran meanwhile may have turned the overlay into the idle countdown:
  // that one stays.
  if (app_.mask_->isVisible() && !app_.mask_->idleMode()) app_.hideMask();
}

void AppDelegate::hideMask() {
  if (mask_) mask_->hide();
}

}  // namespace karv::app
