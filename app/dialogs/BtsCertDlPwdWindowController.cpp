#include "app/dialogs/BtsCertDlPwdWindowController.h"

#include "ui_BtsCertDlPwdWindowController.h"

namespace karv::app {

BtsCertDlPwdWindowController::BtsCertDlPwdWindowController(QWidget* parent)
    : EntryDialog(parent), ui_(std::make_unique<Ui::BtsCertDlPwdWindowController>()) {
  ui_->setupUi(this);
  attach(ui_->txtUserBtsCertDlPwd, ui_->btnOK, ui_->btnCancel);
}

BtsCertDlPwdWindowController::~BtsCertDlPwdWindowController() = default;

}  // namespace karv::app
