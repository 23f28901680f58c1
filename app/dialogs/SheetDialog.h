#pragma once
#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>

class QLineEdit;

namespace karv::app {

// What every dialog asks of the application controller, its delegate.
class SheetDialogDelegate {
 public:
  virtual ~SheetDialogDelegate() = default;
  // The application-modal "錯誤" / "確定" alert for an input error; the
  // dialog stays open behind it.
  virtual void showDialogError(const QString& message) = 0;
  // An application-modal question over the dialog; true for the first button.
  virtual bool askDialogQuestion(const QString& message, const QStringList& buttons) = 0;
  // Runs a dialog's blocking work (a .pfx write, a gateway request) so that
  // the window stays alive; the busy overlay shows `prompt` meanwhile unless
  // it is already showing.
  virtual void runBlockingWork(const QString& prompt, const std::function<void()>& work) = 0;
};

// Base of the client's dialogs. Each is shown as a sheet on the main window
// and ends with an integer code; Escape and the window's close button end it
// as the dialog's own cancel button does, Enter presses the focused button.
class SheetDialog : public QDialog {
  Q_OBJECT
 public:
  SheetDialog(QWidget* parent, int cancelCode);

  void reject() override;
  void setDelegate(SheetDialogDelegate* delegate) { errorDelegate_ = delegate; }

 protected:
  void showEvent(QShowEvent* event) override;
  // Shows an input error through the delegate (nothing without one).
  void showError(const QString& message) const;
  // Asks through the delegate; without one nothing is confirmed.
  [[nodiscard]] bool askQuestion(const QString& message, const QStringList& buttons) const;
  // Runs blocking work through the delegate (directly without one).
  void runBlockingWork(const QString& prompt, const std::function<void()>& work) const;
  // The field's text without leading and trailing spaces and tabs, also
  // written back into the field.
  static QString takeTrimmed(QLineEdit* field);
  // What a screen reader says of the fields besides their names (a password rule).
  static void describeFields(const QString& description, std::initializer_list<QLineEdit*> fields);

 private:
  int cancelCode_;
  SheetDialogDelegate* errorDelegate_ = nullptr;  // weak: the controller outlives its dialogs
};

}  // namespace karv::app
