#include "app/dialogs/EntryDialog.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <utility>

#include "app/SecretText.h"

namespace karv::app {

void EntryDialog::attach(QLineEdit* entry, QAbstractButton* ok, QAbstractButton* other) {
  entry_ = entry;
  connect(ok, &QAbstractButton::clicked, this, &EntryDialog::btnOKOnClick);
  connect(other, &QAbstractButton::clicked, this, &EntryDialog::reject);
}

QString EntryDialog::takePwd() {
  if (entry_) clearSecretField(entry_);
  return std::exchange(pwd_, QString());
}

void EntryDialog::btnOKOnClick() {
  pwd_ = takeTrimmed(entry_);
  done(kEntered);
}

}  // namespace karv::app
