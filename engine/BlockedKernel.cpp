#include "BlockedKernel.h"

#include <cstdlib>
#include <cstring>

namespace vistrel {

const BlockedKernel* VnniBlockedKernel();

namespace {

std::size_t PlaneStride(std::size_t pixels) {
    return (pixels + 63) / 64 * 64;
}

void ToPlanesScalar(const std::uint8_t* rgb, std::size_t pixels, std::uint8_t* planes,
                    SignaturePlanes& out) {
    const std::size_t stride = PlaneStride(pixels);
    std::memset(planes, 0, 3 * stride);
    out = SignaturePlanes{planes, {0, 0, 0}, {0, 0, 0}};
    for (std::size_t p = 0; p < pixels; ++p) {
        for (std::size_t k = 0; k < 3; ++k) {
            const std::int64_t value = rgb[3 * p + k];
            planes[k * stride + p] = rgb[3 * p + k];
            out.totals[k] += value;
            out.squares[k] += value * value;
        }
    }
}

void BlockSquaresScalar(const SignaturePlanes* const rows[BlockedKernel::kRows],
                        const SignaturePlanes* const columns[BlockedKernel::kColumns],
                        std::size_t pixels, BlockedKernel::BlockSums& sums) {
    const std::size_t stride = PlaneStride(pixels);
    for (int r = 0; r < BlockedKernel::kRows; ++r) {
        for (int c = 0; c < BlockedKernel::kColumns; ++c) {
            for (std::size_t k = 0; k < 3; ++k) {
                const std::uint8_t* a = rows[r]->bytes + k * stride;
                const std::uint8_t* b = columns[c]->bytes + k * stride;
                std::int64_t sum = 0;
                for (std::size_t p = 0; p < pixels; ++p) {
                    const std::int64_t d = a[p] - b[p];
                    sum += d * d;
                }
                sums[r][c][k] = sum;
            }
        }
    }
}

const BlockedKernel kScalar{"scalar", ToPlanesScalar, BlockSquaresScalar};

}  // namespace

std::size_t PlanesSize(std::size_t pixels) {
    return 3 * PlaneStride(pixels);
}

const BlockedKernel& ScalarBlockedKernel() {
    return kScalar;
}

const BlockedKernel* ActiveBlockedKernel() {
    static const BlockedKernel* const active = []() -> const BlockedKernel* {
        if (std::getenv("VISTREL_NOVECTOR") != nullptr) {
            return nullptr;
        }
        const bool canRun =
            __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
            __builtin_cpu_supports("avx512vnni") && __builtin_cpu_supports("avx512vbmi");
        return canRun ? VnniBlockedKernel() : nullptr;
    }();
    return active;
}

void SignaturePlanesBuffer::Reset(std::size_t count, std::size_t pixelCount) {
    pixels = pixelCount;
    linesPerSignature = PlanesSize(pixels) / 64;
    if (lines.size() < count * linesPerSignature) {
        lines.resize(count * linesPerSignature);
    }
    planes.assign(count, SignaturePlanes{});
}

const SignaturePlanes& SignaturePlanesBuffer::Fill(std::size_t slot, const BlockedKernel& kernel,
                                                   const std::uint8_t* rgb) {
    kernel.toPlanes(rgb, pixels, lines[slot * linesPerSignature].bytes, planes[slot]);
    return planes[slot];
}

}  // namespace vistrel
