#include "TurnedDecision.h"

#include <algorithm>

namespace vistrel {

TurnedDecision::TurnedDecision(const PairDecision& pairDecision, const ComparisonPairs& runPairs,
                               std::int32_t sideLength)
    : decision(pairDecision), pairs(runPairs), sketches(runPairs.Sketches()), side(sideLength) {}

void TurnedDecision::StartRow(std::int32_t rowEntry, bool isFirst) {
    row = rowEntry;
    rowIsFirst = isFirst;
    for (OrientedRow& turned : oriented) {
        turned.totalsReady = false;
        turned.sketchReady = false;
        turned.signatureReady = false;
    }
}

const SketchTable::Totals& TurnedDecision::Totals(Orientation turn) {
    const auto entry = static_cast<std::size_t>(row);
    if (turn == Orientation::None) {
        return sketches.TotalsAt(entry);
    }
    OrientedRow& turned = oriented[static_cast<std::size_t>(turn)];
    if (!turned.totalsReady) {
        if (side % SignatureSketch::kGrid == 0) {
            // Whole quarters turn onto one another: the cheap bound needs no turned blocks.
            const SketchTable::Totals& stored = sketches.TotalsAt(entry);
            turned.totals = stored;
            OrientQuarters(stored.quarter, turned.totals.quarter, turn);
        } else {
            turned.totals = SketchTable::TotalsOf(Sketch(turn));
        }
        turned.totalsReady = true;
    }
    return turned.totals;
}

const SignatureSketch& TurnedDecision::Sketch(Orientation turn) {
    const auto entry = static_cast<std::size_t>(row);
    if (turn == Orientation::None) {
        return sketches.SketchAt(entry);
    }
    OrientedRow& turned = oriented[static_cast<std::size_t>(turn)];
    if (!turned.sketchReady) {
        if (!OrientSketch(sketches.SketchAt(entry), side, turn, turned.sketch)) {
            // Blocks that do not turn onto one another: the sketch of the turned pixels.
            turned.sketch = ComputeSketch(Signature(turn), side);
        }
        turned.sketchReady = true;
    }
    return turned.sketch;
}

const std::uint8_t* TurnedDecision::Signature(Orientation turn) {
    if (turn == Orientation::None) {
        return pairs.Signature(row);
    }
    OrientedRow& turned = oriented[static_cast<std::size_t>(turn)];
    if (!turned.signatureReady) {
        turned.signature.resize(3 * static_cast<std::size_t>(side) * side);
        OrientSignature(pairs.Signature(row), turned.signature.data(), side, turn);
        turned.signatureReady = true;
    }
    return turned.signature.data();
}

bool TurnedDecision::IsSimilar(std::int32_t other, float& factor, Orientation& orientation) {
    const auto otherEntry = static_cast<std::size_t>(other);
    // The channel totals are the same in every orientation.
    if (!decision.PassesMeanBound(otherEntry, static_cast<std::size_t>(row))) {
        return false;
    }
    // Nor does the multiset of each channel's quarter totals: one bound for all eight.
    if (!decision.PassesTurnedQuarterBound(otherEntry, static_cast<std::size_t>(row))) {
        return false;
    }
    bool similar = false;
    double rejectAbove = decision.RejectBound();
    for (int o = 0; o < kOrientationCount; ++o) {
        const auto second = static_cast<Orientation>(o);
        // The second picture turned by `second` meets the first as the first turned back
        // meets the second.
        const Orientation turn = rowIsFirst ? Inverse(second) : second;
        if (!decision.PassesQuarterBound(Totals(turn), otherEntry, rejectAbove)) {
            continue;
        }
        SketchTable::ColumnShares shares;
        // Most pairs end here, before the row's signature is turned: turning it costs as much
        // as comparing it.
        if (!decision.BlockSharesWithin(Sketch(turn), otherEntry, shares, rejectAbove)) {
            continue;
        }
        float candidate = 0.0f;
        if (decision.IsSimilarBySums(Signature(turn), pairs.Signature(other), shares, rejectAbove,
                                     candidate) &&
            (!similar || candidate < factor)) {
            similar = true;
            factor = candidate;
            orientation = second;
            // Only a smaller factor can replace it: later orientations may stop sooner.
            rejectAbove = std::min(rejectAbove, PairDecision::RejectAboveFactor(candidate));
        }
    }
    return similar;
}

}  // namespace vistrel
