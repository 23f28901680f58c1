#pragma once
#include <memory>

#include "app/dialogs/EntryDialog.h"

namespace Ui {
class BtsCertDlPwdWindowController;
}

namespace karv::app {

using BtsCertDlPwdWindowControllerDelegate = SheetDialogDelegate;

// The download-password dialog: the trading system's certificate download
// password, which vouches for the user instead of a verification code (1),
// or cancel (0).
class BtsCertDlPwdWindowController : public EntryDialog {
  Q_OBJECT
 public:
  static constexpr int kCancelled = 0;

  explicit BtsCertDlPwdWindowController(QWidget* parent = nullptr);
  ~BtsCertDlPwdWindowController() override;

  void btnCancelOnClick() { reject(); }

 private:
  std::unique_ptr<Ui::BtsCertDlPwdWindowController> ui_;
};

}  // namespace karv::app
