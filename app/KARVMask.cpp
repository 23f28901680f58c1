#include "app/KARVMask.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>

#include "app/KeyboardAccess.h"

namespace karv::app {

KARVMask::KARVMask(QWidget* parent) : QWidget(parent) {
  setObjectName("mask");
  setAccessibleName("處理中");
  setFocusPolicy(Qt::StrongFocus);
  QWidget::hide();
  parent->installEventFilter(this);  // follow the parent's size
}

void KARVMask::coverParent() {
  if (parentWidget()) setGeometry(parentWidget()->rect());
  const int w = width();
  const int h = height();
  if (lblPrompt_) lblPrompt_->setGeometry(0, h / 2, w, 20);
  if (progressBar_) progressBar_->setGeometry((w - 150) / 2, h / 2 + 24, 150, 20);
}

void KARVMask::showWithPrompt(const QString& prompt) {
  if (!lblPrompt_) {
    lblPrompt_ = new QLabel(this);
    lblPrompt_->setObjectName("lblPrompt");
    lblPrompt_->setAlignment(Qt::AlignCenter);
    lblPrompt_->setTextFormat(Qt::PlainText);
    QFont font = lblPrompt_->font();
    font.setPointSize(14);
    lblPrompt_->setFont(font);
    lblPrompt_->setStyleSheet("color: black;");
  }
  lblPrompt_->setText(prompt);
  lblPrompt_->setAccessibleName(prompt.isEmpty() ? QStringLiteral("處理中") : prompt);
  lblPrompt_->setVisible(true);
  if (!progressBar_) {
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName("progressBar");
    progressBar_->setAccessibleName("處理進度");
    progressBar_->setRange(0, 0);  // indeterminate
    progressBar_->setTextVisible(false);
  }
  progressBar_->setVisible(true);
  coverParent();
  if (!isVisible()) focusBefore_ = window()->focusWidget();
  QWidget::show();
  raise();
  setFocus(Qt::OtherFocusReason);
  idleMode_ = false;
  emit promptShown(prompt);
  // Paint now: work run with the blocking-work helper switched off holds the
  // event loop still, and the overlay must show all the same.
  if (window()->isVisible()) repaint();
}

void KARVMask::showIdle(const QString& text) {
  showWithPrompt(text);
  progressBar_->setVisible(false);
  lblPrompt_->setVisible(true);
  idleMode_ = true;
}

void KARVMask::hide() {
  idleMode_ = false;
  // Hidden while it holds the focus, the overlay would pass it down the tab
  // order, round to the window's first control (the login-mode radio, where
  // one arrow key switches the layout): it goes back where it was instead.
  QWidget* focused = window()->focusWidget();
  const bool holdsFocus = focused && (focused == this || isAncestorOf(focused));
  if (holdsFocus) focused->clearFocus();
  QWidget::hide();
  if (holdsFocus && focusBefore_) giveFocusBack(focusBefore_);
}

bool KARVMask::event(QEvent* e) {
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
      e->accept();  // swallowed: nothing beneath may be used (Tab included)
      return true;
    default:
      return QWidget::event(e);
  }
}

bool KARVMask::eventFilter(QObject* watched, QEvent* e) {
  if (watched == parentWidget() && e->type() == QEvent::Resize && isVisible()) coverParent();
  return QWidget::eventFilter(watched, e);
}

void KARVMask::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(255, 255, 255, 204));  // white at 80%
}

}  // namespace karv::app
