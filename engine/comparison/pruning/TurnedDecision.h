#pragma once

#include "ComparisonPairs.h"
#include "PairDecision.h"
#include "comparison/kernels/Orientation.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vistrel {

/// Decides the pairs of one entry of a run (the row) with its candidates, the pair's second
/// picture taken in all eight orientations: the smallest factor, and the first orientation
/// that gives it. The row is turned instead of the candidates (the same pixels meet, so the
/// same exact sums), and only when needed: its sketch when a candidate is first bounded in an
/// orientation, its signature when one first passes the bounds, into buffers of its own, so
/// nothing of the run is copied. Every bound of PairDecision holds per orientation, so the
/// result is exact. One per worker.
class TurnedDecision {
public:
    TurnedDecision(const PairDecision& decision, const ComparisonPairs& pairs, std::int32_t side);

    /// Starts the pairs of entry `row`, which is their first picture when `rowIsFirst`, else
    /// their second.
    void StartRow(std::int32_t row, bool rowIsFirst);

    /// True, with the exact factor and the orientation of the pair's second picture that gives
    /// it, when the row and entry `other` (both with a signature) are similar.
    bool IsSimilar(std::int32_t other, float& factor, Orientation& orientation);

private:
    /// The row in one orientation, each part made when first needed.
    struct OrientedRow {
        bool totalsReady = false;
        bool sketchReady = false;
        bool signatureReady = false;
        SketchTable::Totals totals{};
        SignatureSketch sketch;
        std::vector<std::uint8_t> signature;
    };

    /// The row's totals, sketch and signature turned by `turn`.
    const SketchTable::Totals& Totals(Orientation turn);
    const SignatureSketch& Sketch(Orientation turn);
    const std::uint8_t* Signature(Orientation turn);

    const PairDecision& decision;
    const ComparisonPairs& pairs;
    const SketchTable& sketches;
    std::int32_t side;
    std::int32_t row = -1;
    bool rowIsFirst = true;
    std::array<OrientedRow, kOrientationCount> oriented;
};

}  // namespace vistrel
