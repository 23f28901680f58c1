#include "app/dialogs/EntryDialog.h"

#include <QAbstractButton>

namespace karv::app {

void EntryDialog::attach(QLineEdit* entry, QAbstractButton* ok, QAbstractButton* other) {
  entry_ = entry;
  connect(ok, &QAbstractButton::clicked, this, &EntryDialog::btnOKOnClick);
  connect(other, &QAbstractButton::clicked, this, &EntryDialog::reject);
}

void EntryDialog::btnOKOnClick() {
  pwd_ = takeTrimmed(entry_);
  done(kEntered);
}

}  // namespace karv::app
