// Identity verification before an application or a revocation: contact data
// from the gateway, the identity dialog, a verification code by e-mail or SMS
// (or the certificate download password), then the certificate workflow.
#include "app/AppDelegate.h"
#include "app/SecretText.h"
#include "app/dialogs/AuthCodeWindowController.h"
#include "app/dialogs/BtsCertDlPwdWindowController.h"
#include "app/dialogs/UserAgreementWindowController.h"
#include "app/dialogs/UserAuthWindowController.h"

namespace karv::app {
namespace {
const QString kApply = QStringLiteral("Apply");
const QString kRevoke = QStringLiteral("Revoke");
const QString kUserCancelled = QStringLiteral("使用者按下取消鍵");

std::string utf8(const QString& text) { return text.toStdString(); }
}  // namespace

void AppDelegate::doAuth(const QString& /*cn: the gateway knows the user by the session*/, const QString& type) {
  myErrorCode_ = 0;
  std::string mail;
  std::string phone;
  std::string birth;
  std::optional<std::string> errMsg;
  KARVLib* lib = getKARVlib();
  const int32_t result = runBlocking([&] { return lib->queryContactInfo(mail, phone, birth, errMsg); });
  if (result != 0) {
    hideMask();
    showErrMsg(result, errMsg);
    myErrorCode_ = -1;
    return;
  }
  ApplyOrRevoke(QString::fromStdString(mail), QString::fromStdString(phone), QString::fromStdString(birth), type);
}

void AppDelegate::ApplyOrRevoke(const QString& mail, const QString& phone, const QString& birth, const QString& type) {
  const QString title = type == kApply ? QStringLiteral("憑證申請") : QStringLiteral("憑證廢止");
  showUserAuthWindow(mail, phone, birth, title, [this, mail, phone, birth, type](int returnCode) {
    handleUserAuthResult(returnCode, mail, phone, birth, type);
  });
}

void AppDelegate::handleUserAuthResult(int returnCode, const QString& mail, const QString& phone, const QString& birth,
                                       const QString& type) {
  switch (returnCode) {
    case UserAuthWindowController::kCancelled:
      doAlert(kUserCancelled);
      myErrorCode_ = -1;
      break;
    case UserAuthWindowController::kNoMethod:
      doAlert("尚未選擇驗證碼寄送方式");
      myErrorCode_ = -1;
      break;
    case UserAuthWindowController::kBirthMismatch:
      doAlert("驗證基本資料失敗");
      myErrorCode_ = -1;
      break;
    case UserAuthWindowController::kByMail:
    case UserAuthWindowController::kByPhone:
      deliverAuthCode(returnCode, mail, phone, birth, type);
      break;
    case UserAuthWindowController::kByService:
      showBtsCertDlPwdWindow();
      break;
    default:
      break;
  }
}

void AppDelegate::deliverAuthCode(int returnCode, const QString& mail, const QString& phone, const QString& birth,
                                  const QString& type) {
  showMask("正在寄送認證碼...");
  const std::string authType = returnCode == UserAuthWindowController::kByMail ? "1" : "2";
  std::optional<std::string> errMsg;
  KARVLib* lib = getKARVlib();
  const int32_t result =
      runBlocking([&] { return lib->sendAuthCode(utf8(mail), utf8(phone), authType, utf8(type), errMsg); });
  hideMask();
  if (result != 0) {
    showErrMsg(result, errMsg);
    myErrorCode_ = -1;
    return;
  }
  showAuthCodeWindow(mail, phone, birth, type);
}

void AppDelegate::showAuthCodeWindow(const QString& mail, const QString& phone, const QString& birth,
                                     const QString& type) {
  showAuthCodeWindow([this, mail, phone, birth, type](int returnCode, const QString& entered) {
    if (returnCode != AuthCodeWindowController::kEntered) {
      // Back to the identity dialog with the data already at hand.
      ApplyOrRevoke(mail, phone, birth, type);
      return;
    }
    std::optional<std::string> errMsg;
    KARVLib* lib = getKARVlib();
    std::string code = utf8(entered);
    myErrorCode_ = runBlocking([&] { return lib->VerifyAuthCode(code, utf8(type), errMsg); });
    // A code serves one verification, whatever the gateway said.
    wipeSecret(code);
    if (myErrorCode_ == 0)
      continueVerified(type);
    else
      reportVerifyFailure(errMsg);
  });
}

void AppDelegate::showBtsCertDlPwdWindow() {
  showBtsCertDlPwdWindow([this](int returnCode, const QString& entered) {
    if (returnCode != BtsCertDlPwdWindowController::kEntered) {
      doAlert(kUserCancelled);
      return;
    }
    std::optional<std::string> errMsg;
    KARVLib* lib = getKARVlib();
    std::string pwd = utf8(entered);
    myErrorCode_ = runBlocking([&] { return lib->validateBtsCertDlPwd(pwd, errMsg); });
    wipeSecret(pwd);
    if (myErrorCode_ == 0)
      continueVerified(kApply);  // the download password vouches for applications only
    else
      reportVerifyFailure(errMsg);
  });
}

void AppDelegate::continueVerified(const QString& type) {
  if (type == kApply)
    doApplyCert(userCn());
  else if (type == kRevoke)
    doRevokeCert(userCn());
}

void AppDelegate::reportVerifyFailure(const std::optional<std::string>& errMsg) {
  hideMask();
  showErrMsg(myErrorCode_, errMsg);
}

// --- The sheets of the flow ---

void AppDelegate::showUserAuthWindow(const QString& mail, const QString& phone, const QString& birth,
                                     const QString& title, SheetHandler handler) {
  sheets_.open<UserAuthWindowController>([=](UserAuthWindowController& c) { c.setUserInfo(birth, phone, mail, title); },
                                         std::move(handler));
}

void AppDelegate::showAuthCodeWindow(ResultHandler<QString> handler) {
  sheets_.open<AuthCodeWindowController>([](AuthCodeWindowController&) {}, &EntryDialog::takePwd, std::move(handler));
}

void AppDelegate::showBtsCertDlPwdWindow(ResultHandler<QString> handler) {
  sheets_.open<BtsCertDlPwdWindowController>([](BtsCertDlPwdWindowController&) {}, &EntryDialog::takePwd,
                                             std::move(handler));
}

void AppDelegate::showUserAgreement(SheetHandler handler) {
  sheets_.open<UserAgreementWindowController>([](UserAgreementWindowController&) {}, std::move(handler));
}

void AppDelegate::askUserAgreement(SheetHandler handler) {
  showMask();
  showUserAgreement([this, handler = std::move(handler)](int returnCode) {
    sheets_.release();
    handler(returnCode);
  });
}

}  // namespace karv::app
