#include "AreaResampler.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace vistrel {

namespace {

// The source pixels under one target pixel along one axis, with their coverage weights.
// Coordinates are scaled by (source length x target length) so that every edge falls on an
// integer: source pixel i covers [i*side, (i+1)*side), target pixel t covers [t*len, (t+1)*len).
struct Span {
    int first = 0;                       // first source pixel
    std::vector<std::uint32_t> weights;  // coverage of source pixels first, first+1, ...
};

std::vector<Span> BuildSpans(int sourceLength, int side) {
    std::vector<Span> spans(side);
    const std::int64_t length = sourceLength;
    for (int t = 0; t < side; ++t) {
        const std::int64_t begin = t * length;
        const std::int64_t end = begin + length;
        Span& span = spans[t];
        span.first = static_cast<int>(begin / side);
        for (std::int64_t i = span.first; i * side < end; ++i) {
            const std::int64_t overlap = std::min(end, (i + 1) * side) - std::max(begin, i * side);
            span.weights.push_back(static_cast<std::uint32_t>(overlap));
        }
    }
    return spans;
}

// sum[v] += weight x row[v] for `count` values. The fixed-size blocks are what lets the compiler
// turn the loops into vector instructions at every optimisation level that vectorises at all. A
// weight of at most 257 times a byte fits in 16 bits, and vector units multiply 16-bit values
// far faster than 32-bit ones.
constexpr std::uint32_t kMostNarrowWeight = 0xFFFF / 0xFF;

template <typename Sum>
void AddWeightedRow(Sum* __restrict sum, const std::uint8_t* __restrict row, std::uint32_t weight,
                    std::size_t count) {
    constexpr std::size_t kBlock = 32;
    std::size_t v = 0;
    if (weight <= kMostNarrowWeight) {
        const auto factor = static_cast<std::uint16_t>(weight);
        for (; v + kBlock <= count; v += kBlock) {
            for (std::size_t j = 0; j < kBlock; ++j) {
                sum[v + j] += static_cast<std::uint16_t>(factor * row[v + j]);
            }
        }
    }
    const Sum factor = weight;
    for (; v < count; ++v) {
        sum[v] += factor * row[v];
    }
}

// Division by a fixed divisor of any 32-bit value, as a multiplication: a divide instruction for
// each of the signature's values costs about as much as all the vector work of a small picture.
// With m = floor((2^64 - 1) / d) + 1, floor(n / d) is the high 64 bits of m x n for every 32-bit
// n and every d above 1 (Lemire, Kaser and Kurz, "Faster remainder by direct computation").
class Divider32 {
public:
    explicit Divider32(std::uint32_t divisor)
        : divisor(divisor),
          inverse(divisor > 1 ? std::numeric_limits<std::uint64_t>::max() / divisor + 1 : 0) {}
    std::uint32_t operator()(std::uint32_t value) const {
        if (divisor == 1) {
            return value;
        }
        return static_cast<std::uint32_t>((static_cast<unsigned __int128>(inverse) * value) >> 64);
    }

private:
    std::uint32_t divisor;
    std::uint64_t inverse;
};

// Plain division for sums too wide for Divider32.
struct Divider64 {
    std::uint64_t divisor;
    std::uint64_t operator()(std::uint64_t value) const { return value / divisor; }
};

// Where a pixel's bytes lie in a row: 8-bit RGB, or Qt's 32-bit RGB (0xffRRGGBB as one word, so
// its bytes' order follows the processor's).
struct PixelLayout {
    int bytes = 3;
    int red = 0;
    int green = 1;
    int blue = 2;
};

constexpr PixelLayout kRgb888{3, 0, 1, 2};
constexpr PixelLayout kRgb32 =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? PixelLayout{4, 2, 1, 0} : PixelLayout{4, 1, 2, 3};

// The resampling with sums of type Sum, which must hold 255 x width x height plus half of it.
// One target row at a time: first the weighted sum of its source rows (all the picture's values
// pass through here once, in long runs), then the columns of that sum.
template <typename Sum, typename Divider, PixelLayout layout>
void Resample(const QImage& picture, int side, std::uint8_t* signature) {
    const int width = picture.width();
    const int height = picture.height();
    const std::size_t rowValues = static_cast<std::size_t>(width) * layout.bytes;
    const std::vector<Span> rows = BuildSpans(height, side);
    const std::vector<Span> columns = BuildSpans(width, side);
    // Every target pixel gathers a total weight of width x height; half of it rounds.
    const Sum total = static_cast<Sum>(width) * static_cast<Sum>(height);
    const Sum half = total / 2;
    const Divider divide{total};

    std::vector<Sum> rowSum(rowValues);
    for (int y = 0; y < side; ++y) {
        std::fill(rowSum.begin(), rowSum.end(), Sum{0});
        const Span& rowSpan = rows[y];
        for (std::size_t k = 0; k < rowSpan.weights.size(); ++k) {
            AddWeightedRow(rowSum.data(),
                           picture.constScanLine(rowSpan.first + static_cast<int>(k)),
                           rowSpan.weights[k], rowValues);
        }
        for (int x = 0; x < side; ++x) {
            const Span& columnSpan = columns[x];
            const Sum* pixel =
                rowSum.data() + layout.bytes * static_cast<std::size_t>(columnSpan.first);
            Sum red = 0;
            Sum green = 0;
            Sum blue = 0;
            for (const std::uint32_t weight : columnSpan.weights) {
                red += Sum{weight} * pixel[layout.red];
                green += Sum{weight} * pixel[layout.green];
                blue += Sum{weight} * pixel[layout.blue];
                pixel += layout.bytes;
            }
            std::uint8_t* target = signature + 3 * (static_cast<std::size_t>(x) * side + y);
            target[0] = static_cast<std::uint8_t>(divide(red + half));
            target[1] = static_cast<std::uint8_t>(divide(green + half));
            target[2] = static_cast<std::uint8_t>(divide(blue + half));
        }
    }
}

}  // namespace

std::vector<std::uint8_t> ResampleToSignature(const QImage& picture, int side) {
    const bool rgb888 = picture.format() == QImage::Format_RGB888;
    if (picture.isNull() || side <= 0 || (!rgb888 && picture.format() != QImage::Format_RGB32)) {
        return {};
    }
    std::vector<std::uint8_t> signature(static_cast<std::size_t>(side) * side * 3);
    // Pictures of up to 16 million pixels, all but the largest, are summed in 32 bits, which
    // takes twice as many values into each vector instruction as 64 bits.
    const std::uint64_t total = static_cast<std::uint64_t>(picture.width()) * picture.height();
    const bool narrow = 256 * total <= std::numeric_limits<std::uint32_t>::max();
    if (narrow && rgb888) {
        Resample<std::uint32_t, Divider32, kRgb888>(picture, side, signature.data());
    } else if (narrow) {
        Resample<std::uint32_t, Divider32, kRgb32>(picture, side, signature.data());
    } else if (rgb888) {
        Resample<std::uint64_t, Divider64, kRgb888>(picture, side, signature.data());
    } else {
        Resample<std::uint64_t, Divider64, kRgb32>(picture, side, signature.data());
    }
    return signature;
}

}  // namespace vistrel
