#include "app/dialogs/PfxDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <algorithm>

namespace karv::app {

std::optional<QString> PfxDialog::choosePfx(const QString& title, const QString& startPath, bool folders) {
  if (!chooser_) return std::nullopt;
  return chooser_->choose({this, title, startPath, true, folders, {"pfx"}});
}

void PfxDialog::showPath(QLabel* label, const QString& path) {
  label->setText(path);
  // Wider for a long path while the screen has room; elided beyond that.
  const int room = screen() ? screen()->availableGeometry().width() : width();
  const int wanted = std::min(sizeHint().width(), room);
  if (wanted > width()) resize(wanted, height());
}

void PfxDialog::showRule(QLabel* label, const QString& rule, std::initializer_list<QLineEdit*> fields) {
  label->setText(rule);
  describeFields(rule, fields);
}

void PfxDialog::clearFields(std::initializer_list<QLineEdit*> fields) {
  for (QLineEdit* field : fields) field->clear();
}

}  // namespace karv::app
