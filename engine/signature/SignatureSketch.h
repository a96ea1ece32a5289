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

    std::array<std::int32_t, 3> channelTotals{};
    /// Every byte of the signature added up.
    std::int64_t key = 0;
    /// Per quarter of the grid (3 * q + channel, q = 2 for the right half plus 1 for the lower
    /// half): its blocks' totals added up. Kept beside the blocks so that a run's index of many
    /// sketches reads a few cache lines of each, not all of its blocks.
    std::array<std::int32_t, 12> quarterTotals{};
    /// Per block (column-major like the signature: block gx * kGrid + gy), red, green, blue.
    std::array<std::int32_t, 3 * kBlocks> blockTotals{};

    /// The first pixel row (or column) of block g along a side of `side` pixels.
    static int BlockStart(int g, int side) { return g * side / kGrid; }
};

/// The sketch of a signature of 3 x side x side bytes.
SignatureSketch ComputeSketch(const std::uint8_t* signature, int side);

/// Sets sketch.quarterTotals from its block totals.
void SumQuarterTotals(SignatureSketch& sketch);

}  // namespace vistrel
