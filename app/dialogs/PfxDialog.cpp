#include "app/dialogs/PfxDialog.h"

#include <QLabel>
#include <QLineEdit>

namespace karv::app {

std::optional<QString> PfxDialog::choosePfx(const QString& title, const QString& startPath, bool folders) {
  if (!chooser_) return std::nullopt;
  return chooser_->choose({this, title, startPath, true, folders, {"pfx"}});
}

void PfxDialog::showValue(QLabel* label, const QString& value) {
  label->setText(value);
  label->setAccessibleDescription(value);
}

void PfxDialog::clearFields(std::initializer_list<QLineEdit*> fields) {
  for (QLineEdit* field : fields) field->clear();
}

}  // namespace karv::app
