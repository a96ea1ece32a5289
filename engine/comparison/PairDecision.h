#pragma once

#include "DifferenceKernel.h"
#include "SketchTable.h"

#include <cstdint>

namespace vistrel {

/// Decides whether pairs of a run are similar, as fast as it safely can: lower bounds from the
/// sketches first, then the exact sums with an early exit once their partial value already
/// rules the pair out. Every pair it calls similar has its factor computed in full, exactly as
/// ComputeDifference computes it; a safety margin keeps rounding from ever losing a similar
/// pair. Any thread.
class PairDecision {
public:
    PairDecision(const SketchTable& sketches, std::int32_t side, float thresholdPercent,
                 bool shapeOnly);

    /// The largest factor bound that can still belong to a similar pair under
    /// `thresholdPercent`, with room for rounding.
    static double RejectAbove(float thresholdPercent);
    /// The largest difference of sketch keys (or, in the normal mode, of any one channel's
    /// totals) that can still belong to a similar pair.
    static std::int64_t KeyWindow(float thresholdPercent, std::int64_t pixels);

    /// False when the cheapest bounds (channel and quarter totals) already rule the pair out.
    bool PassesSketchBounds(std::size_t ia, std::size_t ib) const;

    /// True, with the exact factor, when signatures a and b (entries ia and ib) are similar.
    bool IsSimilar(const std::uint8_t* a, const std::uint8_t* b, std::size_t ia, std::size_t ib,
                   float& factor) const;

private:
    /// The factor bound from exact sums over the pixels compared so far and block shares for
    /// the rest.
    double Bound(const double squares[3]) const;

    const SketchTable& sketches;
    const DifferenceKernel& kernel;
    std::int32_t side;
    float threshold;
    bool shapeOnly;
    /// Above this factor bound a pair is surely not similar, with room for rounding.
    double rejectAbove;
};

}  // namespace vistrel
