#include "app/dialogs/UserAgreementWindowController.h"

#include <QScrollBar>
#include <QUrl>

#include "app/AppResources.h"
#include "ui_UserAgreementWindowController.h"

namespace karv::app {

UserAgreementWindowController::UserAgreementWindowController(QWidget* parent)
    : SheetDialog(parent, kCancelled), ui_(std::make_unique<Ui::UserAgreementWindowController>()) {
  ui_->setupUi(this);
  registerAppResources();
  ui_->wvUserAgreement->setSource(QUrl(QString::fromLatin1(kAgreementUrl)));
  ui_->wvUserAgreement->verticalScrollBar()->setAccessibleName("條款捲軸");
  connect(ui_->chkAgree, &QCheckBox::toggled, this, &UserAgreementWindowController::chkUserAgreeOnClick);
  connect(ui_->btnNextStep, &QPushButton::clicked, this, &UserAgreementWindowController::btnNextStepOnClick);
  connect(ui_->btnCancel, &QPushButton::clicked, this, &UserAgreementWindowController::btnCancelOnClick);
}

UserAgreementWindowController::~UserAgreementWindowController() = default;

void UserAgreementWindowController::chkUserAgreeOnClick() { ui_->btnNextStep->setEnabled(ui_->chkAgree->isChecked()); }

}  // namespace karv::app
