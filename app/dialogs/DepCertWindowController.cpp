#include "app/dialogs/DepCertWindowController.h"

#include <QScopedValueRollback>

#include "app/ApplicationIcon.h"
#include "system/Log.h"
#include "ui_DepCertWindowController.h"

namespace karv::app {
namespace {
std::string valueOf(const BrowserRecord& record, const char* key) {
  const auto it = record.find(key);
  return it == record.end() ? std::string() : it->second;
}
}  // namespace

DepCertWindowController::DepCertWindowController(QWidget* parent)
    : SheetDialog(parent, kCancelled), ui_(std::make_unique<Ui::DepCertWindowController>()) {
  ui_->setupUi(this);
  // Every change of a button's state passes the mode's rules: a click, the
  // keyboard, and a screen reader's "toggle" (which emits no click).
  for (const auto& [button, bundleId] : imageButtons())
    connect(button, &QToolButton::toggled, this, [this, button = button] {
      if (!applyingRules_) imgBtnOnClick(button);
    });
  connect(ui_->btnOK, &QPushButton::clicked, this, &DepCertWindowController::btnOkOnClick);
  connect(ui_->btnCancel, &QPushButton::clicked, this, &DepCertWindowController::btnCancelOnClick);
}

DepCertWindowController::~DepCertWindowController() = default;

void DepCertWindowController::setDelegate(DepCertWindowControllerDelegate* delegate) {
  delegate_ = delegate;
  SheetDialog::setDelegate(delegate);
}

std::vector<std::pair<QToolButton*, std::string>> DepCertWindowController::imageButtons() const {
  return {{ui_->imgBtnSafari, "com.apple.Safari"},
          {ui_->imgBtnChrome, "com.google.Chrome"},
          {ui_->imgBtnFireFox, "org.mozilla.Firefox"}};
}

void DepCertWindowController::showBrowserImgButton() {
  const QScopedValueRollback applying(applyingRules_, true);
  for (const auto& [button, bundleId] : imageButtons()) {
    button->setVisible(false);
    button->setChecked(false);
  }
  for (const auto& record : browsersInfo_) {
    for (const auto& [button, bundleId] : imageButtons()) {
      if (valueOf(record, "bundleId") != bundleId) continue;
      button->setIcon(applicationIcon(QString::fromStdString(valueOf(record, "path"))));
      button->setText(QString::fromStdString(valueOf(record, "name")));
      button->setVisible(true);
      if (valueOf(record, "selected") == "Y") button->setChecked(true);
    }
  }
}

void DepCertWindowController::imgBtnOnClick(QToolButton* button) {
  logf("%s button was clicked!!", button->text().toUtf8().constData());
  // The click has already turned the button's chosen state over.
  if (selectMode_ == "M") return;
  const QScopedValueRollback applying(applyingRules_, true);
  if (selectMode_ == "S") {
    for (const auto& [other, bundleId] : imageButtons())
      if (other != button && other->isVisible()) other->setChecked(false);
    button->setChecked(true);
    return;
  }
  button->setChecked(!button->isChecked());
}

void DepCertWindowController::btnOkOnClick() {
  std::vector<BrowserRecord> chosen;
  for (const auto& [button, bundleId] : imageButtons()) {
    if (!button->isChecked()) continue;
    for (const auto& record : browsersInfo_)
      if (valueOf(record, "bundleId") == bundleId) chosen.push_back(record);
  }
  if (chosen.empty()) {
    showError("未選擇任何目的瀏覽器");
    return;
  }
  if (delegate_) delegate_->getDepCertWindowData(chosen);
  done(kChosen);
}

}  // namespace karv::app
