#include "app/dialogs/AuthCodeWindowController.h"

#include "ui_AuthCodeWindowController.h"

namespace karv::app {

AuthCodeWindowController::AuthCodeWindowController(QWidget* parent)
    : EntryDialog(parent), ui_(std::make_unique<Ui::AuthCodeWindowController>()) {
  ui_->setupUi(this);
  attach(ui_->authCode, ui_->btnOK, ui_->btnReAuth);
}

AuthCodeWindowController::~AuthCodeWindowController() = default;

}  // namespace karv::app
