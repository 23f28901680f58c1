#pragma once
#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace karv::app {

// The overlay that covers the main window's content while a request runs
// (busy: prompt and moving bar) or while the idle countdown shows (idle:
// prompt only). It swallows clicks and keys so nothing beneath can be used,
// and holds the keyboard focus meanwhile; hidden, it gives the focus back to
// the control that had it. Its colours are the palette's, and a screen reader
// hears its prompt.
class KARVMask : public QWidget {
  Q_OBJECT
 public:
  explicit KARVMask(QWidget* parent);

  void show() { showWithPrompt(QString()); }
  void showWithPrompt(const QString& prompt);
  void showIdle(const QString& text);
  void hide();

  [[nodiscard]] bool idleMode() const { return idleMode_; }
  [[nodiscard]] QLabel* lblPrompt() const { return lblPrompt_; }
  [[nodiscard]] QProgressBar* progressBar() const { return progressBar_; }
  // What the veil looks like over the window's background.
  [[nodiscard]] QColor veilColor() const;

 signals:
  // Each time the overlay shows, with its prompt ("" without one): what the
  // user was told, in order, for anyone who follows the workflows.
  void promptShown(const QString& prompt);

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  void coverParent();
  void announce();

  bool idleMode_ = false;
  QPointer<QWidget> focusBefore_;
  QLabel* lblPrompt_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
};

}  // namespace karv::app
