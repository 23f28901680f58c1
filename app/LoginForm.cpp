#include "app/LoginForm.h"

#include <QRandomGenerator>
#include <initializer_list>

#include "app/SecretText.h"
#include "ui_MainWindow.h"

namespace karv::app {
namespace {
constexpr int kPasswordLimit = 16;
}  // namespace

LoginForm::LoginForm(Ui::MainWindow& ui, QWidget& window) : ui_(ui), window_(window) {}

void LoginForm::showLoginLayout(bool byAccount) {
  loginType_ = byAccount ? kByAccount : kById;
  ui_.isAccount->setChecked(byAccount);
  ui_.isId->setChecked(!byAccount);
  for (QWidget* w : std::initializer_list<QWidget*>{ui_.txtUserIdNo, ui_.IdText}) w->setVisible(!byAccount);
  for (QWidget* w : std::initializer_list<QWidget*>{ui_.accountText, ui_.txtUserAccountNo, ui_.txtUsrAgcode})
    w->setVisible(byAccount);
}

QLineEdit* LoginForm::passwordFieldInUse() const {
  return ui_.chkShowPwdPlainText->isChecked() ? ui_.txtLoginPwd : ui_.txtSecureLoginPwd;
}

void LoginForm::showPasswordAsChosen() {
  const bool plain = ui_.chkShowPwdPlainText->isChecked();
  QLineEdit* from = plain ? ui_.txtSecureLoginPwd : ui_.txtLoginPwd;
  QLineEdit* to = plain ? ui_.txtLoginPwd : ui_.txtSecureLoginPwd;
  to->setText(from->text());
  to->setVisible(true);
  from->setVisible(false);
  ui_.lblPwd->setBuddy(to);  // the caption names the field that shows
}

void LoginForm::cutPasswordsToLimit() {
  for (QLineEdit* field : {ui_.txtSecureLoginPwd, ui_.txtLoginPwd}) {
    if (field->text().size() > kPasswordLimit) field->setText(field->text().left(kPasswordLimit));
  }
}

void LoginForm::fillInGeneratedIdno() {
  const QString idno = createIdno();
  ui_.txtUserIdNo->setText(idno);
  passwordFieldInUse()->setText(idno);
}

void LoginForm::focusFirstField() {
  // A hidden field cannot hold the focus: in the account layout the ID field
  // is hidden, so the account number takes it.
  QWidget* field = ui_.txtUserIdNo->isVisibleTo(&window_) ? static_cast<QWidget*>(ui_.txtUserIdNo)
                                                          : static_cast<QWidget*>(ui_.txtUserAccountNo);
  field->setFocus(Qt::OtherFocusReason);
}

void LoginForm::forgetPassword() {
  for (QLineEdit* field : {ui_.txtSecureLoginPwd, ui_.txtLoginPwd}) clearSecretField(field);
}

void LoginForm::lockInputs() {
  for (QWidget* w :
       std::initializer_list<QWidget*>{ui_.txtUserIdNo, ui_.txtLoginPwd, ui_.txtUsrAgcode, ui_.txtUserAccountNo,
                                       ui_.txtSecureLoginPwd, ui_.chkShowPwdPlainText})
    w->setEnabled(false);
}

int LoginForm::idnoCheckDigit(QChar letter, const QString& eightDigits) {
  // Letter codes of the national ID number, A..Z.
  static constexpr int kLetterCodes[26] = {10, 11, 12, 13, 14, 15, 16, 17, 34, 18, 19, 20, 21,
                                           22, 35, 23, 24, 25, 26, 27, 28, 29, 32, 30, 31, 33};
  const int c = kLetterCodes[letter.toUpper().unicode() - u'A'];
  int sum = c / 10 + 9 * (c % 10);
  for (int i = 0; i < 8; ++i) sum += (8 - i) * eightDigits[i].digitValue();
  return (10 - sum % 10) % 10;
}

QString LoginForm::createIdno() {
  auto* random = QRandomGenerator::global();
  const QChar letter(u'A' + static_cast<char16_t>(random->bounded(26)));
  const QString digits = QString::number(10000000 + random->bounded(20000000));
  return letter + digits + QString::number(idnoCheckDigit(letter, digits));
}

}  // namespace karv::app
