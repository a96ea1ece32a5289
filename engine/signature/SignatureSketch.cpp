#include "SignatureSketch.h"

#include <array>
#include <cstddef>
#include <stdexcept>

namespace vistrel {

SignatureSketch ComputeSketch(const std::uint8_t* signature, int side) {
    if (side > SignatureSketch::kLargestSide) {
        throw std::length_error("signature too large for its sketch");
    }
    SignatureSketch sketch;
    constexpr int kGrid = SignatureSketch::kGrid;
    const std::size_t columnBytes = 3 * static_cast<std::size_t>(side);
    for (int gx = 0; gx < kGrid; ++gx) {
        // The columns of a block column are added byte by byte first (a column is contiguous,
        // so this is a plain vector sum); each block then adds a few of those sums. At most 16
        // columns of 255 fit 16 bits.
        std::array<std::uint16_t, 3 * SignatureSketch::kLargestSide> columns{};
        for (int x = SignatureSketch::BlockStart(gx, side);
             x < SignatureSketch::BlockStart(gx + 1, side); ++x) {
            const std::uint8_t* column = signature + static_cast<std::size_t>(x) * columnBytes;
            for (std::size_t i = 0; i < columnBytes; ++i) {
                columns[i] = static_cast<std::uint16_t>(columns[i] + column[i]);
            }
        }
        for (int gy = 0; gy < kGrid; ++gy) {
            std::int32_t red = 0;
            std::int32_t green = 0;
            std::int32_t blue = 0;
            for (int y = SignatureSketch::BlockStart(gy, side);
                 y < SignatureSketch::BlockStart(gy + 1, side); ++y) {
                const std::size_t at = 3 * static_cast<std::size_t>(y);
                red += columns[at];
                green += columns[at + 1];
                blue += columns[at + 2];
            }
            std::uint16_t* block =
                &sketch.blockTotals[static_cast<std::size_t>(3 * (gx * kGrid + gy))];
            block[0] = static_cast<std::uint16_t>(red);
            block[1] = static_cast<std::uint16_t>(green);
            block[2] = static_cast<std::uint16_t>(blue);
        }
    }
    for (int b = 0; b < SignatureSketch::kBlocks; ++b) {
        for (int k = 0; k < 3; ++k) {
            sketch.channelTotals[static_cast<std::size_t>(k)] +=
                sketch.blockTotals[static_cast<std::size_t>(3 * b + k)];
        }
    }
    sketch.key = static_cast<std::int64_t>(sketch.channelTotals[0]) + sketch.channelTotals[1] +
                 sketch.channelTotals[2];
    SumQuarterTotals(sketch);
    return sketch;
}

void SumQuarterTotals(SignatureSketch& sketch) {
    constexpr int kGrid = SignatureSketch::kGrid;
    sketch.quarterTotals = {};
    for (int gx = 0; gx < kGrid; ++gx) {
        for (int gy = 0; gy < kGrid; ++gy) {
            const int q = (gx < kGrid / 2 ? 0 : 2) + (gy < kGrid / 2 ? 0 : 1);
            for (int k = 0; k < 3; ++k) {
                sketch.quarterTotals[static_cast<std::size_t>(3 * q + k)] +=
                    sketch.blockTotals[static_cast<std::size_t>(3 * (gx * kGrid + gy) + k)];
            }
        }
    }
}

}  // namespace vistrel
