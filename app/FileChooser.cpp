#include "FileChooser.h"

#include <QFileDialog>

namespace karv::app {

std::optional<QString> QtFileChooser::choose(const Request& request) {
  QFileDialog dialog(request.parent, request.title, request.startPath);
  if (!request.extensions.isEmpty()) {
    QStringList patterns;
    for (const QString& extension : request.extensions) patterns << "*." + extension;
    dialog.setNameFilter(QString("憑證檔 (%1)").arg(patterns.join(' ')));
    dialog.setDefaultSuffix(request.extensions.first());
  }
  if (request.files && request.folders) {
    // The dialog itself writes nothing; the caller's OK overwrites atomically.
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  } else {
    dialog.setFileMode(request.folders ? QFileDialog::Directory : QFileDialog::ExistingFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

}  // namespace karv::app
