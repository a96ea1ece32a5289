#pragma once

#include "SketchTable.h"
#include "comparison/kernels/TotalsFilter.h"

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vistrel {

/// Finds, among a set of a run's entries, those whose sketch totals may lie near one entry's:
/// the candidates of a row, found in time that grows with how many are near rather than with
/// the number of entries. Entries sit in cells of a grid over three coordinates of their totals
/// (the channel totals, or in the shape-only mode the sorted quarter totals seen along three
/// axes), a fraction of the window wide; a row visits only the cells whose nearest point lies
/// within the window, and there keeps the entries that pass a bound from the quarter totals:
/// for runs that find turned copies, a bound in every orientation (of the quarters sorted);
/// else the tighter one of the quarters as they lie. Each cell's entries lie side by side in
/// the order of the cells, and ascending within a cell, so that the cells of a row are read as
/// a few runs of memory and a row reads only the entries of its range. Every entry it leaves out is
/// ruled out by the cheapest bounds of PairDecision and TurnedDecision. Immutable after
/// construction; any thread.
class CandidateIndex {
public:
    /// The `entries` (each with a signature, ascending) of `sketches`; `window` as
    /// PairDecision::KeyWindow gives it for the run; `anyOrientation` for a run that also
    /// finds turned and mirrored copies.
    CandidateIndex(const SketchTable& sketches, const std::vector<std::int32_t>& entries,
                   std::int64_t window, bool shapeOnly, bool anyOrientation);

    /// The entries j with first <= j < last that may be near entry i (which may lie outside
    /// the index, but has a signature), into `out`, in no particular order.
    void Near(std::size_t i, std::int32_t first, std::int32_t last,
              std::vector<std::int32_t>& out) const;

    /// Its entries in the order of its cells: entries that follow one another mostly lie near.
    std::vector<std::int32_t> EntriesInCellOrder() const {
        return {entryOf.begin(),
                entryOf.end() - static_cast<std::ptrdiff_t>(TotalsFilter::kPadding)};
    }

private:
    static constexpr int kMaxFeatures = 12;

    /// What a row's entries are tested with: the quarter totals of each channel (or of the
    /// shape), sorted, under a sum of Euclidean norms; or, where the quarters differ in size,
    /// the channel totals (or the key) under the L1 norm.
    enum class Test { kChannelQuarters, kShapeQuarters, kChannelTotals, kKey };

    struct Point {
        std::int64_t coordinate[3];
        std::int32_t feature[kMaxFeatures];
    };
    Point PointOf(std::size_t i) const;
    std::int64_t CellOf(std::int64_t coordinate) const;
    /// Sweeps the cells [firstCell, lastCell) of one column for the entries of [first, last).
    void ScanCells(const Point& point, std::size_t firstCell, std::size_t lastCell,
                   std::int32_t first, std::int32_t last, std::vector<std::int32_t>& out) const;
    void Scan(const Point& point, std::size_t from, std::size_t to, std::int32_t first,
              std::int32_t last, std::vector<std::int32_t>& out) const;

    const SketchTable& sketches;
    const TotalsFilter* filter;
    Test test;
    bool anyOrientation;
    int features = 0;
    bool euclideanCells = false;  // cells visited by Euclidean distance (else L1)
    std::int64_t window;
    std::int64_t lowest[3] = {0, 0, 0};  // the smallest coordinates, where cell 0 starts
    std::int64_t cellWidth = 1;
    std::int64_t reach;  // how many cells away along one axis a near entry can lie
    /// The limit of the test: the window, or for the quarter tests half of it with room for
    /// the rounding of floats.
    float limit;
    /// The cells, ordered by their x, y, z numbers: per cell its z and where its entries start
    /// (one more start closes the last); per column of cells (x, y) its first and last cell.
    std::vector<std::int64_t> cellZ;
    std::vector<std::uint32_t> cellStart;
    /// (In a table by x and y where there are not too many of them.)
    std::unordered_map<std::uint64_t, std::pair<std::uint32_t, std::uint32_t>> columns;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> columnTable;
    std::int64_t cellsX = 0;
    std::int64_t cellsY = 0;
    /// The first and last cell of column (x, y), alike when it holds none.
    std::pair<std::uint32_t, std::uint32_t> ColumnAt(std::int64_t x, std::int64_t y) const;
    /// The entries in cell order, and their features, one plane per feature.
    std::vector<std::int32_t> entryOf;
    std::vector<std::int32_t> planes;
    std::size_t stride = 0;
};

}  // namespace vistrel
