#pragma once
#include <cstdint>
#include <memory>

#include "app/dialogs/SheetDialog.h"

namespace Ui {
class UserChgBtsLoginPwdWindowController;
}
namespace karv {
class KARVLib;
}

namespace karv::app {

class UserChgBtsLoginPwdWindowControllerDelegate : public virtual SheetDialogDelegate {
 public:
  // A protocol client of the dialog's own for its one request: it holds no
  // session, and what it loads is dropped with it.
  [[nodiscard]] virtual std::unique_ptr<KARVLib> newProtocolClient() = 0;
};

// The first-login change of the trading-system password: the old password
// and the new one twice, checked against fixed rules, then sent to the
// gateway. Ends with 0 (cancelled), 1 (changed) or the failure code.
class UserChgBtsLoginPwdWindowController : public SheetDialog {
  Q_OBJECT
 public:
  static constexpr int kCancelled = 0;
  static constexpr int kChanged = 1;

  explicit UserChgBtsLoginPwdWindowController(QWidget* parent = nullptr);
  ~UserChgBtsLoginPwdWindowController() override;

  void setDelegate(UserChgBtsLoginPwdWindowControllerDelegate* delegate);
  void setIdno(const QString& idno) { idno_ = idno; }
  [[nodiscard]] const QString& idno() const { return idno_; }

  // The message of the first rule the entries break; "" when they keep them all.
  [[nodiscard]] QString ruleBroken(const QString& oldPwd, const QString& newPwd, const QString& confirm) const;

  void btnOKOnClick();
  void btnCancelOnClick() { reject(); }

 private:
  [[nodiscard]] int32_t sendChange(const QString& oldPwd, const QString& newPwd, QString& errMsg) const;
  void clearFields();

  std::unique_ptr<Ui::UserChgBtsLoginPwdWindowController> ui_;
  UserChgBtsLoginPwdWindowControllerDelegate* delegate_ = nullptr;  // weak
  QString idno_;
  // The password rules, fixed in the client (not taken from the gateway).
  int32_t PwdMinLen = 6;   // 0 or less: no minimum
  int32_t PwdMaxLen = 16;  // 0 or less: no maximum
  bool PwdDigit = true;
  bool PwdAlph = true;
  bool PwdUCAlpha = false;
  bool PwdLCAlpha = false;
  bool PwdPunctuation = false;
};

}  // namespace karv::app
