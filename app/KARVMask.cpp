#include "app/KARVMask.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>

#include "app/KeyboardAccess.h"

namespace karv::app {
namespace {

const QString kUntitledPrompt = QStringLiteral("處理中");

// What a screen reader learns of the overlay: its prompt as its name (it
// takes the focus, so the prompt is announced), and busy while the bar runs.
class MaskAccessible : public QAccessibleWidget {
 public:
  explicit MaskAccessible(KARVMask* mask) : QAccessibleWidget(mask, QAccessible::Pane) {}
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.busy = widget()->isVisible() && !static_cast<KARVMask*>(widget())->idleMode();
    return s;
  }
};

QAccessibleInterface* maskAccessible(const QString& className, QObject* object) {
  auto* mask = qobject_cast<KARVMask*>(object);
  return className == QLatin1String(KARVMask::staticMetaObject.className()) && mask ? new MaskAccessible(mask)
                                                                                    : nullptr;
}

}  // namespace

KARVMask::KARVMask(QWidget* parent) : QWidget(parent) {
  [[maybe_unused]] static const bool factoryInstalled = (QAccessible::installFactory(maskAccessible), true);
  setObjectName("mask");
  setAccessibleName(kUntitledPrompt);
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
    // The palette's text on the palette's background: readable in light and
    // dark themes alike.
    lblPrompt_->setAutoFillBackground(true);
    lblPrompt_->setBackgroundRole(QPalette::Window);
    lblPrompt_->setForegroundRole(QPalette::WindowText);
  }
  lblPrompt_->setText(prompt);
  setAccessibleName(prompt.isEmpty() ? kUntitledPrompt : prompt);
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
  idleMode_ = false;
  setFocus(Qt::OtherFocusReason);
  announce();
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
  announce();
}

void KARVMask::announce() {
  // A new prompt on an overlay that already had the focus: say it again.
  QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&nameChanged);
  QAccessible::State busy;
  busy.busy = true;
  QAccessibleStateChangeEvent busyChanged(this, busy);
  QAccessible::updateAccessibility(&busyChanged);
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
  announce();
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
  painter.fillRect(rect(), veilColor());
}

QColor KARVMask::veilColor() const {
  QColor veil = palette().color(QPalette::Window);  // near white at 80% in a light theme
  veil.setAlpha(204);
  return veil;
}

}  // namespace karv::app
