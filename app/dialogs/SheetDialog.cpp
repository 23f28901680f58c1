#include "app/dialogs/SheetDialog.h"

#include <QLineEdit>

#include "app/KeyboardAccess.h"
#include "app/TextInput.h"

namespace karv::app {

SheetDialog::SheetDialog(QWidget* parent, int cancelCode) : QDialog(parent), cancelCode_(cancelCode) {}

void SheetDialog::reject() { done(cancelCode_); }

void SheetDialog::showEvent(QShowEvent* event) {
  // The layout's texts carry mnemonics; screen readers read them without.
  nameWithoutMnemonics(this);
  QDialog::showEvent(event);
}

void SheetDialog::showError(const QString& message) const {
  if (errorDelegate_) errorDelegate_->showDialogError(message);
}

bool SheetDialog::askQuestion(const QString& message, const QStringList& buttons) const {
  return errorDelegate_ && errorDelegate_->askDialogQuestion(message, buttons);
}

void SheetDialog::runBlockingWork(const QString& prompt, const std::function<void()>& work) const {
  if (errorDelegate_)
    errorDelegate_->runBlockingWork(prompt, work);
  else
    work();
}

void SheetDialog::describeFields(const QString& description, std::initializer_list<QLineEdit*> fields) {
  for (QLineEdit* field : fields) field->setAccessibleDescription(description);
}

QString SheetDialog::takeTrimmed(QLineEdit* field) {
  const QString trimmed = trimSpacesAndTabs(field->text());
  field->setText(trimmed);
  return trimmed;
}

}  // namespace karv::app
