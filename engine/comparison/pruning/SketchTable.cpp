#include "SketchTable.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vistrel {

namespace {

constexpr int kGrid = SignatureSketch::kGrid;
constexpr int kBlocks = SignatureSketch::kBlocks;

}  // namespace

SketchTable::SketchTable(const std::vector<SignatureBytes>& signatures, std::int32_t side)
    : pixels(static_cast<std::int64_t>(side) * side),
      sketches(signatures.size(), nullptr),
      owners(signatures),
      inverseBlockPixels(kBlocks, 0.0) {
    for (int gx = 0; gx < kGrid; ++gx) {
        for (int gy = 0; gy < kGrid; ++gy) {
            const int count =
                (SignatureSketch::BlockStart(gx + 1, side) -
                 SignatureSketch::BlockStart(gx, side)) *
                (SignatureSketch::BlockStart(gy + 1, side) - SignatureSketch::BlockStart(gy, side));
            inverseBlockPixels[static_cast<std::size_t>(gx * kGrid + gy)] =
                count > 0 ? 1.0 / count : 0.0;
        }
    }
    blocksAlike = side % kGrid == 0;
    const int half = SignatureSketch::BlockStart(kGrid / 2, side);
    for (int q = 0; q < 4; ++q) {
        const int columns = q < 2 ? half : side - half;
        const int rows = q % 2 == 0 ? half : side - half;
        inverseQuarterPixels[q] = columns * rows > 0 ? 1.0 / (columns * rows) : 0.0;
    }
    totals.resize(owners.size(), Totals{});
    keys.resize(owners.size(), 0);
    for (std::size_t i = 0; i < owners.size(); ++i) {
        if (owners[i].empty()) {
            continue;
        }
        const SignatureSketch& sketch = owners[i].Sketch();
        sketches[i] = &sketch;
        keys[i] = sketch.key;
        totals[i] = TotalsOf(sketch);
    }
    const bool quartersAlike = side % kGrid == 0 && 2 * half == side;
    if (quartersAlike) {
        sortedQuarters.resize(owners.size(), SortedQuarters{});
        for (std::size_t i = 0; i < owners.size(); ++i) {
            SortedQuarters& sorted = sortedQuarters[i];
            for (int q = 0; q < 4; ++q) {
                const auto& quarter = totals[i].quarter[q];
                for (int k = 0; k < 3; ++k) {
                    sorted.channel[k][q] = quarter[k];
                }
                sorted.shape[q] = quarter[0] + quarter[1] + quarter[2];
            }
            for (auto& channel : sorted.channel) {
                std::sort(std::begin(channel), std::end(channel));
            }
            std::sort(std::begin(sorted.shape), std::end(sorted.shape));
        }
    }
}

SketchTable::Totals SketchTable::TotalsOf(const SignatureSketch& sketch) {
    Totals t{};
    for (int k = 0; k < 3; ++k) {
        t.channel[k] = sketch.channelTotals[static_cast<std::size_t>(k)];
    }
    for (int q = 0; q < 4; ++q) {
        for (int k = 0; k < 3; ++k) {
            t.quarter[q][k] = sketch.quarterTotals[static_cast<std::size_t>(3 * q + k)];
        }
    }
    return t;
}

double SketchTable::MeanBound(std::size_t a, std::size_t b, bool shapeOnly) const {
    const Totals& sa = totals[a];
    const Totals& sb = totals[b];
    const double n = static_cast<double>(pixels);
    if (shapeOnly) {
        // The RMS of the per-pixel total differences is at least their mean.
        return std::abs(static_cast<double>(keys[a] - keys[b])) / (3.0 * n);
    }
    double bound = 0.0;
    for (std::size_t k = 0; k < 3; ++k) {
        bound += std::abs(static_cast<double>(sa.channel[k] - sb.channel[k])) / n;
    }
    return bound / 3.0;
}

double SketchTable::QuarterBound(const Totals& ta, const Totals& tb, bool shapeOnly) const {
    const double n = static_cast<double>(pixels);
    double sums[3] = {0.0, 0.0, 0.0};
    for (int q = 0; q < 4; ++q) {
        if (shapeOnly) {
            const double d =
                static_cast<double>((ta.quarter[q][0] + ta.quarter[q][1] + ta.quarter[q][2]) -
                                    (tb.quarter[q][0] + tb.quarter[q][1] + tb.quarter[q][2]));
            sums[0] += d * d * inverseQuarterPixels[q];
        } else {
            for (int k = 0; k < 3; ++k) {
                const double d = static_cast<double>(ta.quarter[q][k] - tb.quarter[q][k]);
                sums[k] += d * d * inverseQuarterPixels[q];
            }
        }
    }
    return shapeOnly
               ? std::sqrt(sums[0] / 9.0 / n)
               : (std::sqrt(sums[0] / n) + std::sqrt(sums[1] / n) + std::sqrt(sums[2] / n)) / 3.0;
}

double SketchTable::TurnedQuarterBound(std::size_t a, std::size_t b, bool shapeOnly) const {
    if (sortedQuarters.empty()) {
        return 0.0;
    }
    const SortedQuarters& sa = sortedQuarters[a];
    const SortedQuarters& sb = sortedQuarters[b];
    // Exact integer sums: the quarters are alike in size, so one weight serves them all.
    const auto squares = [](const std::int32_t* x, const std::int32_t* y) {
        std::int64_t sum = 0;
        for (int q = 0; q < 4; ++q) {
            const std::int64_t d = x[q] - y[q];
            sum += d * d;
        }
        return static_cast<double>(sum);
    };
    const double n = static_cast<double>(pixels);
    const double weight = inverseQuarterPixels[0];
    if (shapeOnly) {
        return std::sqrt(squares(sa.shape, sb.shape) * weight / 9.0 / n);
    }
    return (std::sqrt(squares(sa.channel[0], sb.channel[0]) * weight / n) +
            std::sqrt(squares(sa.channel[1], sb.channel[1]) * weight / n) +
            std::sqrt(squares(sa.channel[2], sb.channel[2]) * weight / n)) /
           3.0;
}

void SketchTable::BlockColumnShares(const SignatureSketch& a, const SignatureSketch& b,
                                    bool shapeOnly, ColumnShares& shares) const {
    for (int gx = 0; gx < kGrid; ++gx) {
        BlockColumnShare(a, b, gx, shapeOnly, shares[gx]);
    }
}

void SketchTable::BlockColumnShare(const SignatureSketch& a, const SignatureSketch& b, int gx,
                                   bool shapeOnly, double share[3]) const {
    const std::uint16_t* pa = a.blockTotals.data() + 3 * kGrid * gx;
    const std::uint16_t* pb = b.blockTotals.data() + 3 * kGrid * gx;
    if (blocksAlike) {
        // One weight for every block: the squares are summed as exact integers, and weighed
        // once.
        const double weight = inverseBlockPixels[0];
        if (shapeOnly) {
            std::int64_t sum = 0;
            for (int gy = 0; gy < kGrid; ++gy, pa += 3, pb += 3) {
                const std::int64_t d = (pa[0] + pa[1] + pa[2]) - (pb[0] + pb[1] + pb[2]);
                sum += d * d;
            }
            share[0] = static_cast<double>(sum) * weight / 9.0;
            share[1] = 0.0;
            share[2] = 0.0;
            return;
        }
        std::int64_t sums[3] = {0, 0, 0};
        for (int gy = 0; gy < kGrid; ++gy, pa += 3, pb += 3) {
            for (int k = 0; k < 3; ++k) {
                const std::int64_t d = pa[k] - pb[k];
                sums[k] += d * d;
            }
        }
        for (int k = 0; k < 3; ++k) {
            share[k] = static_cast<double>(sums[k]) * weight;
        }
        return;
    }
    double sums[3] = {0.0, 0.0, 0.0};
    for (int gy = 0; gy < kGrid; ++gy, pa += 3, pb += 3) {
        const double weight = inverseBlockPixels[static_cast<std::size_t>(gx * kGrid + gy)];
        if (shapeOnly) {
            const double d = static_cast<double>((pa[0] + pa[1] + pa[2]) - (pb[0] + pb[1] + pb[2]));
            sums[0] += d * d * weight / 9.0;
        } else {
            for (int k = 0; k < 3; ++k) {
                const double d = static_cast<double>(pa[k] - pb[k]);
                sums[k] += d * d * weight;
            }
        }
    }
    for (int k = 0; k < 3; ++k) {
        share[k] = sums[k];
    }
}

}  // namespace vistrel
