#include "app/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace karv::app {

void fitToScreen(QWidget& window, QSize preferred) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize frame = window.frameGeometry().size() - window.geometry().size();
  const QSize room = area.size() - frame;
  const QSize size = preferred.boundedTo(room).expandedTo(window.minimumSizeHint());
  window.resize(size);
  const QSize spare = (room - size).expandedTo(QSize(0, 0));
  window.move(area.topLeft() + QPoint(spare.width() / 2, spare.height() / 2));
}

}  // namespace karv::app
