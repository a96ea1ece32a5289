#include "PictureDetail.h"

#include "decoding/PictureDecoder.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace vistrel {

namespace {

// A crop of a few hundred pixels holds enough detail to tell, at a cost that does not grow
// with the picture.
constexpr int kLargestCrop = 512;
constexpr int kSmallestCrop = 64;
// Below this mean power per ring (grey levels squared, windowed) the crop holds no detail at
// all: a blank page says nothing about enlargement. A flat sky's 8-bit steps alone measure
// above it, and look like a picture taken at its size, so that more pixels win.
constexpr double kLeastPower = 1e-6;
// The measured share of the expected fine detail under which the larger picture is taken for an
// enlargement. Photographs scaled down from larger ones (so holding all the detail their size
// allows) and their enlargements by 2 per side, made with Qt's smooth scaling and saved as JPEG
// at quality 75 to 90 or not at all: the photographs measure 0.16 to 1.0, the enlargements 0.04
// to 0.15 (noisy scans more). A photograph taken for an enlargement loses detail, the reverse
// only keeps the larger file, so the line sits near the photographs' lowest.
constexpr double kEnlargedShare = 0.12;
// Above this scale the two bands overlap what interpolation leaves: soft photographs and
// enlargements by 1.5 per side measure alike (0.08 and 0.13 to 0.19), so no verdict is given.
constexpr double kLargestScale = 0.55;

// An enlargement by interpolation holds, just above the smaller picture's highest frequency, a
// weakened mirror of the detail just below it; the measure starts this far above it.
constexpr double kSkipAbove = 1.2;

using Complex = std::complex<double>;

// In-place radix-2 FFT of `data` (its size a power of two), every `stride`-th element from
// `first`.
void Fft(std::vector<Complex>& data, std::size_t first, std::size_t stride, std::size_t count) {
    for (std::size_t i = 1, j = 0; i < count; ++i) {
        std::size_t bit = count >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(data[first + i * stride], data[first + j * stride]);
        }
    }
    for (std::size_t length = 2; length <= count; length <<= 1) {
        const double angle = -2 * std::numbers::pi / static_cast<double>(length);
        const Complex unit(std::cos(angle), std::sin(angle));
        for (std::size_t start = 0; start < count; start += length) {
            Complex w(1);
            for (std::size_t k = 0; k < length / 2; ++k) {
                Complex& a = data[first + (start + k) * stride];
                Complex& b = data[first + (start + k + length / 2) * stride];
                const Complex t = b * w;
                b = a - t;
                a += t;
                w *= unit;
            }
        }
    }
}

int CropSide(int side) {
    int crop = kSmallestCrop;
    while (crop * 2 <= std::min(side, kLargestCrop)) {
        crop *= 2;
    }
    return crop;
}

double RingPower(const DetailProfile& profile, double from, double to) {
    double sum = 0;
    for (int ring = 0; ring < DetailProfile::kRings; ++ring) {
        // A ring counts when its middle lies in the band.
        const double middle = (ring + 0.5) / DetailProfile::kRings;
        if (middle > from && middle <= to) {
            sum += profile.power[static_cast<std::size_t>(ring)];
        }
    }
    return sum;
}

}  // namespace

std::optional<DetailProfile> MeasureDetail(const QImage& image) {
    if (image.isNull() || image.width() < kSmallestCrop || image.height() < kSmallestCrop) {
        return std::nullopt;
    }
    const int side = CropSide(std::min(image.width(), image.height()));
    const QImage crop =
        image.copy((image.width() - side) / 2, (image.height() - side) / 2, side, side)
            .convertToFormat(QImage::Format_Grayscale8);
    const auto count = static_cast<std::size_t>(side);
    // A Hann window: the crop's cut edges would otherwise spread power over every frequency.
    std::vector<double> window(count);
    for (std::size_t i = 0; i < count; ++i) {
        window[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                         static_cast<double>(count));
    }
    double mean = 0;
    for (int y = 0; y < side; ++y) {
        const uchar* row = crop.constScanLine(y);
        for (int x = 0; x < side; ++x) {
            mean += row[x];
        }
    }
    mean /= static_cast<double>(count * count);
    std::vector<Complex> data(count * count);
    for (std::size_t y = 0; y < count; ++y) {
        const uchar* row = crop.constScanLine(static_cast<int>(y));
        for (std::size_t x = 0; x < count; ++x) {
            data[y * count + x] = (row[x] - mean) * window[x] * window[y];
        }
    }
    for (std::size_t y = 0; y < count; ++y) {
        Fft(data, y * count, 1, count);
    }
    for (std::size_t x = 0; x < count; ++x) {
        Fft(data, x, count, count);
    }
    DetailProfile profile;
    const double nyquist = static_cast<double>(count) / 2;
    const double norm = 1.0 / static_cast<double>(count * count * count * count);
    for (std::size_t y = 0; y < count; ++y) {
        const double fy = y < count / 2 ? double(y) : double(y) - double(count);
        for (std::size_t x = 0; x < count; ++x) {
            const double fx = x < count / 2 ? double(x) : double(x) - double(count);
            const double radius = std::sqrt(fx * fx + fy * fy) / nyquist;
            // The corners beyond the axes' highest frequency are left out: a picture turned or
            // scaled differently fills them differently.
            if (radius >= 1) {
                continue;
            }
            const auto ring = static_cast<std::size_t>(radius * DetailProfile::kRings);
            profile.power[ring] += std::norm(data[y * count + x]) * norm;
        }
    }
    if (RingPower(profile, 0.25, 1) / (0.75 * DetailProfile::kRings) < kLeastPower) {
        return std::nullopt;
    }
    return profile;
}

std::optional<DetailProfile> ReadPictureDetail(const QString& path) {
    return MeasureDetail(DecodePicture(path, DecodeOptions{.minScaledSide = 0}));
}

double FineDetailShare(const DetailProfile& larger, double scale) {
    const double from = scale * kSkipAbove;
    const double octave = RingPower(larger, scale / 2, scale);
    if (from >= 1 || octave <= 0) {
        return 1.0;
    }
    // A photograph's power falls about as 1 / frequency: the same in every octave.
    const double expected = std::log2(1 / from);
    return RingPower(larger, from, 1) / octave / expected;
}

bool LooksEnlarged(const DetailProfile& larger, double scale) {
    return scale > 0 && scale <= kLargestScale && FineDetailShare(larger, scale) < kEnlargedShare;
}

}  // namespace vistrel
