#pragma once

#include <array>
#include <cstdint>

namespace vistrel {

/// Totals of a signature that bound the difference factor from below: per channel over the
/// whole signature, and per channel over each block of a 10 x 10 grid. Made once with the
/// signature and kept beside it.
struct SignatureSketch {
    static constexpr int kGrid = 10;
    static constexpr int kBlocks = kGrid * kGrid;
    /// The largest side whose block totals fit 16 bits (a block of 16 x 16 pixels of 255).
    static constexpr int kLargestSide = 160;

    std::array<std::int32_t, 3> channelTotals{};
    /// Every byte of the signature added up.
    std::int64_t key = 0;
    /// Per quarter of the grid (3 * q + channel, q = 2 for the right half plus 1 for the lower
    /// half): its blocks' totals added up. Kept beside the blocks so that a run's index of many
    /// sketches reads a few cache lines of each, not all of its blocks.
    std::array<std::int32_t, 12> quarterTotals{};
    /// Per block (column-major like the signature: block gx * kGrid + gy), red, green, blue.
    /// 16 bits, so that a million sketches stay in memory.
    std::array<std::uint16_t, 3 * kBlocks> blockTotals{};

    /// The first pixel row (or column) of block g along a side of `side` pixels.
    static int BlockStart(int g, int side) { return g * side / kGrid; }
};

/// The sketch of a signature of 3 x side x side bytes; a side above kLargestSide throws
/// std::length_error (signatures are 100 x 100).
SignatureSketch ComputeSketch(const std::uint8_t* signature, int side);

/// Sets sketch.quarterTotals from its block totals.
void SumQuarterTotals(SignatureSketch& sketch);

}  // namespace vistrel
