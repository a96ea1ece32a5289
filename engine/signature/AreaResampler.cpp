#include "AreaResampler.h"

#include <algorithm>

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

}  // namespace

std::vector<std::uint8_t> ResampleToSignature(const QImage& rgb888, int side) {
    if (rgb888.isNull() || side <= 0 || rgb888.format() != QImage::Format_RGB888) {
        return {};
    }
    const int width = rgb888.width();
    const int height = rgb888.height();
    const std::size_t rowValues = static_cast<std::size_t>(width) * 3;
    const std::vector<Span> rows = BuildSpans(height, side);
    const std::vector<Span> columns = BuildSpans(width, side);
    // Every target pixel gathers a total weight of width x height; half of it rounds.
    const std::uint64_t total = static_cast<std::uint64_t>(width) * height;

    std::vector<std::uint8_t> signature(static_cast<std::size_t>(side) * side * 3);
    // One target row at a time: first the weighted sum of its source rows (at most
    // 255 x height per value, so 32 bits hold it), then the columns of that sum.
    std::vector<std::uint32_t> rowSum(rowValues);
    for (int y = 0; y < side; ++y) {
        std::fill(rowSum.begin(), rowSum.end(), 0u);
        const Span& rowSpan = rows[y];
        for (std::size_t k = 0; k < rowSpan.weights.size(); ++k) {
            const std::uint32_t weight = rowSpan.weights[k];
            const std::uint8_t* source = rgb888.constScanLine(rowSpan.first + static_cast<int>(k));
            for (std::size_t v = 0; v < rowValues; ++v) {
                rowSum[v] += weight * source[v];
            }
        }
        for (int x = 0; x < side; ++x) {
            const Span& columnSpan = columns[x];
            std::uint64_t sum[3] = {0, 0, 0};
            for (std::size_t k = 0; k < columnSpan.weights.size(); ++k) {
                const std::uint32_t* pixel =
                    rowSum.data() + 3 * (static_cast<std::size_t>(columnSpan.first) + k);
                for (int c = 0; c < 3; ++c) {
                    sum[c] += static_cast<std::uint64_t>(columnSpan.weights[k]) * pixel[c];
                }
            }
            std::uint8_t* target = signature.data() + 3 * (static_cast<std::size_t>(x) * side + y);
            for (int c = 0; c < 3; ++c) {
                target[c] = static_cast<std::uint8_t>((sum[c] + total / 2) / total);
            }
        }
    }
    return signature;
}

}  // namespace vistrel
