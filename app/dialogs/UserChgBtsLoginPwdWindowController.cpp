#include "app/dialogs/UserChgBtsLoginPwdWindowController.h"

#include "app/dialogs/PasswordRules.h"
#include "protocol/KARVLib.h"
#include "ui_UserChgBtsLoginPwdWindowController.h"

namespace karv::app {

UserChgBtsLoginPwdWindowController::UserChgBtsLoginPwdWindowController(QWidget* parent)
    : SheetDialog(parent, kCancelled), ui_(std::make_unique<Ui::UserChgBtsLoginPwdWindowController>()) {
  ui_->setupUi(this);
  describeFields(ui_->lblRules->text(), {ui_->txtUserBtsLoginNewPwd, ui_->txtUserBtsLoginNewPwdConfirm});
  connect(ui_->btnOK, &QPushButton::clicked, this, &UserChgBtsLoginPwdWindowController::btnOKOnClick);
  connect(ui_->btnCancel, &QPushButton::clicked, this, &UserChgBtsLoginPwdWindowController::btnCancelOnClick);
}

UserChgBtsLoginPwdWindowController::~UserChgBtsLoginPwdWindowController() = default;

void UserChgBtsLoginPwdWindowController::setDelegate(UserChgBtsLoginPwdWindowControllerDelegate* delegate) {
  delegate_ = delegate;
  SheetDialog::setDelegate(delegate);
}

QString UserChgBtsLoginPwdWindowController::ruleBroken(const QString& oldPwd, const QString& newPwd,
                                                       const QString& confirm) const {
  if (oldPwd.isEmpty()) return "舊密碼空白";
  if (newPwd.isEmpty()) return "新密碼空白";
  if (newPwd != confirm) return "新密碼與新密碼確認不同";
  if (newPwd == oldPwd) return "新密碼不得與舊密碼相同";
  return firstBrokenRule(newPwd, PwdMinLen, PwdMaxLen,
                         {
                             {PwdDigit, "^.*[0-9]+.*$", "密碼必需包含數字"},
                             {PwdAlph, "^.*[A-Za-z]+.*$", "密碼必需包含英文字母"},
                             {PwdUCAlpha, "^.*[A-Z]+.*$", "密碼必需包含大寫英文字母"},
                             {PwdLCAlpha, "^.*[a-z]+.*$", "密碼必需包含小寫英文字母"},
                             {PwdPunctuation, "^.*[^0-9a-zA-Z]+.*$", "密碼必需包含特殊符號"},
                         });
}

void UserChgBtsLoginPwdWindowController::clearFields() {
  for (QLineEdit* field : {ui_->txtUserBtsLoginOldPwd, ui_->txtUserBtsLoginNewPwd, ui_->txtUserBtsLoginNewPwdConfirm})
    field->clear();
}

int32_t UserChgBtsLoginPwdWindowController::sendChange(const QString& oldPwd, const QString& newPwd,
                                                       QString& errMsg) const {
  std::unique_ptr<KARVLib> client = delegate_ ? delegate_->newProtocolClient() : nullptr;
  if (!client) return KARVLib::kFirstLoginChange;
  std::optional<std::string> message;
  const std::string idno = idno_.toStdString();
  const std::string oldText = oldPwd.toStdString();
  const std::string newText = newPwd.toStdString();
  int32_t result = 0;
  runBlockingWork(QString(), [&] { result = client->changeBtsLoginPwd(idno, oldText, newText, message); });
  errMsg = QString::fromStdString(message.value_or(std::string()));
  return result;
}

void UserChgBtsLoginPwdWindowController::btnOKOnClick() {
  const QString oldPwd = takeTrimmed(ui_->txtUserBtsLoginOldPwd);
  const QString newPwd = takeTrimmed(ui_->txtUserBtsLoginNewPwd);
  const QString confirm = takeTrimmed(ui_->txtUserBtsLoginNewPwdConfirm);
  if (const QString broken = ruleBroken(oldPwd, newPwd, confirm); !broken.isEmpty()) {
    showError(broken);
    clearFields();
    return;
  }
  QString errMsg;
  const int32_t result = sendChange(oldPwd, newPwd, errMsg);
  // A failure whose code happens to be 1 ("nothing sent") must not read as
  // "changed": it ends as a refused change.
  if (result == 0)
    done(kChanged);
  else
    done(result == kChanged ? KARVLib::kFirstLoginChange : result);
  if (!errMsg.isEmpty()) {
    showError(errMsg);
    clearFields();
  }
}

}  // namespace karv::app
