#pragma once
#include <memory>

#include "app/dialogs/SheetDialog.h"

namespace Ui {
class UserAgreementWindowController;
}

namespace karv::app {

using UserAgreementWindowControllerDelegate = SheetDialogDelegate;

// The user agreement, shown before an application or a renewal: the next
// step is open only while the user declares agreement.
class UserAgreementWindowController : public SheetDialog {
  Q_OBJECT
 public:
  static constexpr int kAgreed = 1;
  static constexpr int kCancelled = 0;
  // Where the agreement page ships: the application's resources.
  static constexpr const char* kAgreementUrl = "qrc:/UserAgreement.html";

  explicit UserAgreementWindowController(QWidget* parent = nullptr);
  ~UserAgreementWindowController() override;

  void chkUserAgreeOnClick();
  void btnNextStepOnClick() { done(kAgreed); }
  void btnCancelOnClick() { reject(); }

 private:
  std::unique_ptr<Ui::UserAgreementWindowController> ui_;
};

}  // namespace karv::app
