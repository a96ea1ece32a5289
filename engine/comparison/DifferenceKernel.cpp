#include "DifferenceKernel.h"

#include "DifferenceKernelTargets.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

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

const DifferenceKernel kScalar{"scalar", ChannelSquaresScalar, ShapeSquaresScalar};

bool CanRun(const DifferenceKernel* kernel) {
    if (kernel == nullptr) {
        return false;
    }
    const std::string_view name = kernel->name;
    if (name == "avx2") {
        return __builtin_cpu_supports("avx2");
    }
    if (name == "avx512") {
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx2");
    }
    return false;
}

}  // namespace

const DifferenceKernel& ScalarKernel() {
    return kScalar;
}

std::vector<const DifferenceKernel*> AvailableKernels() {
    std::vector<const DifferenceKernel*> kernels{&kScalar};
    for (const DifferenceKernel* kernel : {Avx2Kernel(), Avx512Kernel()}) {
        if (CanRun(kernel)) {
            kernels.push_back(kernel);
        }
    }
    return kernels;
}

const DifferenceKernel& ActiveKernel() {
    static const DifferenceKernel& active = []() -> const DifferenceKernel& {
        if (std::getenv("VISTREL_NOVECTOR") != nullptr) {
            return kScalar;
        }
        return *AvailableKernels().back();
    }();
    return active;
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
