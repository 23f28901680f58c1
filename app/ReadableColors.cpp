#include "app/ReadableColors.h"

#include <algorithm>
#include <cmath>

namespace karv::app {
namespace {

double linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

QColor mix(const QColor& from, const QColor& to, double t) {
  return QColor::fromRgbF(static_cast<float>(from.redF() + (to.redF() - from.redF()) * t),
                          static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * t),
                          static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * t));
}

double relativeLuminance(const QColor& color) {
  const QColor c = color.toRgb();
  return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
  const double la = relativeLuminance(a);
  const double lb = relativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor& preferred, const QColor& background, double minimum) {
  // Black or white: whichever reads better on this background.
  const QColor target =
      contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background) ? Qt::black : Qt::white;
  constexpr int kSteps = 50;
  for (int step = 0; step <= kSteps; ++step) {
    const QColor candidate = mix(preferred, target, static_cast<double>(step) / kSteps);
    if (contrastRatio(candidate, background) >= minimum) return candidate;
  }
  return target;
}

QColor blend(const QColor& veil, const QColor& over) {
  QColor opaqueVeil = veil;
  opaqueVeil.setAlphaF(1.0f);
  return mix(over, opaqueVeil, veil.alphaF());
}

}  // namespace karv::app
