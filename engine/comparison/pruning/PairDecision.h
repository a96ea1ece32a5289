#pragma once

#include "SketchTable.h"
#include "comparison/kernels/DifferenceKernel.h"

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

    // The same decision in steps, for a first signature that is an entry's turned or mirrored
    // (whose channel totals are the entry's, but not its blocks): the channel bound once, then
    // per orientation the block bounds, then the exact sums once the first signature is made.

    /// False when the channel totals of entries ia and ib rule the pair out in every
    /// orientation.
    bool PassesMeanBound(std::size_t ia, std::size_t ib) const {
        return sketches.MeanBound(ia, ib, shapeOnly) <= rejectAbove;
    }
    /// False when the quarter totals of entries ia and ib rule the pair out in every
    /// orientation, where the sketches can tell (SketchTable::TurnsQuarters).
    bool PassesTurnedQuarterBound(std::size_t ia, std::size_t ib) const {
        return sketches.TurnedQuarterBound(ia, ib, shapeOnly) <= rejectAbove;
    }
    /// False when the quarter totals of a first signature and those of entry ib rule out a
    /// factor up to `rejectBound` (at most RejectAbove of the run's threshold).
    bool PassesQuarterBound(const SketchTable::Totals& totalsA, std::size_t ib,
                            double rejectBound) const {
        return sketches.QuarterBound(totalsA, sketches.TotalsAt(ib), shapeOnly) <= rejectBound;
    }
    /// The block shares of a first signature's sketch and entry ib's, for IsSimilarBySums, a
    /// column of blocks at a time; false, with `shares` incomplete, as soon as the columns so
    /// far put the factor above `rejectBound`.
    bool BlockSharesWithin(const SignatureSketch& sketchA, std::size_t ib,
                           SketchTable::ColumnShares& shares, double rejectBound) const;
    /// True, with the exact factor, when signatures a and b are similar; gives up as soon as
    /// the factor is surely above `rejectBound`. `shares` come from BlockSharesWithin.
    bool IsSimilarBySums(const std::uint8_t* a, const std::uint8_t* b,
                         const SketchTable::ColumnShares& shares, double rejectBound,
                         float& factor) const;

    /// The largest factor bound that can still belong to a similar pair of this run.
    double RejectBound() const { return rejectAbove; }
    /// The largest factor bound that can still belong to a factor below `factor`.
    static double RejectAboveFactor(float factor);

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
