// Login and logout from the main window.
#include "app/AppDelegate.h"
#include "app/DialogRelays.h"
#include "app/KeyboardAccess.h"
#include "app/SecretText.h"
#include "app/TextInput.h"
#include "browsers/DeployPage.h"
#include "system/Log.h"
#include "ui_MainWindow.h"

namespace karv::app {
namespace {

// Branch codes by position in the branch combo box.
QString branchCodeAt(int position) {
  static const QStringList kCodes{"000", "001", "002", "003", "004", "005", "006", "011"};
  return position >= 0 && position < kCodes.size() ? kCodes[position] : QString();
}

std::optional<std::string> utf8(const QString& s) { return s.toStdString(); }

}  // namespace

void AppDelegate::setAccount() { loginForm_.showLoginLayout(true); }
void AppDelegate::setId() { loginForm_.showLoginLayout(false); }
void AppDelegate::chkShowPwdPlaintextOnClick() { loginForm_.showPasswordAsChosen(); }
void AppDelegate::textDidChange() { loginForm_.cutPasswordsToLimit(); }
void AppDelegate::btnCrtIdnoOnClick() { loginForm_.fillInGeneratedIdno(); }
QString AppDelegate::createIdno() { return LoginForm::createIdno(); }

void AppDelegate::btnLoginOnClick() {
  if (!isUserLogin()) {
    (void)doBtsLogin();
  } else if (doConfirm("您確定要執行登出並關閉應用程式??")) {
    (void)doLogout();
    terminate();
  }
  setTextKeepingMnemonic(ui_->btnLogin, isUserLogin() ? "登出" : "登入");
}

int32_t AppDelegate::doBtsLogin() {
  QString idno;
  QString agCode;
  QString accNo;
  const bool byAccount = loginForm_.byAccount();
  if (byAccount) {
    agCode = branchCodeAt(ui_->txtUsrAgcode->currentIndex());
    accNo = trimSpacesAndTabs(ui_->txtUserAccountNo->text());
    ui_->txtUserAccountNo->setText(accNo);
  } else {
    idno = trimSpacesAndTabs(ui_->txtUserIdNo->text());
    ui_->txtUserIdNo->setText(idno);
  }
  QString pwd = loginForm_.passwordFieldInUse()->text();

  QString refusal;
  if (byAccount && agCode.isEmpty())
    refusal = "使用者帳號分公司未指定";
  else if ((byAccount ? accNo : idno).isEmpty())
    refusal = "使用者帳號空白";
  else if (pwd.isEmpty())
    refusal = "使用者密碼空白";
  if (!refusal.isEmpty()) {
    doAlert(refusal);
    return -1;
  }
  // The branch code is one of the fixed table's; the numbers are the user's.
  if (byAccount)
    logf("agCode=%s,accNo=%s,pwd=%s", agCode.toUtf8().constData(), maskPersonal(accNo.toStdString()).c_str(), kMasked);
  else
    logf("loginId=%s,pwd=%s", maskPersonal(idno.toStdString()).c_str(), kMasked);

  std::optional<std::string> idnoIo = utf8(idno);
  std::optional<std::string> agCodeIo = utf8(agCode);
  std::optional<std::string> accNoIo = utf8(accNo);
  std::optional<std::string> pwdIo = utf8(pwd);
  std::optional<std::string> errMsg;
  const std::string loginType = loginForm_.loginType().toStdString();
  KARVLib* lib = getKARVlib();
  const int32_t result = runBlocking([&] { return lib->login(idnoIo, agCodeIo, accNoIo, pwdIo, errMsg, loginType); });
  wipeSecret(pwdIo);
  if (result != 0 && result != KARVLib::kFirstLoginChange) {
    const QString message = QString::fromStdString(errMsg.value_or(std::string()));
    doAlert(message.isEmpty() ? QStringLiteral("登入失敗") : message);
    return result;
  }

  loginForm_.forgetPassword();
  wipeSecret(pwd);
  setUserLogin(true);
  sessionTimers_.startKeepAlive();
  registerEventMonitor();
  sessionTimers_.startIdleCheck();
  doAlert("登入作業已完成");
  // Loads the configuration when the login could not.
  const auto pfxFilePath = runBlocking([lib] { return lib->getSysCfg("env.userPfxFilePath"); });
  setCurrentPfxFilePath(QString::fromStdString(pfxFilePath.value_or("")));
  loginForm_.lockInputs();

  if (result == KARVLib::kFirstLoginChange) {
    runFirstLoginChange(QString::fromStdString(idnoIo.value_or(std::string())));
    return result;
  }
  if (!setBtnStatus()) {
    doAlert("無法取得憑證導引資訊");
    return result;
  }
  invokeAutoPrcs(currentFnStatus_);
  return result;
}

void AppDelegate::runFirstLoginChange(const QString& idno) {
  doAlert("首次登入必需進行密碼變更!!\n接下來請依照提示進行登入密碼變更。");
  showUserChgBtsLoginPwdWindow(idno, [this](int returnCode) { endFirstLoginChange(returnCode); });
}

void AppDelegate::showUserChgBtsLoginPwdWindow(const QString& idno, SheetHandler handler) {
  sheets_.open<UserChgBtsLoginPwdWindowController>(
      std::make_shared<ChgBtsLoginPwdRelay>(*this), [idno](UserChgBtsLoginPwdWindowController& c) { c.setIdno(idno); },
      std::move(handler));
}

std::unique_ptr<KARVLib> AppDelegate::newProtocolClient() { return services_.makeProtocolClient(); }

void AppDelegate::endFirstLoginChange(int returnCode) {
  if (returnCode == 0) {
    doAlert("您按下「取消」鍵, 取消變更密碼。\n\n在成功變更密碼前, 您將無法進行憑證作業。");
  } else if (returnCode == 1) {
    doAlert("密碼變更完成!!\n請使用新密碼重新登入。");
    (void)doLogout();
  } else {
    doAlert("在成功變更密碼前, 您將無法進行憑證作業。");
  }
  terminate();
}

int32_t AppDelegate::doLogout() {
  KARVLib* lib = getKARVlib();
  const std::string idno = ui_->txtUserIdNo->text().toStdString();
  const int32_t result = runBlocking([lib, &idno] { return lib->logout(idno); });
  // The browser pages go with the session, whatever the gateway answered.
  DeployPage::removeSaved();
  if (result == 0) setUserLogin(false);
  return result;
}

void AppDelegate::setCurrentPfxFilePath(const QString& path) {
  // An empty path keeps the current file.
  if (!path.isEmpty()) getKARVlib()->setCurrentPfxFilePath(path.toStdString());
  const QString current = QString::fromStdString(getKARVlib()->getCurrentPfxFilePath().value_or(""));
  ui_->lblPfxFilePath->setText(current);
  ui_->lblPfxFilePath->setVisible(!current.isEmpty());
  showPfxDaysLeft();
}

}  // namespace karv::app
