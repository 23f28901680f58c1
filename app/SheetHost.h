#pragma once
#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "app/SecretText.h"
#include "app/dialogs/SheetDialog.h"

namespace karv::app {

// Called with a dialog's result code when its sheet ends.
using SheetHandler = std::function<void(int)>;
// The same with what the dialog handed back; secrets in it are wiped once the handler returns.
template <class Result>
using ResultHandler = std::function<void(int, const Result&)>;

// The one dialog open on the main window. Each opening makes a new dialog
// from its layout, replacing the previous one, and begins it as a
// window-modal sheet; at its end the common end runs (it hides the sheet),
// then the handler gets the code and the dialog's result. An opening while a
// dialog is still open waits until that one has ended and its handler has
// had its result.
class SheetHost : public QObject {
 public:
  using CommonEnd = std::function<void(QDialog* sheet, int returnCode)>;

  // `dialogs` answers every dialog's input errors, questions and blocking work.
  SheetHost(QWidget& window, SheetDialogDelegate& dialogs, CommonEnd commonEnd);

  // A dialog that hands nothing back. `setUp` gives it its data; it may run
  // later (see above), so it holds its data itself.
  template <class Dialog>
  void open(std::function<void(Dialog&)> setUp, SheetHandler handler) {
    open<Dialog>(
        std::move(setUp), [](Dialog&) { return Nothing{}; },
        [handler = std::move(handler)](int code, const Nothing&) { handler(code); });
  }
  // A dialog whose result `take` takes at its end.
  template <class Dialog, class Take>
  void open(std::function<void(Dialog&)> setUp, Take take,
            ResultHandler<std::invoke_result_t<Take&, Dialog&>> handler) {
    using Result = std::invoke_result_t<Take&, Dialog&>;
    if (dialog_ && dialog_->isVisible()) {
      later([=, this] { open<Dialog>(setUp, take, handler); });
      return;
    }
    auto* dialog = new Dialog(&window_);
    replaceWith(dialog);
    dialog->SheetDialog::setDelegate(&dialogs_);
    setUp(*dialog);
    begin(dialog, [dialog, take = std::move(take), handler = std::move(handler)](int code) mutable {
      Result result = std::invoke(take, *dialog);
      handler(code, result);
      wipeSecrets(result);
    });
  }

  // A dialog whose delegate is `relay`, kept as long as the dialog is; the
  // relay keeps what the dialog hands back at its OK in `result`.
  template <class Dialog, class Relay>
  void open(std::shared_ptr<Relay> relay, std::function<void(Dialog&)> setUp,
            ResultHandler<decltype(Relay::result)> handler) {
    open<Dialog>(
        delegating(relay, std::move(setUp)), [relay](Dialog&) { return std::exchange(relay->result, {}); },
        std::move(handler));
  }
  template <class Dialog, class Relay>
  void open(std::shared_ptr<Relay> relay, std::function<void(Dialog&)> setUp, SheetHandler handler) {
    open<Dialog>(delegating(std::move(relay), std::move(setUp)), std::move(handler));
  }

  // Drops the last dialog now that its flow no longer needs it.
  void release() { replaceWith(nullptr); }

 private:
  struct Nothing {};
  template <class Dialog, class Relay>
  static std::function<void(Dialog&)> delegating(std::shared_ptr<Relay> relay, std::function<void(Dialog&)> setUp) {
    return [relay, setUp = std::move(setUp)](Dialog& dialog) {
      dialog.setDelegate(relay.get());
      // The dialog holds its delegate weakly: the relay lives on with it.
      connect(&dialog, &QObject::destroyed, [relay] {});
      setUp(dialog);
    };
  }
  static void wipeSecrets(Nothing&) {}
  // The password a .pfx dialog hands back, the text an entry dialog does.
  template <class Result>
  static void wipeSecrets(Result& result) {
    if constexpr (requires { result.pfxFilePwd; })
      wipeSecret(result.pfxFilePwd);
    else if constexpr (std::is_same_v<Result, QString>)
      wipeSecret(result);
  }

  void replaceWith(QDialog* dialog);
  // Runs `open` once the open dialog has ended and its handler has returned.
  void later(std::function<void()> open);
  void begin(QDialog* dialog, std::function<void(int)> end);

  QWidget& window_;
  SheetDialogDelegate& dialogs_;
  CommonEnd commonEnd_;
  QPointer<QDialog> dialog_;
};

}  // namespace karv::app
