#pragma once
#include <QSize>

class QWidget;

namespace karv::app {

// Gives a top-level window the size it prefers, but never more than the
// available area of its screen (panels left out, the frame counted once the
// window has one), and places it inside that area.
void fitToScreen(QWidget& window, QSize preferred);

}  // namespace karv::app
