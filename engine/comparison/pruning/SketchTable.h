#pragma once

#include "signature/SignatureBytes.h"

#include <cstdint>
#include <vector>

namespace vistrel {

/// The sketches of a run's signatures, with the lower bounds of the difference factor they
/// give: the mean square over a block is never more than the mean of the squares inside it, so
/// a factor computed from totals never exceeds the real one. Holds its own references to the
/// signatures; immutable; any thread.
class SketchTable {
public:
    SketchTable(const std::vector<SignatureBytes>& signatures, std::int32_t side);

    /// The channel totals over the whole picture and over its quarters, side by side in one
    /// cache line per picture, for the cheap bounds that see every candidate.
    struct alignas(64) Totals {
        std::int32_t channel[3];
        std::int32_t quarter[4][3];
    };
    /// The totals of a sketch: quarter q holds the blocks whose column half is q / 2 and row
    /// half q % 2.
    static Totals TotalsOf(const SignatureSketch& sketch);
    /// The totals and the sketch of entry i, which must have a signature.
    const Totals& TotalsAt(std::size_t i) const { return totals[i]; }
    const SignatureSketch& SketchAt(std::size_t i) const { return *sketches[i]; }

    /// The sum of all bytes of signature i: pictures whose keys differ by more than
    /// 3 x pixels x factor cannot have a factor below it.
    std::int64_t Key(std::size_t i) const { return keys[i]; }

    /// A lower bound of the difference factor of signatures a and b (0 to 255 scale), from the
    /// channel totals alone. Both must exist.
    double MeanBound(std::size_t a, std::size_t b, bool shapeOnly) const;
    /// A tighter lower bound from the totals of the four quarters of the picture.
    double QuarterBound(std::size_t a, std::size_t b, bool shapeOnly) const {
        return QuarterBound(totals[a], totals[b], shapeOnly);
    }
    /// The same from the totals themselves, which may be those of a signature turned or
    /// mirrored.
    double QuarterBound(const Totals& a, const Totals& b, bool shapeOnly) const;
    /// A lower bound of QuarterBound in every orientation of the first signature: per channel
    /// the quarters of each, sorted, meet in order, which no reordering of them beats. Only
    /// where the quarters are alike in size, so that turning the picture only reorders them
    /// (TurnsQuarters); else 0.
    double TurnedQuarterBound(std::size_t a, std::size_t b, bool shapeOnly) const;
    bool TurnsQuarters() const { return !sortedQuarters.empty(); }
    /// The block totals' share of the squared differences, per column of blocks and channel
    /// (in the shape-only mode channel 0 holds the totals' share, divided by 9): each is at
    /// most the exact sum over the pixels of that column of blocks.
    using ColumnShares = double[SignatureSketch::kGrid][3];
    void BlockColumnShares(std::size_t a, std::size_t b, bool shapeOnly,
                           ColumnShares& shares) const {
        BlockColumnShares(*sketches[a], *sketches[b], shapeOnly, shares);
    }
    void BlockColumnShares(const SignatureSketch& a, const SignatureSketch& b, bool shapeOnly,
                           ColumnShares& shares) const;
    /// The shares of column gx of blocks alone.
    void BlockColumnShare(const SignatureSketch& a, const SignatureSketch& b, int gx,
                          bool shapeOnly, double share[3]) const;

    std::int64_t Pixels() const { return pixels; }

private:
    std::int64_t pixels;
    std::vector<Totals> totals;
    std::vector<std::int64_t> keys;
    double inverseQuarterPixels[4] = {0, 0, 0, 0};
    std::vector<const SignatureSketch*> sketches;  // null for an entry without a signature
    std::vector<SignatureBytes> owners;            // keeps the sketches alive
    std::vector<double> inverseBlockPixels;        // 1 / pixels of each block
    bool blocksAlike = false;                      // whether every block has as many pixels
    /// Per entry, each channel's quarter totals sorted, then the sums of the three channels'
    /// sorted; empty unless the quarters are alike in size and blocks turn onto one another.
    struct SortedQuarters {
        std::int32_t channel[3][4];
        std::int32_t shape[4];
    };
    std::vector<SortedQuarters> sortedQuarters;
};

}  // namespace vistrel
