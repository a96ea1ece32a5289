#pragma once

#include "SignatureBytes.h"

#include <cstdint>
#include <vector>

namespace vistrel {

/// Small summaries of a run's signatures that give cheap lower bounds of the difference factor:
/// per-channel totals and per-channel totals over a grid of blocks. The mean square over a
/// block is never more than the mean of the squares inside it, so the factor computed from
/// block totals never exceeds the real one. Built once per run; immutable; any thread.
class SketchTable {
public:
    /// Blocks per side of the grid.
    static constexpr int kGrid = 10;

    SketchTable(const std::vector<SignatureBytes>& signatures, std::int32_t side);

    /// The sum of all bytes of signature i: pictures whose keys differ by more than
    /// 3 x pixels x factor cannot have a factor below it.
    std::int64_t Key(std::size_t i) const { return keys[i]; }

    /// A lower bound of the difference factor of signatures a and b (0 to 255 scale), from
    /// the channel totals alone (cheap) or from the block totals (tighter).
    double MeanBound(std::size_t a, std::size_t b, bool shapeOnly) const;
    double BlockBound(std::size_t a, std::size_t b, bool shapeOnly) const;

    std::int64_t Pixels() const { return pixels; }

private:
    const std::int32_t* ChannelTotals(std::size_t i) const { return &channelTotals[3 * i]; }
    const std::int32_t* BlockTotals(std::size_t i) const {
        return &blockTotals[static_cast<std::size_t>(3 * kGrid * kGrid) * i];
    }

    std::int64_t pixels;
    std::vector<std::int64_t> keys;
    std::vector<std::int32_t> channelTotals;  // 3 per signature
    std::vector<std::int32_t> blockTotals;    // 3 x kGrid x kGrid per signature, block-major
    std::vector<double> inverseBlockPixels;   // 1 / pixels of each block
};

}  // namespace vistrel
