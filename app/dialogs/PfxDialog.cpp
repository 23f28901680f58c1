#include "app/dialogs/PfxDialog.h"

#include <QLabel>
#include <QLineEdit>

namespace karv::app {

std::optional<QString> PfxDialog::choosePfx(const QString& title, const QString& startPath, bool folders) {
  if (!chooser_) return std::nullopt;
  return chooser_->choose({this, title, startPath, true, folders, {"pfx"}});
}

void PfxDialog::showValue(QLabel* label, const QString& value) { label->setText(value); }

void PfxDialog::showRule(QLabel* label, const QString& rule, std::initializer_list<QLineEdit*> fields) {
  label->setText(rule);
  describeFields(rule, fields);
}

void PfxDialog::clearFields(std::initializer_list<QLineEdit*> fields) {
  for (QLineEdit* field : fields) field->clear();
}

}  // namespace karv::app
