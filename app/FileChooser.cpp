#include "app/FileChooser.h"

#include <QFileDialog>
#include <QFileInfo>

namespace karv::app {

std::optional<QString> QtFileChooser::choose(const Request& request) {
  QFileDialog dialog(request.parent, request.title, request.startPath);
  if (!request.extensions.isEmpty()) {
    QStringList patterns;
    for (const QString& extension : request.extensions) patterns << "*." + extension;
    dialog.setNameFilter(QString("憑證檔 (%1)").arg(patterns.join(' ')));
    dialog.setDefaultSuffix(request.extensions.first());
  }
  // Qt's own texts are not translated here; the ones the user reads first are.
  dialog.setLabelText(QFileDialog::LookIn, "查詢位置");
  dialog.setLabelText(QFileDialog::FileName, "檔案名稱");
  dialog.setLabelText(QFileDialog::FileType, "檔案類型");
  dialog.setLabelText(QFileDialog::Accept, "選擇");
  if (request.files && request.folders) {
    // The dialog itself writes nothing; the caller's OK overwrites atomically.
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!QFileInfo(request.startPath).isDir()) dialog.selectFile(request.startPath);
  } else {
    dialog.setFileMode(request.folders ? QFileDialog::Directory : QFileDialog::ExistingFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

}  // namespace karv::app
