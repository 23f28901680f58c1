#pragma once
#include <QString>
#include <QStringList>
#include <algorithm>

class QWidget;

namespace karv::app {

// Every message box of the client goes through a presenter, so tests can
// script the answers and check the order of what was shown.
class AlertPresenter {
 public:
  enum class Style {
    Sheet,             // window-modal on the main window; the caller waits
    ApplicationModal,  // the "錯誤" / "確定" alert inside dialogs
  };
  struct Alert {
    Style style;
    QWidget* window;
    QString title;
    QString text;
    QStringList buttons;
  };
  virtual ~AlertPresenter() = default;
  // Returns 1000 + the position of the button the user pressed.
  virtual int present(const Alert& alert) = 0;
  // The answer of the last (declining) button: what a box closed without a
  // choice, or one never shown, counts as.
  [[nodiscard]] static int decliningAnswer(const Alert& alert) {
    return 1000 + static_cast<int>(std::max<qsizetype>(alert.buttons.size() - 1, 0));
  }
};

// The real presenter: QMessageBox, run synchronously.
class QtAlertPresenter : public AlertPresenter {
 public:
  int present(const Alert& alert) override;
};

}  // namespace karv::app
