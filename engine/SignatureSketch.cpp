#include "SignatureSketch.h"

#include <cmath>
#include <cstdlib>

namespace vistrel {

namespace {

constexpr int kBlocks = SketchTable::kGrid * SketchTable::kGrid;

// The first row or column of block g along a side of `side` pixels.
int BlockStart(int g, int side) {
    return g * side / SketchTable::kGrid;
}

}  // namespace

SketchTable::SketchTable(const std::vector<SignatureBytes>& signatures, std::int32_t side)
    : pixels(static_cast<std::int64_t>(side) * side),
      keys(signatures.size(), 0),
      channelTotals(3 * signatures.size(), 0),
      blockTotals(static_cast<std::size_t>(3 * kBlocks) * signatures.size(), 0),
      inverseBlockPixels(kBlocks, 0.0) {
    // Which block each pixel row (and column) falls in.
    std::vector<int> blockOf(static_cast<std::size_t>(side));
    for (int g = 0; g < kGrid; ++g) {
        for (int at = BlockStart(g, side); at < BlockStart(g + 1, side); ++at) {
            blockOf[static_cast<std::size_t>(at)] = g;
        }
    }
    for (int gx = 0; gx < kGrid; ++gx) {
        for (int gy = 0; gy < kGrid; ++gy) {
            const int count = (BlockStart(gx + 1, side) - BlockStart(gx, side)) *
                              (BlockStart(gy + 1, side) - BlockStart(gy, side));
            inverseBlockPixels[static_cast<std::size_t>(gx * kGrid + gy)] =
                count > 0 ? 1.0 / count : 0.0;
        }
    }
    for (std::size_t i = 0; i < signatures.size(); ++i) {
        const std::uint8_t* bytes = signatures[i].data();
        if (bytes == nullptr) {
            continue;
        }
        std::int32_t* blocks = &blockTotals[static_cast<std::size_t>(3 * kBlocks) * i];
        std::int32_t* totals = &channelTotals[3 * i];
        // Column by column, as the signature is laid out.
        for (int x = 0; x < side; ++x) {
            const int gx = blockOf[static_cast<std::size_t>(x)];
            for (int y = 0; y < side; ++y) {
                std::int32_t* block =
                    blocks + 3 * (gx * kGrid + blockOf[static_cast<std::size_t>(y)]);
                const std::uint8_t* pixel = bytes + 3 * (static_cast<std::size_t>(x) * side + y);
                for (int k = 0; k < 3; ++k) {
                    block[k] += pixel[k];
                    totals[k] += pixel[k];
                }
            }
        }
        keys[i] = static_cast<std::int64_t>(totals[0]) + totals[1] + totals[2];
    }
}

double SketchTable::MeanBound(std::size_t a, std::size_t b, bool shapeOnly) const {
    const std::int32_t* ta = ChannelTotals(a);
    const std::int32_t* tb = ChannelTotals(b);
    const double n = static_cast<double>(pixels);
    if (shapeOnly) {
        // The RMS of the per-pixel total differences is at least their mean.
        return std::abs(static_cast<double>(keys[a] - keys[b])) / (3.0 * n);
    }
    double bound = 0.0;
    for (int k = 0; k < 3; ++k) {
        bound += std::abs(static_cast<double>(ta[k] - tb[k])) / n;
    }
    return bound / 3.0;
}

double SketchTable::BlockBound(std::size_t a, std::size_t b, bool shapeOnly) const {
    const std::int32_t* ba = BlockTotals(a);
    const std::int32_t* bb = BlockTotals(b);
    const double n = static_cast<double>(pixels);
    if (shapeOnly) {
        double sum = 0.0;
        for (int block = 0; block < kBlocks; ++block) {
            const double d =
                static_cast<double>((ba[3 * block] + ba[3 * block + 1] + ba[3 * block + 2]) -
                                    (bb[3 * block] + bb[3 * block + 1] + bb[3 * block + 2]));
            sum += d * d * inverseBlockPixels[static_cast<std::size_t>(block)];
        }
        return std::sqrt(sum / 9.0 / n);
    }
    double sums[3] = {0.0, 0.0, 0.0};
    for (int block = 0; block < kBlocks; ++block) {
        const double weight = inverseBlockPixels[static_cast<std::size_t>(block)];
        for (int k = 0; k < 3; ++k) {
            const double d = static_cast<double>(ba[3 * block + k] - bb[3 * block + k]);
            sums[k] += d * d * weight;
        }
    }
    return (std::sqrt(sums[0] / n) + std::sqrt(sums[1] / n) + std::sqrt(sums[2] / n)) / 3.0;
}

}  // namespace vistrel
