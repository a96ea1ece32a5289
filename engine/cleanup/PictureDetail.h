#pragma once

#include <QImage>
#include <QString>

#include <array>
#include <optional>

namespace vistrel {

/// How a picture's fine detail spreads over spatial frequencies, to tell an enlargement from a
/// picture taken at its size: the power spectrum of a windowed grey centre crop, summed in rings
/// of equal width from 0 to the crop's highest frequency (its Nyquist frequency, along an axis).
struct DetailProfile {
    static constexpr int kRings = 64;
    std::array<double, kRings> power{};
};

/// The profile of an image (any format); nothing when it is null, smaller than 64 pixels on a
/// side, or has next to no detail (a flat crop tells nothing). Any thread.
std::optional<DetailProfile> MeasureDetail(const QImage& image);

/// Decodes `path` at full size and measures it; nothing when it cannot be decoded. Any thread.
std::optional<DetailProfile> ReadPictureDetail(const QString& path);

/// The power the picture holds from 1.2 times `scale` times its highest frequency up (0 < scale
/// < 1), over the power in the octave below `scale`, over what a photograph whose power falls
/// as 1 / frequency holds there: the detail a picture `scale` times as wide could not hold,
/// against the detail it could, 1 for a typical photograph. The band just above `scale` is left
/// out: interpolation mirrors detail into it. Photographs measure 0.16 to 1 at scale 0.5, their
/// enlargements 0.04 to 0.15. Any thread.
double FineDetailShare(const DetailProfile& larger, double scale);

/// True when the picture measured by `larger` holds no detail beyond what a picture `scale`
/// times as wide holds: an enlargement of it. Never for a scale above 0.55 (an enlargement by
/// less than 1.8 per side), where soft photographs and enlargements measure alike. Any thread.
bool LooksEnlarged(const DetailProfile& larger, double scale);

}  // namespace vistrel
