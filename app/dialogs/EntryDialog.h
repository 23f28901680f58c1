#pragma once
#include "app/dialogs/SheetDialog.h"

class QAbstractButton;

namespace karv::app {

// A dialog with one entry field: OK takes the trimmed entry as it stands (an
// empty one too) and ends with 1; the other button ends with 0.
class EntryDialog : public SheetDialog {
  Q_OBJECT
 public:
  static constexpr int kEntered = 1;

  // The entered text ("" until OK), handed over: the dialog keeps no copy.
  [[nodiscard]] QString takePwd();
  void btnOKOnClick();

 protected:
  explicit EntryDialog(QWidget* parent) : SheetDialog(parent, 0) {}
  // Connects the layout's controls, once it is set up.
  void attach(QLineEdit* entry, QAbstractButton* ok, QAbstractButton* other);

 private:
  QLineEdit* entry_ = nullptr;
  QString pwd_;
};

}  // namespace karv::app
