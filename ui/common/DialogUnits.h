#pragma once

#include <QRect>
#include <QWidget>

#include <cmath>

namespace vistrel {

/// Turns dialog units into pixels of `dialog` by the usual rule for its font: a horizontal unit
/// is a quarter of the font's average character width (measured over the 52 Latin letters), a
/// vertical unit an eighth of its height, so that layouts keep their proportions at any font
/// size. GUI thread.
inline QRect DialogUnitsToPixels(const QWidget& dialog, int x, int y, int width, int height) {
    const QFontMetricsF metrics(dialog.font());
    const double across = metrics.horizontalAdvance(QStringLiteral(
                              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                          52.0;
    const double down = metrics.height();
    const auto horizontal = [across](int units) {
        return static_cast<int>(std::lround(units * across / 4));
    };
    const auto vertical = [down](int units) {
        return static_cast<int>(std::lround(units * down / 8));
    };
    return QRect(horizontal(x), vertical(y), horizontal(width), vertical(height));
}

}  // namespace vistrel
