#include "DifferenceKernel.h"

#include "DifferenceKernelTargets.h"

#include <array>
#include <cmath>

namespace vistrel {

namespace {

void ChannelSquaresScalar(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixels,
                          std::int64_t sums[3]) {
    for (std::size_t p = 0; p < pixels; ++p) {
        for (int k = 0; k < 3; ++k) {
            const std::int64_t d = a[3 * p + k] - b[3 * p + k];
            sums[k] += d * d;
        }
    }
}

std::int64_t ShapeSquaresScalar(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixels) {
    std::int64_t sum = 0;
    for (std::size_t p = 0; p < pixels; ++p) {
        const std::int64_t d =
            (a[3 * p] + a[3 * p + 1] + a[3 * p + 2]) - (b[3 * p] + b[3 * p + 1] + b[3 * p + 2]);
        sum += d * d;
    }
    return sum;
}

const DifferenceKernel kScalar{"scalar", ChannelSquaresScalar, ShapeSquaresScalar,
                               SimdLevel::kScalar};

}  // namespace

const DifferenceKernel& ScalarKernel() {
    return kScalar;
}

std::vector<const DifferenceKernel*> AvailableKernels() {
    std::vector<const DifferenceKernel*> kernels{&kScalar};
    for (const DifferenceKernel* kernel : {Avx2Kernel(), Avx512Kernel()}) {
        if (kernel != nullptr && ProcessorHas(kernel->level)) {
            kernels.push_back(kernel);
        }
    }
    return kernels;
}

const DifferenceKernel& ActiveKernel() {
    // The best kernel within each level, worked out once: the choice is a lookup per call.
    static const auto bestForLevel = [] {
        std::array<const DifferenceKernel*, kSimdLevels> best{};
        for (std::size_t level = 0; level < kSimdLevels; ++level) {
            for (const DifferenceKernel* kernel : AvailableKernels()) {
                if (static_cast<std::size_t>(kernel->level) <= level) {
                    best[level] = kernel;
                }
            }
        }
        return best;
    }();
    return *bestForLevel[static_cast<std::size_t>(ActiveSimdLevel())];
}

float FactorFromChannelSums(const std::int64_t sums[3], std::int64_t pixels) {
    float rms[3];
    for (int k = 0; k < 3; ++k) {
        rms[k] = static_cast<float>(std::sqrt(static_cast<double>(sums[k]) / pixels));
    }
    return static_cast<float>((static_cast<double>(rms[0]) + rms[1] + rms[2]) / 3.0);
}

float FactorFromShapeSum(std::int64_t sum, std::int64_t pixels) {
    // Dividing by 9 brings the difference of three-byte sums back to the scale of one byte.
    return static_cast<float>(std::sqrt((static_cast<double>(sum) / 9.0) / pixels));
}

}  // namespace vistrel
