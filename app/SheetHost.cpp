#include "app/SheetHost.h"

namespace karv::app {

SheetHost::SheetHost(QWidget& window, SheetDialogDelegate& dialogs, CommonEnd commonEnd)
    : window_(window), dialogs_(dialogs), commonEnd_(std::move(commonEnd)) {}

void SheetHost::replaceWith(QDialog* dialog) {
  // The old dialog may still be emitting its own signals: it goes once they are done.
  if (dialog_) dialog_->deleteLater();
  dialog_ = dialog;
}

void SheetHost::later(std::function<void()> open) {
  connect(dialog_.data(), &QDialog::finished, this, std::move(open),
          Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
}

void SheetHost::begin(QDialog* dialog, std::function<void(int)> end) {
  dialog->setWindowModality(Qt::WindowModal);
  connect(
      dialog, &QDialog::finished, this,
      [this, dialog, end = std::move(end)](int code) {
        commonEnd_(dialog, code);
        end(code);
      },
      Qt::SingleShotConnection);
  dialog->open();
}

}  // namespace karv::app
