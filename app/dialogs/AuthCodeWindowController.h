#pragma once
#include <memory>

#include "app/dialogs/EntryDialog.h"

namespace Ui {
class AuthCodeWindowController;
}

namespace karv::app {

using AuthCodeWindowControllerDelegate = SheetDialogDelegate;

// The verification-code dialog: the code the gateway sent (1), or back to
// choosing the delivery (0).
class AuthCodeWindowController : public EntryDialog {
  Q_OBJECT
 public:
  static constexpr int kChooseAgain = 0;

  explicit AuthCodeWindowController(QWidget* parent = nullptr);
  ~AuthCodeWindowController() override;

  void btnReAuthOnClick() { reject(); }

 private:
  std::unique_ptr<Ui::AuthCodeWindowController> ui_;
};

}  // namespace karv::app
