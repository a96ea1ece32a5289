#pragma once

#include "ComparisonPairs.h"
#include "comparison/kernels/BlockedKernel.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace vistrel {

/// Decides whole spans of a run by comparing every pair in full with the blocked kernel, for
/// thresholds so lax that the sketches rule out few pairs. The rows are laid out a tile at a
/// time and the columns a panel at a time, so that the tile stays in the last-level cache and
/// the panel in the core's own. One per worker: it keeps its buffers from span to span.
class BlockedComparison {
public:
    /// Entry `row` against the entries [first, last).
    struct RowRange {
        std::int32_t row;
        std::int32_t first;
        std::int32_t last;
    };
    using Found = std::vector<std::pair<std::int32_t, float>>;

    BlockedComparison(const BlockedKernel& kernel, const ComparisonPairs& pairs, std::int32_t side,
                      float thresholdPercent, bool shapeOnly);

    /// Appends to found[r] the similar pairs of rows[r] as (other entry, factor), in ascending
    /// order of the other entry; `found` has a list per row. Entries without a signature take
    /// part in no pair. `stopDue` is told of every few dozen pairs decided; when it answers
    /// yes the comparison ends at once and returns true, with `found` incomplete.
    bool Compare(const std::vector<RowRange>& rows, std::vector<Found>& found,
                 const std::function<bool(std::size_t decided)>& stopDue);

private:
    static constexpr std::size_t kRowsPerTile = 256;
    static constexpr int kColumnsPerPanel = 16;

    /// Lays out the panel of columns from entry `from` on: returns the entry after the last
    /// one taken, and the panel's entries in `columnAt`.
    std::int32_t FillPanel(std::int32_t from, std::int32_t last);
    /// Compares the live rows [at, at + kRows) of the tile [tile, tileEnd) with the panel;
    /// returns the number of pairs decided.
    std::size_t CompareBlockRow(const std::vector<RowRange>& rows, std::size_t tile,
                                std::size_t tileEnd, std::size_t at, std::vector<Found>& found);

    const BlockedKernel& kernel;
    const ComparisonPairs& pairs;
    std::size_t pixels;
    float threshold;
    bool shapeOnly;
    std::vector<std::size_t> liveRows;  // the rows that have a signature
    SignaturePlanesBuffer rowPlanes;
    SignaturePlanesBuffer columnPlanes;  // the panel, then one blank signature
    std::vector<std::uint8_t> blank;
    const SignaturePlanes* panel[kColumnsPerPanel];
    std::int32_t columnAt[kColumnsPerPanel];
    int panelSize = 0;
};

}  // namespace vistrel
