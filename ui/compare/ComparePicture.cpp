#include "ComparePicture.h"

#include "decoding/DecodeBudget.h"
#include "decoding/PictureDecoder.h"
#include "decoding/PictureProblem.h"

#include <QTransform>

#include <algorithm>
#include <cstdlib>

namespace vistrel {

namespace {

// The picture as it lies in `orientation`: mirrored left to right first, then turned clockwise,
// as the signatures are.
QImage Oriented(const QImage& picture, Orientation orientation) {
    const auto step = static_cast<int>(orientation);
    const QImage mirrored =
        step >= 4 ? picture.mirrored(/*horizontally=*/true, /*vertically=*/false) : picture;
    const int quarterTurns = step % 4;
    return quarterTurns == 0 ? mirrored
                             : mirrored.transformed(QTransform().rotate(90 * quarterTurns));
}

// Halving stops here: a copy this small draws quickly at any size the window offers.
constexpr int kSmallestSide = 512;

// Differences of up to this much in a channel are noise of compression or resampling and stay
// clear; the heat is full from kFullHeat on.
constexpr int kNoiseLevel = 8;
constexpr int kFullHeat = 96;

// The heat of a difference: yellow for a small one, red for a large one, more opaque as it grows.
QRgb Heat(int difference, int grey) {
    // The first picture, dimmed, so that the heat stands out against it.
    const int dimmed = 40 + grey / 4;
    if (difference <= kNoiseLevel) {
        return qRgb(dimmed, dimmed, dimmed);
    }
    const int strength = std::min(difference - kNoiseLevel, kFullHeat - kNoiseLevel);
    const int span = kFullHeat - kNoiseLevel;
    const int alpha = 96 + 159 * strength / span;
    const int green = 255 - 255 * strength / span;
    const auto blend = [alpha, dimmed](int colour) {
        return (colour * alpha + dimmed * (255 - alpha)) / 255;
    };
    return qRgb(blend(255), blend(green), blend(0));
}

// The compare window's decodings share one budget, the signature pipeline's default: two large
// pictures and their difference map are made one after the other rather than all at once.
DecodeBudget& CompareDecodeBudget() {
    static DecodeBudget budget(std::int64_t{512} << 20);
    return budget;
}

}  // namespace

PictureLevels::PictureLevels(const QImage& full) {
    if (full.isNull()) {
        return;
    }
    levels.push_back(full);
    while (std::max(levels.back().width(), levels.back().height()) > 2 * kSmallestSide) {
        const QImage& last = levels.back();
        levels.push_back(last.scaled(std::max(1, last.width() / 2), std::max(1, last.height() / 2),
                                     Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
}

const QImage& PictureLevels::ForScale(double scale) const {
    const double wanted = scale * levels.front().width();
    std::size_t best = 0;
    for (std::size_t i = 1; i < levels.size() && levels[i].width() >= wanted; ++i) {
        best = i;
    }
    return levels[best];
}

LoadedPicture LoadComparePicture(const QString& path, Orientation orientation) {
    LoadedPicture loaded;
    loaded.path = path;
    loaded.orientation = orientation;
    {
        // Held while the turned copy and the smaller ones are made: they take less than decoding.
        const DecodeBudget::Share share =
            CompareDecodeBudget().Reserve(EstimateDecodeBytes(path, DecodeOptions{0}));
        const QImage picture = DecodePicture(path, DecodeOptions{0});
        if (!picture.isNull()) {
            loaded.picture = PictureLevels(Oriented(picture, orientation));
            return loaded;
        }
    }
    // The decoder says only that it failed; a look at the file tells the user what is most
    // likely.
    loaded.error =
        PictureProblemText(DiagnoseUnreadablePicture(path, DecodeOptions{0})) + QLatin1Char('.');
    return loaded;
}

PictureLevels MakeDifferenceMap(const QImage& first, const QImage& second) {
    if (first.isNull() || second.isNull()) {
        return {};
    }
    // Each pixel of the first takes an RGB copy, the second scaled onto it (32 bits, then RGB),
    // the map and its smaller copies; each of the second a 32-bit copy to scale from.
    const DecodeBudget::Share share = CompareDecodeBudget().Reserve(
        std::int64_t{first.width()} * first.height() * (3 + 4 + 3 + 4 + 2) +
        std::int64_t{second.width()} * second.height() * 4);
    const QImage base = first.convertToFormat(QImage::Format_RGB888);
    const QImage other =
        second.size() == base.size()
            ? second.convertToFormat(QImage::Format_RGB888)
            : second.scaled(base.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_RGB888);
    QImage map(base.size(), QImage::Format_RGB32);
    for (int y = 0; y < base.height(); ++y) {
        const uchar* a = base.constScanLine(y);
        const uchar* b = other.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(map.scanLine(y));
        for (int x = 0; x < base.width(); ++x, a += 3, b += 3) {
            const int difference =
                std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
            const int grey = (a[0] * 11 + a[1] * 16 + a[2] * 5) / 32;
            out[x] = Heat(difference, grey);
        }
    }
    return PictureLevels(map);
}

}  // namespace vistrel
