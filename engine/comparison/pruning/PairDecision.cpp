#include "PairDecision.h"

#include "comparison/kernels/DifferenceFactor.h"
#include "comparison/kernels/DifferenceKernel.h"

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {

// The float rounding of the exact factor moves it by far less than this, relative and absolute.
constexpr double kMargin = 1e-5;

}  // namespace

PairDecision::PairDecision(const SketchTable& sketchTable, std::int32_t sideLength,
                           float thresholdPercent, bool shapeOnlyMode)
    : sketches(sketchTable),
      kernel(ActiveKernel()),
      side(sideLength),
      threshold(thresholdPercent),
      shapeOnly(shapeOnlyMode) {
    rejectAbove = RejectAbove(thresholdPercent);
}

double PairDecision::RejectAbove(float thresholdPercent) {
    // Similar means factor x 100 / 256 below the threshold. The stored threshold may be any
    // float: at 0 or below, or NaN, no factor is similar (IsSimilarFactor is false for every
    // one), so only the rounding margin is left; infinity gives infinity.
    const double percent = static_cast<double>(thresholdPercent);
    const double limit = percent > 0.0 ? percent * 256.0 / 100.0 : 0.0;
    return limit * (1.0 + kMargin) + kMargin;
}

std::int64_t PairDecision::KeyWindow(float thresholdPercent, std::int64_t pixels) {
    // Both modes bound the factor by |key difference| / (3 x pixels); the normal mode also by
    // the mean of the channels' |total differences| / pixels, so no one channel's total can
    // differ by more than this either.
    const double window =
        std::ceil(RejectAbove(thresholdPercent) * 3.0 * static_cast<double>(pixels));
    // No two keys (nor channel totals) are further apart than 255 x 3 x pixels: a wider window
    // finds nothing more, and capping it keeps a huge or infinite threshold in range.
    const double widest = 255.0 * 3.0 * static_cast<double>(pixels);
    return static_cast<std::int64_t>(std::min(window, widest)) + 1;
}

double PairDecision::Bound(const double squares[3]) const {
    const double n = static_cast<double>(sketches.Pixels());
    if (shapeOnly) {
        return std::sqrt(std::max(0.0, squares[0]) / n);
    }
    return (std::sqrt(std::max(0.0, squares[0]) / n) + std::sqrt(std::max(0.0, squares[1]) / n) +
            std::sqrt(std::max(0.0, squares[2]) / n)) /
           3.0;
}

bool PairDecision::PassesSketchBounds(std::size_t ia, std::size_t ib) const {
    return sketches.MeanBound(ia, ib, shapeOnly) <= rejectAbove &&
           sketches.QuarterBound(ia, ib, shapeOnly) <= rejectAbove;
}

bool PairDecision::IsSimilar(const std::uint8_t* a, const std::uint8_t* b, std::size_t ia,
                             std::size_t ib, float& factor) const {
    if (!PassesSketchBounds(ia, ib)) {
        return false;
    }
    SketchTable::ColumnShares shares;
    return BlockSharesWithin(sketches.SketchAt(ia), ib, shares, rejectAbove) &&
           IsSimilarBySums(a, b, shares, rejectAbove, factor);
}

double PairDecision::RejectAboveFactor(float factor) {
    return static_cast<double>(factor) * (1.0 + kMargin) + kMargin;
}

bool PairDecision::BlockSharesWithin(const SignatureSketch& sketchA, std::size_t ib,
                                     SketchTable::ColumnShares& shares, double rejectBound) const {
    // Every column's shares only add to the bound: most pairs that the quarters let through
    // are ruled out after a few columns.
    const SignatureSketch& sketchB = sketches.SketchAt(ib);
    double sums[3] = {0.0, 0.0, 0.0};
    for (int gx = 0; gx < SignatureSketch::kGrid; ++gx) {
        sketches.BlockColumnShare(sketchA, sketchB, gx, shapeOnly, shares[gx]);
        for (int k = 0; k < 3; ++k) {
            sums[k] += shares[gx][k];
        }
        if (Bound(sums) > rejectBound) {
            return false;
        }
    }
    return true;
}

bool PairDecision::IsSimilarBySums(const std::uint8_t* a, const std::uint8_t* b,
                                   const SketchTable::ColumnShares& shares, double rejectBound,
                                   float& factor) const {
    // The exact sums are taken one column of blocks at a time. After each, the exact part so
    // far plus the block shares of the columns still to come bound the factor from below, so
    // a pair that is not similar usually ends after a column or two.
    double remaining[3] = {0.0, 0.0, 0.0};
    for (const auto& column : shares) {
        for (int k = 0; k < 3; ++k) {
            remaining[k] += column[k];
        }
    }
    if (Bound(remaining) > rejectBound) {
        return false;
    }
    std::int64_t sums[3] = {0, 0, 0};
    std::int64_t shapeSum = 0;
    for (int gx = 0; gx < SignatureSketch::kGrid; ++gx) {
        const auto from = static_cast<std::size_t>(SignatureSketch::BlockStart(gx, side)) * side;
        const auto to = static_cast<std::size_t>(SignatureSketch::BlockStart(gx + 1, side)) * side;
        if (shapeOnly) {
            shapeSum += kernel.shapeSquares(a + 3 * from, b + 3 * from, to - from);
        } else {
            kernel.channelSquares(a + 3 * from, b + 3 * from, to - from, sums);
        }
        for (int k = 0; k < 3; ++k) {
            remaining[k] -= shares[gx][k];
        }
        const double exact[3] = {
            shapeOnly ? static_cast<double>(shapeSum) / 9.0 : static_cast<double>(sums[0]),
            static_cast<double>(sums[1]), static_cast<double>(sums[2])};
        const double squares[3] = {exact[0] + remaining[0], exact[1] + remaining[1],
                                   exact[2] + remaining[2]};
        if (Bound(squares) > rejectBound) {
            return false;
        }
    }
    const auto pixels = static_cast<std::int64_t>(side) * side;
    factor = shapeOnly ? FactorFromShapeSum(shapeSum, pixels) : FactorFromChannelSums(sums, pixels);
    return IsSimilarFactor(factor, threshold);
}

}  // namespace vistrel
