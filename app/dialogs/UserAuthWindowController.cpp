#include "app/dialogs/UserAuthWindowController.h"

#include <algorithm>

#include "app/KeyboardAccess.h"
#include "ui_UserAuthWindowController.h"

namespace karv::app {
namespace {
const QString kRevokeTitle = QStringLiteral("憑證廢止");
const QString kNothingOnFile = QStringLiteral("查無資料");
}  // namespace

UserAuthWindowController::UserAuthWindowController(QWidget* parent)
    : SheetDialog(parent, kCancelled), ui_(std::make_unique<Ui::UserAuthWindowController>()) {
  ui_->setupUi(this);
  connect(ui_->useMail, &QRadioButton::clicked, this, &UserAuthWindowController::btnMailOnClick);
  connect(ui_->usePhone, &QRadioButton::clicked, this, &UserAuthWindowController::btnPhoneOnClick);
  connect(ui_->useService, &QRadioButton::clicked, this, &UserAuthWindowController::btnServiceOnClick);
  connect(ui_->btnOK, &QPushButton::clicked, this, &UserAuthWindowController::btnOKOnClick);
  connect(ui_->btnCancel, &QPushButton::clicked, this, &UserAuthWindowController::btnCancelOnClick);
  // An arrow key chooses the method it moves to, also while none is chosen yet.
  new ArrowKeysChoose({ui_->useMail, ui_->usePhone, ui_->useService}, this);
}

UserAuthWindowController::~UserAuthWindowController() = default;

void UserAuthWindowController::setUserInfo(const QString& birth, const QString& phone, const QString& mail,
                                           const QString& title) {
  birth_ = birth;
  phone_ = phone;
  mail_ = mail;
  setWindowTitle(title);
  if (title == kRevokeTitle) hideService();
  showContactChoice(ui_->useMail, QStringLiteral("寄到您於本公司登記的電子郵件信箱(%1)"), mail_);
  showContactChoice(ui_->usePhone, QStringLiteral("簡訊通知您於本公司登記的手機號碼(%1)"), phone_);
}

void UserAuthWindowController::showContactChoice(QRadioButton* choice, const QString& format, const QString& onFile) {
  choice->setText(format.arg(onFile.isEmpty() ? kNothingOnFile : onFile));
  choice->setEnabled(!onFile.isEmpty());
}

void UserAuthWindowController::hideService() { ui_->useService->setVisible(false); }

bool UserAuthWindowController::isAllDigits(const QString& text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

void UserAuthWindowController::choose(const QString& method, QRadioButton* chosen) {
  method_ = method;
  for (QRadioButton* choice : {ui_->useMail, ui_->usePhone, ui_->useService})
    if (choice != chosen) choice->setChecked(false);
}

void UserAuthWindowController::btnMailOnClick() { choose("Mail", ui_->useMail); }
void UserAuthWindowController::btnPhoneOnClick() { choose("Phone", ui_->usePhone); }
void UserAuthWindowController::btnServiceOnClick() { choose("Service", ui_->useService); }

QString UserAuthWindowController::birthInputError(const QString& typed) {
  if (typed.isEmpty()) return QStringLiteral("基本資料空白");
  if (typed.size() != 8) return QStringLiteral("基本資料長度須等於8");
  if (!isAllDigits(typed)) return QStringLiteral("基本資料必須全為數字");
  return {};
}

void UserAuthWindowController::btnOKOnClick() {
  const QString typed = takeTrimmed(ui_->txtUserBirth);
  if (const QString error = birthInputError(typed); !error.isEmpty()) {
    showError(error);
    return;
  }
  if (typed != birth_) {
    done(kBirthMismatch);
  } else if (method_ == "Mail") {
    done(kByMail);
  } else if (method_ == "Phone") {
    done(kByPhone);
  } else if (method_ == "Service") {
    done(kByService);
  } else {
    done(kNoMethod);
  }
}

}  // namespace karv::app
