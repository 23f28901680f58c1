#pragma once
#include <QLabel>

namespace karv::app {

// A label for a file path: text() is always the whole path (what the code
// reads back and what a screen reader announces), but a path wider than the
// label is drawn elided in the middle with the whole path as its tool tip,
// so a long path never widens its window past the screen.
class PathLabel : public QLabel {
  Q_OBJECT
 public:
  explicit PathLabel(QWidget* parent = nullptr);

  [[nodiscard]] QSize minimumSizeHint() const override;
  [[nodiscard]] QSize sizeHint() const override;
  // What the label draws in its current width.
  [[nodiscard]] QString shownText() const;

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
};

}  // namespace karv::app
