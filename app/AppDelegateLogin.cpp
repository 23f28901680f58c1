// Login and logout from the main window.
#include <QRandomGenerator>

#include "app/AppDelegate.h"
#include "app/DialogRelays.h"
#include "app/SecretText.h"
#include "app/TextInput.h"
#include "browsers/DeployPage.h"
#include "system/Log.h"
#include "ui_MainWindow.h"

namespace karv::app {
namespace {

constexpr int kPasswordLimit = 16;

// Branch codes by position in the branch combo box.
QString branchCodeAt(int position) {
  static const QStringList kCodes{"000", "001", "002", "003", "004", "005", "006", "011"};
  return position >= 0 && position < kCodes.size() ? kCodes[position] : QString();
}

std::optional<std::string> utf8(const QString& s) { return s.toStdString(); }

}  // namespace

void AppDelegate::setAccount() { showLoginLayout(true); }
void AppDelegate::setId() { showLoginLayout(false); }

void AppDelegate::showLoginLayout(bool byAccount) {
  currentLoginType_ = byAccount ? "1" : "2";
  ui_->isAccount->setChecked(byAccount);
  ui_->isId->setChecked(!byAccount);
  for (QWidget* w : std::initializer_list<QWidget*>{ui_->txtUserIdNo, ui_->IdText}) w->setVisible(!byAccount);
  for (QWidget* w : std::initializer_list<QWidget*>{ui_->accountText, ui_->txtUserAccountNo, ui_->txtUsrAgcode})
    w->setVisible(byAccount);
}

QLineEdit* AppDelegate::passwordFieldInUse() const {
  return ui_->chkShowPwdPlainText->isChecked() ? ui_->txtLoginPwd : ui_->txtSecureLoginPwd;
}

void AppDelegate::chkShowPwdPlaintextOnClick() {
  const bool plain = ui_->chkShowPwdPlainText->isChecked();
  QLineEdit* from = plain ? ui_->txtSecureLoginPwd : ui_->txtLoginPwd;
  QLineEdit* to = plain ? ui_->txtLoginPwd : ui_->txtSecureLoginPwd;
  to->setText(from->text());
  to->setVisible(true);
  from->setVisible(false);
}

void AppDelegate::textDidChange() {
  for (QLineEdit* field : {ui_->txtSecureLoginPwd, ui_->txtLoginPwd}) {
    if (field->text().size() > kPasswordLimit) field->setText(field->text().left(kPasswordLimit));
  }
}

void AppDelegate::btnLoginOnClick() {
  if (!isUserLogin()) {
    (void)doBtsLogin();
  } else if (doConfirm("您確定要執行登出並關閉應用程式??")) {
    (void)doLogout();
    terminate();
  }
  ui_->btnLogin->setText(isUserLogin() ? "登出" : "登入");
}

int32_t AppDelegate::doBtsLogin() {
  QString idno;
  QString agCode;
  QString accNo;
  const bool byAccount = currentLoginType_ == "1";
  if (byAccount) {
    agCode = branchCodeAt(ui_->txtUsrAgcode->currentIndex());
    accNo = trimSpacesAndTabs(ui_->txtUserAccountNo->text());
    ui_->txtUserAccountNo->setText(accNo);
  } else {
    idno = trimSpacesAndTabs(ui_->txtUserIdNo->text());
    ui_->txtUserIdNo->setText(idno);
  }
  QString pwd = passwordFieldInUse()->text();

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
  const std::string loginType = currentLoginType_.toStdString();
  KARVLib* lib = getKARVlib();
  const int32_t result = runBlocking([&] { return lib->login(idnoIo, agCodeIo, accNoIo, pwdIo, errMsg, loginType); });
  wipeSecret(pwdIo);
  if (result != 0 && result != KARVLib::kFirstLoginChange) {
    const QString message = QString::fromStdString(errMsg.value_or(std::string()));
    doAlert(message.isEmpty() ? QStringLiteral("登入失敗") : message);
    return result;
  }

  // The session needs the password no more: neither field, nor the mirror
  // that showing it in plain text filled, keeps it.
  for (QLineEdit* field : {ui_->txtSecureLoginPwd, ui_->txtLoginPwd}) clearSecretField(field);
  wipeSecret(pwd);
  setUserLogin(true);
  startSessionTimers();
  doAlert("登入作業已完成");
  // Loads the configuration when the login could not.
  const auto pfxFilePath = runBlocking([lib] { return lib->getSysCfg("env.userPfxFilePath"); });
  setCurrentPfxFilePath(QString::fromStdString(pfxFilePath.value_or("")));
  for (QWidget* w :
       std::initializer_list<QWidget*>{ui_->txtUserIdNo, ui_->txtLoginPwd, ui_->txtUsrAgcode, ui_->txtUserAccountNo,
                                       ui_->txtSecureLoginPwd, ui_->chkShowPwdPlainText})
    w->setEnabled(false);

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

int AppDelegate::idnoCheckDigit(QChar letter, const QString& eightDigits) {
  // Letter codes of the national ID number, A..Z.
  static constexpr int kLetterCodes[26] = {10, 11, 12, 13, 14, 15, 16, 17, 34, 18, 19, 20, 21,
                                           22, 35, 23, 24, 25, 26, 27, 28, 29, 32, 30, 31, 33};
  const int c = kLetterCodes[letter.toUpper().unicode() - u'A'];
  int sum = c / 10 + 9 * (c % 10);
  for (int i = 0; i < 8; ++i) sum += (8 - i) * eightDigits[i].digitValue();
  return (10 - sum % 10) % 10;
}

QString AppDelegate::createIdno() {
  auto* random = QRandomGenerator::global();
  const QChar letter(u'A' + static_cast<char16_t>(random->bounded(26)));
  const QString digits = QString::number(10000000 + random->bounded(20000000));
  return letter + digits + QString::number(idnoCheckDigit(letter, digits));
}

void AppDelegate::btnCrtIdnoOnClick() {
  const QString idno = createIdno();
  ui_->txtUserIdNo->setText(idno);
  passwordFieldInUse()->setText(idno);
}

void AppDelegate::setCurrentPfxFilePath(const QString& path) {
  if (!path.isEmpty()) {
    getKARVlib()->setCurrentPfxFilePath(path.toStdString());
    ui_->lblPfxFilePath->setText(path);
  } else {
    ui_->lblPfxFilePath->setText(QString::fromStdString(getKARVlib()->getCurrentPfxFilePath().value_or("")));
  }
  showPfxDaysLeft();
}

}  // namespace karv::app
