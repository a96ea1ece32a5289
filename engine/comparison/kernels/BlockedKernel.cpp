#include "BlockedKernel.h"

#include "BlockedKernelTargets.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vistrel {

namespace {

std::size_t PlaneStride(std::size_t pixels) {
    return (pixels + 63) / 64 * 64;
}

void ToPlanesScalar(const std::uint8_t* rgb, std::size_t pixels, bool shapeOnly,
                    std::uint8_t* planes, SignaturePlanes& out) {
    const std::size_t stride = PlaneStride(pixels);
    std::memset(planes, 0, PlanesSize(pixels));
    out = SignaturePlanes{planes, {0, 0, 0}, {0, 0, 0}};
    for (std::size_t p = 0; p < pixels; ++p) {
        const std::uint8_t* pixel = rgb + 3 * p;
        if (shapeOnly) {
            const auto total = static_cast<std::uint16_t>(pixel[0] + pixel[1] + pixel[2]);
            std::memcpy(planes + 2 * p, &total, sizeof total);
            out.totals[0] += total;
            out.squares[0] += std::int64_t{total} * total;
            continue;
        }
        for (std::size_t k = 0; k < 3; ++k) {
            planes[k * stride + p] = pixel[k];
            out.totals[k] += pixel[k];
            out.squares[k] += std::int64_t{pixel[k]} * pixel[k];
        }
    }
}

void BlockSquaresScalar(const SignaturePlanes* const rows[BlockedKernel::kRows],
                        const SignaturePlanes* const columns[BlockedKernel::kColumns],
                        std::size_t pixels, bool shapeOnly, BlockedKernel::BlockSums& sums) {
    const std::size_t stride = PlaneStride(pixels);
    for (int r = 0; r < BlockedKernel::kRows; ++r) {
        for (int c = 0; c < BlockedKernel::kColumns; ++c) {
            for (std::size_t k = 0; k < (shapeOnly ? 1 : 3); ++k) {
                std::int64_t sum = 0;
                for (std::size_t p = 0; p < pixels; ++p) {
                    std::int64_t d = 0;
                    if (shapeOnly) {
                        std::uint16_t a = 0;
                        std::uint16_t b = 0;
                        std::memcpy(&a, rows[r]->bytes + 2 * p, sizeof a);
                        std::memcpy(&b, columns[c]->bytes + 2 * p, sizeof b);
                        d = std::int64_t{a} - b;
                    } else {
                        d = std::int64_t{rows[r]->bytes[k * stride + p]} -
                            columns[c]->bytes[k * stride + p];
                    }
                    sum += d * d;
                }
                sums[r][c][k] = sum;
            }
        }
    }
}

const BlockedKernel kScalar{"scalar", ToPlanesScalar, BlockSquaresScalar, SimdLevel::kScalar};

bool CanRun(const BlockedKernel& kernel) {
    // Not every AVX-512 processor has the VNNI and VBMI instructions the AVX-512 kernel needs.
    return ProcessorHas(kernel.level) &&
           (kernel.level != SimdLevel::kAvx512 ||
            (__builtin_cpu_supports("avx512vnni") && __builtin_cpu_supports("avx512vbmi")));
}

}  // namespace

std::size_t PlanesSize(std::size_t pixels) {
    return 3 * PlaneStride(pixels);
}

const BlockedKernel& ScalarBlockedKernel() {
    return kScalar;
}

std::vector<const BlockedKernel*> AvailableBlockedKernels() {
    std::vector<const BlockedKernel*> kernels{&kScalar};
    for (const BlockedKernel* kernel :
         {Avx2BlockedKernel(), AvxVnniBlockedKernel(), VnniBlockedKernel()}) {
        if (CanRun(*kernel)) {
            kernels.push_back(kernel);
        }
    }
    return kernels;
}

const BlockedKernel* ActiveBlockedKernel() {
    // The best SIMD kernel within each level, worked out once: the choice is a lookup per call.
    static const auto bestForLevel = [] {
        std::array<const BlockedKernel*, kSimdLevels> best{};
        for (std::size_t level = 0; level < kSimdLevels; ++level) {
            for (const BlockedKernel* kernel : AvailableBlockedKernels()) {
                if (kernel->level != SimdLevel::kScalar &&
                    static_cast<std::size_t>(kernel->level) <= level) {
                    best[level] = kernel;
                }
            }
        }
        return best;
    }();
    return bestForLevel[static_cast<std::size_t>(ActiveSimdLevel())];
}

void SignaturePlanesBuffer::Reset(std::size_t count, std::size_t pixelCount, bool shapeOnlyMode) {
    pixels = pixelCount;
    shapeOnly = shapeOnlyMode;
    linesPerSignature = std::max<std::size_t>(1, PlanesSize(pixels) / 64);  // even for no pixels
    if (lines.size() < count * linesPerSignature) {
        lines.resize(count * linesPerSignature);
    }
    planes.assign(count, SignaturePlanes{});
}

const SignaturePlanes& SignaturePlanesBuffer::Fill(std::size_t slot, const BlockedKernel& kernel,
                                                   const std::uint8_t* rgb) {
    kernel.toPlanes(rgb, pixels, shapeOnly, lines[slot * linesPerSignature].bytes, planes[slot]);
    return planes[slot];
}

}  // namespace vistrel
