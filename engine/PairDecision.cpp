#include "PairDecision.h"

#include "DifferenceFactor.h"
#include "DifferenceKernel.h"

#include <cmath>

namespace vistrel {

namespace {

// The exact sums are taken in slices, each twice as long as the one before, starting with this
// many pixels; after each the partial factor is checked, since the sums only grow. Short
// slices first end clear cases early; longer ones later keep the checks few.
constexpr std::size_t kFirstSlicePixels = 256;

// The float rounding of the exact factor moves it by far less than this, relative and absolute.
constexpr double kMargin = 1e-5;

}  // namespace

PairDecision::PairDecision(const SketchTable& sketchTable, std::int32_t sideLength,
                           float thresholdPercent, bool shapeOnlyMode)
    : sketches(sketchTable),
      side(sideLength),
      threshold(thresholdPercent),
      shapeOnly(shapeOnlyMode) {
    rejectAbove = RejectAbove(thresholdPercent);
}

double PairDecision::RejectAbove(float thresholdPercent) {
    // Similar means factor x 100 / 256 below the threshold.
    const double limit = std::max(0.0, static_cast<double>(thresholdPercent) * 256.0 / 100.0);
    return limit * (1.0 + kMargin) + kMargin;
}

std::int64_t PairDecision::KeyWindow(float thresholdPercent, std::int64_t pixels) {
    // Both modes bound the factor by |key difference| / (3 x pixels); the normal mode also by
    // the mean of the channels' |total differences| / pixels, so no one channel's total can
    // differ by more than this either.
    return static_cast<std::int64_t>(std::ceil(RejectAbove(thresholdPercent) * 3.0 * pixels)) + 1;
}

bool PairDecision::IsSimilar(const std::uint8_t* a, const std::uint8_t* b, std::size_t ia,
                             std::size_t ib, float& factor) const {
    if (sketches.MeanBound(ia, ib, shapeOnly) > rejectAbove ||
        sketches.QuarterBound(ia, ib, shapeOnly) > rejectAbove ||
        sketches.BlockBoundAbove(ia, ib, shapeOnly, rejectAbove)) {
        return false;
    }
    return ExactSimilar(a, b, factor);
}

bool PairDecision::ExactSimilar(const std::uint8_t* a, const std::uint8_t* b, float& factor) const {
    const DifferenceKernel& kernel = ActiveKernel();
    const auto pixels = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
    const double n = static_cast<double>(pixels);
    std::int64_t sums[3] = {0, 0, 0};
    std::int64_t shapeSum = 0;
    std::size_t sliceLength = kFirstSlicePixels;
    for (std::size_t done = 0; done < pixels; sliceLength *= 2) {
        const std::size_t slice = std::min(sliceLength, pixels - done);
        const std::uint8_t* sliceA = a + 3 * done;
        const std::uint8_t* sliceB = b + 3 * done;
        double partial = 0.0;
        if (shapeOnly) {
            shapeSum += kernel.shapeSquares(sliceA, sliceB, slice);
            partial = std::sqrt(static_cast<double>(shapeSum) / 9.0 / n);
        } else {
            kernel.channelSquares(sliceA, sliceB, slice, sums);
            partial =
                (std::sqrt(sums[0] / n) + std::sqrt(sums[1] / n) + std::sqrt(sums[2] / n)) / 3.0;
        }
        done += slice;
        if (partial > rejectAbove) {
            return false;
        }
    }
    factor = shapeOnly ? FactorFromShapeSum(shapeSum, static_cast<std::int64_t>(pixels))
                       : FactorFromChannelSums(sums, static_cast<std::int64_t>(pixels));
    return IsSimilarFactor(factor, threshold);
}

}  // namespace vistrel
