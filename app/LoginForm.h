#pragma once
#include <QChar>
#include <QString>

class QLineEdit;
class QWidget;

namespace Ui {
class MainWindow;
}

namespace karv::app {

// The login fields of the main window: the layout for login by trading
// account or by ID number (and with it the login type), the password in one
// of two fields, masked or in clear and cut at 16 characters, and the ID
// number the button generates.
class LoginForm {
 public:
  LoginForm(Ui::MainWindow& ui, QWidget& window);

  void showLoginLayout(bool byAccount);
  // "1": by trading account, "2": by ID number; the gateway's loginType.
  [[nodiscard]] const QString& loginType() const { return loginType_; }
  [[nodiscard]] bool byAccount() const { return loginType_ == kByAccount; }

  // The check box decides which field shows and holds the password; the
  // text goes along to the field that shows now.
  void showPasswordAsChosen();
  void cutPasswordsToLimit();
  [[nodiscard]] QLineEdit* passwordFieldInUse() const;
  // Puts a generated ID number into the ID field and the password in use.
  void fillInGeneratedIdno();
  void focusFirstField();
  // Once logged in the session needs the password no more: neither field,
  // nor the mirror that showing it in clear filled, keeps it.
  void forgetPassword();
  // The inputs stay locked for the rest of the session; the layout switch
  // and the ID button stay usable.
  void lockInputs();

  [[nodiscard]] static QString createIdno();
  // The check digit of a letter and eight digits (the national ID number rule).
  [[nodiscard]] static int idnoCheckDigit(QChar letter, const QString& eightDigits);

 private:
  static inline const QString kByAccount = QStringLiteral("1");
  static inline const QString kById = QStringLiteral("2");

  Ui::MainWindow& ui_;
  QWidget& window_;
  QString loginType_ = kByAccount;
};

}  // namespace karv::app
