#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

#include <optional>

namespace vistrel {

/// The part of a picture that tells whether a larger copy of it holds more detail: its grey
/// centre square at the resolution decoded (at most 512 pixels on a side) and the size decoded.
struct DetailCrop {
    QImage grey;
    QPoint origin;  ///< where the crop lies in the picture
    QSize size;
};

/// The crop of an image (any format); nothing when it is null or under 64 pixels on a side.
/// Any thread.
std::optional<DetailCrop> MakeDetailCrop(const QImage& image);

/// Decodes `path` and takes its crop: at full size, or for a JPEG at the largest DCT reduction
/// that keeps both sides at `leastSide` pixels or more (the crop's size is then the reduced
/// one); nothing when it cannot be decoded. Any thread but the GUI thread.
std::optional<DetailCrop> ReadDetailCrop(const QString& path, int leastSide = 0);

/// How much finer detail `larger` holds than an enlargement of `smaller` (the same scene, fewer
/// pixels) would: the power of the larger picture's centre above 1.2 times the smaller's highest
/// frequency, over the power an enlargement of the smaller's centre by Qt's smooth scaling has
/// there. An enlargement by interpolation measures about 1 (bilinear; sharper methods less); a
/// picture taken or scaled down at its size holds real detail there where an enlargement holds
/// only a weak mirror of the detail below, and measures 2 to 100 (median 23 on photographs).
/// Nothing when the sizes leave no such band (the smaller over 0.8 times as wide) or either
/// centre holds no detail. Any thread.
std::optional<double> DetailBeyond(const DetailCrop& larger, const DetailCrop& smaller);

/// True when `larger` holds no detail beyond what `smaller` holds: an enlargement of it
/// (DetailBeyond under 1.8). Only for an enlargement by 1.8 or more per side: below, soft
/// photographs and enlargements measure alike, and more pixels are kept. Any thread.
bool LooksEnlarged(const DetailCrop& larger, const DetailCrop& smaller);

}  // namespace vistrel
