#pragma once
#include <initializer_list>
#include <memory>
#include <optional>

#include "app/FileChooser.h"
#include "app/dialogs/SheetDialog.h"

class QLabel;
class QLineEdit;

namespace karv::app {

// Base of the .pfx dialogs (save, load, change password): a file chooser,
// the path label, the password fields. Each ends with 1 when its work is
// done and 0 when cancelled.
class PfxDialog : public SheetDialog {
  Q_OBJECT
 public:
  static constexpr int kCancelled = 0;
  static constexpr int kDone = 1;

  void setFileChooser(std::shared_ptr<FileChooser> chooser) { chooser_ = std::move(chooser); }
  void btnCancelOnClick() { reject(); }

 protected:
  explicit PfxDialog(QWidget* parent) : SheetDialog(parent, kCancelled) {}

  // The path chosen in a single-selection chooser for .pfx files (and
  // folders when asked); none when the user cancelled.
  [[nodiscard]] std::optional<QString> choosePfx(const QString& title, const QString& startPath, bool folders);
  // The chooser of the load and change dialogs: an existing .pfx file.
  [[nodiscard]] std::optional<QString> chooseExistingPfx(const QString& startPath) {
    return choosePfx("請選擇憑證檔", startPath, false);
  }
  // Shows a path on the path label, whose name a screen reader reads as the
  // path and whose description says what it is.
  void showPath(QLabel* label, const QString& path);
  // Shows the password rule, which also describes the fields it governs.
  static void showRule(QLabel* label, const QString& rule, std::initializer_list<QLineEdit*> fields);
  static void clearFields(std::initializer_list<QLineEdit*> fields);

 private:
  std::shared_ptr<FileChooser> chooser_;
};

}  // namespace karv::app
