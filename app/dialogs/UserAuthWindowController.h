#pragma once
#include <memory>

#include "app/dialogs/SheetDialog.h"

class QRadioButton;

namespace Ui {
class UserAuthWindowController;
}

namespace karv::app {

// The identity dialog asks its delegate only to show input errors.
using UserAuthWindowControllerDelegate = SheetDialogDelegate;

// The identity dialog: the user types the date of birth the gateway has on
// file and chooses how to receive a verification code.
class UserAuthWindowController : public SheetDialog {
  Q_OBJECT
 public:
  // Result codes.
  static constexpr int kCancelled = -3;
  static constexpr int kNoMethod = -2;
  static constexpr int kBirthMismatch = -1;
  static constexpr int kByMail = 1;
  static constexpr int kByPhone = 2;
  static constexpr int kByService = 3;

  explicit UserAuthWindowController(QWidget* parent = nullptr);
  ~UserAuthWindowController() override;

  // The contact data on file ("" when absent) and the window title; the
  // revocation title "憑證廢止" hides the download-password choice.
  void setUserInfo(const QString& birth, const QString& phone, const QString& mail, const QString& title);
  void hideService();
  // True when every character is a decimal digit of any script.
  [[nodiscard]] static bool isAllDigits(const QString& text);
  // "", "Mail", "Phone" or "Service".
  [[nodiscard]] const QString& method() const { return method_; }

  void btnMailOnClick();
  void btnPhoneOnClick();
  void btnServiceOnClick();
  void btnOKOnClick();
  void btnCancelOnClick() { reject(); }

 private:
  void choose(const QString& method, QRadioButton* chosen);
  // The message for a typed date that cannot be a date of birth; "" when it can.
  [[nodiscard]] static QString birthInputError(const QString& typed);
  void showContactChoice(QRadioButton* choice, const QString& format, const QString& onFile);

  std::unique_ptr<Ui::UserAuthWindowController> ui_;
  QString birth_;
  QString mail_;
  QString phone_;
  QString method_;
};

}  // namespace karv::app
