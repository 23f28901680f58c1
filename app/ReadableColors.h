#pragma once
#include <QColor>

namespace karv::app {

// Colour contrast as WCAG 2 measures it: text the user must read keeps at
// least 4.5:1 against what it is drawn on, in light and dark palettes alike.
constexpr double kMinimumTextContrast = 4.5;

[[nodiscard]] double contrastRatio(const QColor& a, const QColor& b);
// `preferred` itself when it reads on `background`; otherwise the nearest
// shade of it, towards black on a light background and towards white on a
// dark one, that does.
[[nodiscard]] QColor readableOn(const QColor& preferred, const QColor& background,
                                double minimum = kMinimumTextContrast);
// `over` seen through a veil of `veil` (its alpha counts).
[[nodiscard]] QColor blend(const QColor& veil, const QColor& over);

}  // namespace karv::app
