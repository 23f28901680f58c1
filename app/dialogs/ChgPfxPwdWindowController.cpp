#include "app/dialogs/ChgPfxPwdWindowController.h"

#include "crypto/RSAUtility.h"
#include "ui_ChgPfxPwdWindowController.h"

namespace karv::app {

ChgPfxPwdWindowController::ChgPfxPwdWindowController(QWidget* parent)
    : PfxDialog(parent), ui_(std::make_unique<Ui::ChgPfxPwdWindowController>()) {
  ui_->setupUi(this);
  connect(ui_->btnBrowseFile, &QPushButton::clicked, this, &ChgPfxPwdWindowController::btnBrowseFileOnClick);
  connect(ui_->btnOK, &QPushButton::clicked, this, &ChgPfxPwdWindowController::btnOkOnClick);
  connect(ui_->btnCancel, &QPushButton::clicked, this, &ChgPfxPwdWindowController::btnCancelOnClick);
}

ChgPfxPwdWindowController::~ChgPfxPwdWindowController() = default;

void ChgPfxPwdWindowController::windowDidLoad() {
  showPath(ui_->lblPfxFilePath, pfxFilePath_);
  clearFields({ui_->txtOldPwd, ui_->txtNewPwd, ui_->txtNewPwdCfm});
  showRule(ui_->lblPwdRulePrompt, rules_.promptMsg, {ui_->txtNewPwd, ui_->txtNewPwdCfm});
  ui_->txtOldPwd->setFocus();
}

void ChgPfxPwdWindowController::btnBrowseFileOnClick() {
  const auto chosen = chooseExistingPfx(ui_->lblPfxFilePath->text());
  if (!chosen) return;
  pfxFilePath_ = *chosen;
  showPath(ui_->lblPfxFilePath, pfxFilePath_);
}

QString ChgPfxPwdWindowController::inputError(const QString& newPwd, const QString& confirm) const {
  // Neither password has to be filled in: with no minimum length an empty
  // new password is a password too.
  if (pfxFilePath_.isEmpty()) return "憑證儲存路徑未指定";
  if (newPwd != confirm) return "新密碼與新密碼確認不同";
  return rules_.firstBroken(newPwd);
}

int32_t ChgPfxPwdWindowController::changePassword(const QString& oldPwd, const QString& newPwd) const {
  const std::string path = pfxFilePath_.toStdString();
  const std::string oldPassword = oldPwd.toStdString();
  const std::string newPassword = newPwd.toStdString();
  int32_t status = RSAUtility::kFailed;
  runBlockingWork("正在變更憑證檔密碼...", [&] { status = RSAUtility().changePwd(path, oldPassword, newPassword); });
  return status;
}

void ChgPfxPwdWindowController::btnOkOnClick() {
  const QString oldPwd = ui_->txtOldPwd->text();
  const QString newPwd = ui_->txtNewPwd->text();
  QString error = inputError(newPwd, ui_->txtNewPwdCfm->text());
  if (error.isEmpty() && changePassword(oldPwd, newPwd) != RSAUtility::kOk)
    error = "密碼變更失敗，請檢查並確認您的憑證資訊及舊密碼正確後，再重新嘗試變更";
  if (!error.isEmpty()) {
    showError(error);
    clearFields({ui_->txtOldPwd, ui_->txtNewPwd, ui_->txtNewPwdCfm});
    return;
  }
  done(kDone);
}

}  // namespace karv::app
