#include "AppDelegate.h"
#include "KARVMask.h"

namespace karv::app {

void AppDelegate::doAlert(const QString& message) { doAlert("提示訊息", message); }

void AppDelegate::doAlert(const QString& title, const QString& message) {
  (void)services_.alerts->present({AlertPresenter::Style::Sheet, window_.get(), title, message, {"好"}});
}

bool AppDelegate::doConfirm(const QString& message) { return doConfirm("確認資訊", message); }

bool AppDelegate::doConfirm(const QString& title, const QString& message) {
  return services_.alerts->present({AlertPresenter::Style::Sheet, window_.get(), title, message, {"好", "取消"}}) ==
         1000;
}

void AppDelegate::showDialogError(const QString& message) {
  (void)services_.alerts->present({AlertPresenter::Style::ApplicationModal, nullptr, "錯誤", message, {"確定"}});
}

void AppDelegate::showMask(const QString& prompt) {
  if (!mask_) mask_ = new KARVMask(window_->centralWidget());
  mask_->showWithPrompt(prompt);
}

void AppDelegate::showIdle(const QString& text) {
  if (!mask_) mask_ = new KARVMask(window_->centralWidget());
  mask_->showIdle(text);
}

void AppDelegate::hideMask() {
  if (mask_) mask_->hide();
}

}  // namespace karv::app
