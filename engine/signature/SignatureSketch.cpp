#include "SignatureSketch.h"

#include <stdexcept>

namespace vistrel {

SignatureSketch ComputeSketch(const std::uint8_t* signature, int side) {
    if (side > SignatureSketch::kLargestSide) {
        throw std::length_error("signature too large for its sketch");
    }
    SignatureSketch sketch;
    constexpr int kGrid = SignatureSketch::kGrid;
    for (int gx = 0; gx < kGrid; ++gx) {
        for (int x = SignatureSketch::BlockStart(gx, side);
             x < SignatureSketch::BlockStart(gx + 1, side); ++x) {
            // A column is contiguous: its block runs are plain strides of pixels.
            const std::uint8_t* column = signature + 3 * static_cast<std::size_t>(x) * side;
            for (int gy = 0; gy < kGrid; ++gy) {
                std::int32_t red = 0;
                std::int32_t green = 0;
                std::int32_t blue = 0;
                for (int y = SignatureSketch::BlockStart(gy, side);
                     y < SignatureSketch::BlockStart(gy + 1, side); ++y) {
                    red += column[3 * y];
                    green += column[3 * y + 1];
                    blue += column[3 * y + 2];
                }
                std::uint16_t* block =
                    &sketch.blockTotals[static_cast<std::size_t>(3 * (gx * kGrid + gy))];
                block[0] = static_cast<std::uint16_t>(block[0] + red);
                block[1] = static_cast<std::uint16_t>(block[1] + green);
                block[2] = static_cast<std::uint16_t>(block[2] + blue);
            }
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
