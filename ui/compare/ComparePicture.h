#pragma once

#include "comparison/kernels/Orientation.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <vector>

namespace vistrel {

/// A picture as the compare window draws it: the full picture and copies of half, a quarter...
/// its size, so that drawing it small is quick and smooth at any zoom. Immutable once made;
/// copies share the pixels.
class PictureLevels {
public:
    PictureLevels() = default;
    /// Makes the smaller copies of `full`. Any thread; takes a while on large pictures.
    explicit PictureLevels(const QImage& full);

    bool IsNull() const { return levels.empty(); }
    const QImage& Full() const { return levels.front(); }
    QSize FullSize() const { return IsNull() ? QSize() : levels.front().size(); }
    /// The smallest copy that still has at least `scale` x the full width in pixels, so that
    /// drawing it at that scale loses nothing.
    const QImage& ForScale(double scale) const;

private:
    std::vector<QImage> levels;
};

/// One side of the compare window once its file was read: the picture, or why there is none.
struct LoadedPicture {
    QString path;
    /// How the picture was turned for showing (Orientation::None: as stored).
    Orientation orientation = Orientation::None;
    PictureLevels picture;
    /// Why the picture cannot be shown; empty when it can.
    QString error;
};

/// Decodes `path` at full size for the compare window, turned into `orientation` (that of a
/// turned or mirrored copy, so that it lies as the picture it is compared with). Any thread.
LoadedPicture LoadComparePicture(const QString& path, Orientation orientation = Orientation::None);

/// Where two pictures differ: `second` scaled onto the size of `first`, the difference of each
/// pixel (its largest channel difference) as a heat map from clear through yellow to red, over a
/// dimmed grey copy of `first`. Any thread.
PictureLevels MakeDifferenceMap(const QImage& first, const QImage& second);

}  // namespace vistrel
