#include "DifferenceFactor.h"

#include "DifferenceKernel.h"

#include <cmath>
#include <vector>

namespace vistrel {

float ComputeDifferenceReference(const std::uint8_t* signatureA, const std::uint8_t* signatureB,
                                 std::int32_t side, bool shapeOnly) {
    const std::int64_t pixels = static_cast<std::int64_t>(side) * side;
    if (shapeOnly) {
        std::int64_t sum = 0;
        for (std::int64_t p = 0; p < pixels; ++p) {
            const std::uint8_t* a = signatureA + 3 * p;
            const std::uint8_t* b = signatureB + 3 * p;
            const std::int64_t d = (a[0] + a[1] + a[2]) - (b[0] + b[1] + b[2]);
            sum += d * d;
        }
        // Dividing by 9 brings the difference of three-byte sums back to the scale of one byte.
        return static_cast<float>(std::sqrt((static_cast<double>(sum) / 9.0) / pixels));
    }
    std::int64_t sums[3] = {0, 0, 0};
    for (std::int64_t p = 0; p < pixels; ++p) {
        for (int k = 0; k < 3; ++k) {
            const std::int64_t d = signatureA[3 * p + k] - signatureB[3 * p + k];
            sums[k] += d * d;
        }
    }
    // Each channel's RMS is rounded to float before the three are averaged in double.
    float rms[3];
    for (int k = 0; k < 3; ++k) {
        rms[k] = static_cast<float>(std::sqrt(static_cast<double>(sums[k]) / pixels));
    }
    return static_cast<float>((static_cast<double>(rms[0]) + rms[1] + rms[2]) / 3.0);
}

float ComputeTurnedDifferenceReference(const std::uint8_t* signatureA,
                                       const std::uint8_t* signatureB, std::int32_t side,
                                       bool shapeOnly, Orientation& orientation) {
    std::vector<std::uint8_t> turned(3 * static_cast<std::size_t>(side) * side);
    float smallest = 0.0f;
    for (int o = 0; o < kOrientationCount; ++o) {
        OrientSignature(signatureB, turned.data(), side, static_cast<Orientation>(o));
        const float factor = ComputeDifferenceReference(signatureA, turned.data(), side, shapeOnly);
        if (o == 0 || factor < smallest) {
            smallest = factor;
            orientation = static_cast<Orientation>(o);
        }
    }
    return smallest;
}

float ComputeDifference(const std::uint8_t* signatureA, const std::uint8_t* signatureB,
                        std::int32_t side, bool shapeOnly) {
    const DifferenceKernel& kernel = ActiveKernel();
    const std::int64_t pixels = static_cast<std::int64_t>(side) * side;
    if (shapeOnly) {
        return FactorFromShapeSum(
            kernel.shapeSquares(signatureA, signatureB, static_cast<std::size_t>(pixels)), pixels);
    }
    std::int64_t sums[3] = {0, 0, 0};
    kernel.channelSquares(signatureA, signatureB, static_cast<std::size_t>(pixels), sums);
    return FactorFromChannelSums(sums, pixels);
}

double FactorPercent(float factor) {
    return static_cast<double>(factor) * 100.0 / 256.0;
}

double ShownFactor(float factor) {
    return 2.0 * FactorPercent(factor);
}

bool IsSimilarFactor(float factor, float thresholdPercent) {
    return static_cast<double>(thresholdPercent) > FactorPercent(factor);
}

}  // namespace vistrel
