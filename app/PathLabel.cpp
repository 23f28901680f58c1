#include "app/PathLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace karv::app {
namespace {
// Enough for the start and the end of a path; wider only when there is room.
constexpr int kMinimumChars = 12;
constexpr int kPreferredChars = 64;
}  // namespace

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
}

QSize PathLabel::minimumSizeHint() const {
  const QSize full = QLabel::minimumSizeHint();
  return {std::min(full.width(), fontMetrics().averageCharWidth() * kMinimumChars), full.height()};
}

QSize PathLabel::sizeHint() const {
  const QSize full = QLabel::sizeHint();
  return {std::min(full.width(), fontMetrics().averageCharWidth() * kPreferredChars), full.height()};
}

QString PathLabel::shownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

bool PathLabel::event(QEvent* e) {
  if (e->type() == QEvent::ToolTip && toolTip().isEmpty()) {
    // The whole path, only when some of it is hidden.
    const auto* help = static_cast<QHelpEvent*>(e);
    if (shownText() != text())
      QToolTip::showText(help->globalPos(), text(), this);
    else
      QToolTip::hideText();
    return true;
  }
  return QLabel::event(e);
}

void PathLabel::paintEvent(QPaintEvent* e) {
  const QString shown = shownText();
  if (shown == text()) {
    QLabel::paintEvent(e);  // fits: the label's own painting, selection included
    return;
  }
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                        isEnabled(), shown, foregroundRole());
}

}  // namespace karv::app
