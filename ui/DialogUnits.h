#pragma once

#include <QRect>
#include <QWidget>

namespace vistrel {

/// Turns dialog units (a quarter of the dialog font's average character width across, an eighth
/// of its height down) into pixels of `dialog`, so that layouts keep their proportions at any
/// font size. GUI thread.
inline QRect DialogUnitsToPixels(const QWidget& dialog, int x, int y, int width, int height) {
    const QFontMetrics metrics = dialog.fontMetrics();
    const int across = metrics.averageCharWidth();
    const int down = metrics.height();
    return QRect(x * across / 4, y * down / 8, width * across / 4, height * down / 8);
}

}  // namespace vistrel
