#pragma once
#include <QString>
#include <QStringList>

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
};

// The real presenter: QMessageBox, run synchronously.
class QtAlertPresenter : public AlertPresenter {
 public:
  int present(const Alert& alert) override;
};

}  // namespace karv::app
