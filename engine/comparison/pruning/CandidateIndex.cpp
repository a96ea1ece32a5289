#include "CandidateIndex.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace vistrel {

namespace {

// Cells are this many to a window: finer cells hug the ball of near totals more closely, but
// a row then visits more of them.
constexpr std::int64_t kCellsPerWindow = 3;
// The planes hold this many values past the last entry, so that a scan reads whole groups.
constexpr std::size_t kPadding = TotalsFilter::kPadding;
// Floats round each difference, square and sum by far less than this, relatively.
constexpr float kFloatMargin = 1e-4f;
// The most columns of cells kept in a table rather than a hash map.
constexpr std::int64_t kMostTableColumns = std::int64_t{1} << 20;
// Cells of more entries than this are cut to a row's range before they are swept.
constexpr std::size_t kNarrowedCell = 16;

std::uint64_t ColumnKey(std::int64_t x, std::int64_t y) {
    return static_cast<std::uint64_t>(x) << 32 | static_cast<std::uint64_t>(y);
}

}  // namespace

CandidateIndex::CandidateIndex(const SketchTable& sketchTable,
                               const std::vector<std::int32_t>& entries, std::int64_t keyWindow,
                               bool shapeOnly, bool findTurned)
    : sketches(sketchTable),
      filter(&ActiveTotalsFilter()),
      anyOrientation(findTurned),
      window(std::max<std::int64_t>(keyWindow, 1)) {
    // The quarter bounds hold in every orientation only where turning the picture merely
    // reorders its quarters.
    // (and where the sums of quarters stay far within an int32).
    if (sketches.TurnsQuarters() && 765 * sketches.Pixels() <= std::int64_t{1} << 28) {
        test = shapeOnly ? Test::kShapeQuarters : Test::kChannelQuarters;
    } else {
        test = shapeOnly ? Test::kKey : Test::kChannelTotals;
    }
    features = test == Test::kChannelQuarters ? 12 : test == Test::kShapeQuarters ? 4 : 3;
    euclideanCells = test == Test::kShapeQuarters;
    // A similar pair has sum over channels of the norms of its sorted quarters' differences
    // at most 3/2 x pixels x the factor bound, which is at most half the window.
    limit = test == Test::kChannelQuarters || test == Test::kShapeQuarters
                ? static_cast<float>(window) / 2.0f * (1.0f + kFloatMargin) + 1.0f
                : static_cast<float>(window);

    std::vector<Point> points;
    points.reserve(entries.size());
    std::int64_t highest[3] = {0, 0, 0};
    for (std::size_t e = 0; e < entries.size(); ++e) {
        points.push_back(PointOf(static_cast<std::size_t>(entries[e])));
        for (int axis = 0; axis < 3; ++axis) {
            const std::int64_t c = points.back().coordinate[axis];
            lowest[axis] = e == 0 ? c : std::min(lowest[axis], c);
            highest[axis] = e == 0 ? c : std::max(highest[axis], c);
        }
    }
    // Cell numbers stay below 2^30, so that a column's two fit one key.
    std::int64_t span = 0;
    for (int axis = 0; axis < 3; ++axis) {
        span = std::max(span, highest[axis] - lowest[axis]);
    }
    cellWidth = std::max({window / kCellsPerWindow, std::int64_t{1}, (span >> 30) + 1});
    reach = window / cellWidth + 1;

    struct Placed {
        std::int64_t cell[3];
        std::size_t point;
    };
    std::vector<Placed> placed(points.size());
    for (std::size_t p = 0; p < points.size(); ++p) {
        for (int axis = 0; axis < 3; ++axis) {
            placed[p].cell[axis] = CellOf(points[p].coordinate[axis] - lowest[axis]);
        }
        placed[p].point = p;
    }
    std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return std::tie(a.cell[0], a.cell[1], a.cell[2], a.point) <
               std::tie(b.cell[0], b.cell[1], b.cell[2], b.point);
    });
    stride = placed.size() + kPadding;
    planes.assign(stride * static_cast<std::size_t>(features), 0);
    entryOf.assign(stride, -1);
    for (std::size_t at = 0; at < placed.size(); ++at) {
        const bool newCell =
            at == 0 || !std::equal(placed[at].cell, placed[at].cell + 3, placed[at - 1].cell);
        if (newCell) {
            const bool newColumn = at == 0 || placed[at].cell[0] != placed[at - 1].cell[0] ||
                                   placed[at].cell[1] != placed[at - 1].cell[1];
            const auto cell = static_cast<std::uint32_t>(cellZ.size());
            if (newColumn) {
                columns[ColumnKey(placed[at].cell[0], placed[at].cell[1])] = {cell, cell + 1};
            } else {
                columns[ColumnKey(placed[at].cell[0], placed[at].cell[1])].second = cell + 1;
            }
            cellZ.push_back(placed[at].cell[2]);
            cellStart.push_back(static_cast<std::uint32_t>(at));
        }
        const Point& point = points[placed[at].point];
        entryOf[at] = entries[placed[at].point];
        for (int f = 0; f < features; ++f) {
            planes[static_cast<std::size_t>(f) * stride + at] = point.feature[f];
        }
    }
    cellStart.push_back(static_cast<std::uint32_t>(placed.size()));
    // Where the columns are few enough, a table finds them without hashing: a row looks up
    // dozens of them.
    if (!placed.empty()) {
        cellsX = placed.back().cell[0] + 1;
        for (const Placed& p : placed) {
            cellsY = std::max(cellsY, p.cell[1] + 1);
        }
        if (cellsX * cellsY <= kMostTableColumns) {
            columnTable.assign(static_cast<std::size_t>(cellsX * cellsY), {0, 0});
            for (const auto& [key, range] : columns) {
                columnTable[static_cast<std::size_t>(
                    static_cast<std::int64_t>(key >> 32) * cellsY +
                    static_cast<std::int64_t>(key & 0xFFFFFFFFu))] = range;
            }
            columns.clear();
        }
    }
}

std::pair<std::uint32_t, std::uint32_t> CandidateIndex::ColumnAt(std::int64_t x,
                                                                 std::int64_t y) const {
    if (!columnTable.empty()) {
        return x < cellsX && y < cellsY ? columnTable[static_cast<std::size_t>(x * cellsY + y)]
                                        : std::pair<std::uint32_t, std::uint32_t>{0, 0};
    }
    const auto column = columns.find(ColumnKey(x, y));
    return column != columns.end() ? column->second : std::pair<std::uint32_t, std::uint32_t>{0, 0};
}

CandidateIndex::Point CandidateIndex::PointOf(std::size_t i) const {
    const SketchTable::Totals& totals = sketches.TotalsAt(i);
    Point point{};
    switch (test) {
        case Test::kChannelQuarters:
            for (int k = 0; k < 3; ++k) {
                std::int32_t* quarters = point.feature + 4 * k;
                for (int q = 0; q < 4; ++q) {
                    quarters[q] = totals.quarter[q][k];
                }
                if (anyOrientation) {
                    std::sort(quarters, quarters + 4);
                }
                point.coordinate[k] = totals.channel[k];
            }
            break;
        case Test::kShapeQuarters: {
            std::int32_t* s = point.feature;
            for (int q = 0; q < 4; ++q) {
                s[q] = totals.quarter[q][0] + totals.quarter[q][1] + totals.quarter[q][2];
            }
            if (anyOrientation) {
                std::sort(s, s + 4);
            }
            // Three of the orthogonal axes (1,1,1,1), (-1,-1,1,1), (1,-1,-1,1): the distance
            // along them is at most twice the norm of the quarters' difference (sorted, for
            // turned runs, which is never more than that of the quarters as they lie).
            point.coordinate[0] = std::int64_t{s[0]} + s[1] + s[2] + s[3];
            point.coordinate[1] = std::int64_t{s[2]} + s[3] - s[0] - s[1];
            point.coordinate[2] = std::int64_t{s[0]} + s[3] - s[1] - s[2];
            break;
        }
        case Test::kChannelTotals:
        case Test::kKey:
            for (int k = 0; k < 3; ++k) {
                point.feature[k] = totals.channel[k];
                point.coordinate[k] = totals.channel[k];
            }
            if (test == Test::kKey) {
                point.coordinate[0] = sketches.Key(i);
                point.coordinate[1] = 0;
                point.coordinate[2] = 0;
            }
            break;
    }
    return point;
}

std::int64_t CandidateIndex::CellOf(std::int64_t offset) const {
    // Floor division: a row outside the index may lie below its lowest cell.
    return offset >= 0 ? offset / cellWidth : -((-offset + cellWidth - 1) / cellWidth);
}

void CandidateIndex::Near(std::size_t i, std::int32_t first, std::int32_t last,
                          std::vector<std::int32_t>& out) const {
    out.clear();
    if (first >= last || entryOf.size() == kPadding) {
        return;
    }
    const Point point = PointOf(i);
    std::int64_t cell[3];
    for (int axis = 0; axis < 3; ++axis) {
        cell[axis] = CellOf(point.coordinate[axis] - lowest[axis]);
    }
    // Two entries whose cells are d apart along an axis lie at least (|d| - 1) cells apart.
    const auto cost = [this](std::int64_t d) {
        const std::int64_t gap = std::max<std::int64_t>(std::abs(d) - 1, 0) * cellWidth;
        return euclideanCells ? gap * gap : gap;
    };
    const std::int64_t budget = euclideanCells ? window * window : window;
    for (std::int64_t dx = -reach; dx <= reach; ++dx) {
        const std::int64_t costX = cost(dx);
        const std::int64_t x = cell[0] + dx;
        if (costX > budget || x < 0 || x >= (std::int64_t{1} << 31)) {
            continue;
        }
        for (std::int64_t dy = -reach; dy <= reach; ++dy) {
            const std::int64_t costXY = costX + cost(dy);
            const std::int64_t y = cell[1] + dy;
            if (costXY > budget || y < 0 || y >= (std::int64_t{1} << 31)) {
                continue;
            }
            const auto [columnFirst, columnLast] = ColumnAt(x, y);
            if (columnFirst == columnLast) {
                continue;
            }
            // The farthest cell along z still within the budget.
            std::int64_t dz = 0;
            while (dz < reach && costXY + cost(dz + 1) <= budget) {
                ++dz;
            }
            const auto from = cellZ.begin() + columnFirst;
            const auto to = cellZ.begin() + columnLast;
            const auto low = std::lower_bound(from, to, cell[2] - dz);
            const auto high = std::upper_bound(low, to, cell[2] + dz);
            ScanCells(point, static_cast<std::size_t>(low - cellZ.begin()),
                      static_cast<std::size_t>(high - cellZ.begin()), first, last, out);
        }
    }
}

void CandidateIndex::ScanCells(const Point& point, std::size_t firstCell, std::size_t lastCell,
                               std::int32_t first, std::int32_t last,
                               std::vector<std::int32_t>& out) const {
    // A row of the whole repository looks only at the entries after it: in a cell of many,
    // the part in range is found by its bounds (the entries ascend), while small neighbouring
    // cells are swept together.
    std::size_t runFrom = 0;
    std::size_t runTo = 0;
    for (std::size_t c = firstCell; c < lastCell; ++c) {
        std::size_t from = cellStart[c];
        std::size_t to = cellStart[c + 1];
        if (to - from > kNarrowedCell) {
            const auto begin = entryOf.begin();
            from = static_cast<std::size_t>(
                std::lower_bound(begin + static_cast<std::ptrdiff_t>(from),
                                 begin + static_cast<std::ptrdiff_t>(to), first) -
                begin);
            to = static_cast<std::size_t>(
                std::lower_bound(begin + static_cast<std::ptrdiff_t>(from),
                                 begin + static_cast<std::ptrdiff_t>(to), last) -
                begin);
        }
        if (from == to) {
            continue;
        }
        if (from != runTo) {
            if (runFrom != runTo) {
                Scan(point, runFrom, runTo, first, last, out);
            }
            runFrom = from;
        }
        runTo = to;
    }
    if (runFrom != runTo) {
        Scan(point, runFrom, runTo, first, last, out);
    }
}

void CandidateIndex::Scan(const Point& point, std::size_t from, std::size_t to, std::int32_t first,
                          std::int32_t last, std::vector<std::int32_t>& out) const {
    const auto span = static_cast<std::uint32_t>(last - first);
    const auto keep = [&](std::size_t at, bool near) {
        const std::int32_t j = entryOf[at];
        if (near && static_cast<std::uint32_t>(j - first) < span) {
            out.push_back(j);
        }
    };
    const auto plane = [this](int f) {
        return planes.data() + static_cast<std::size_t>(f) * stride;
    };
    if (test == Test::kChannelTotals || test == Test::kKey) {
        const std::int32_t* p0 = plane(0);
        const std::int32_t* p1 = plane(1);
        const std::int32_t* p2 = plane(2);
        for (std::size_t at = from; at < to; ++at) {
            const std::int64_t d0 = std::int64_t{p0[at]} - point.feature[0];
            const std::int64_t d1 = std::int64_t{p1[at]} - point.feature[1];
            const std::int64_t d2 = std::int64_t{p2[at]} - point.feature[2];
            const std::int64_t distance = test == Test::kKey
                                              ? std::abs(d0 + d1 + d2)
                                              : std::abs(d0) + std::abs(d1) + std::abs(d2);
            keep(at, distance <= window);
        }
        return;
    }
    // The positions the filter keeps, per thread, grown as needed.
    thread_local std::vector<std::uint32_t> kept;
    if (kept.size() < to - from + TotalsFilter::kPadding) {
        kept.resize(to - from + TotalsFilter::kPadding);
    }
    const std::size_t count =
        filter->within(planes.data(), stride, test == Test::kChannelQuarters ? 3 : 1, point.feature,
                       limit, from, to, kept.data());
    for (std::size_t c = 0; c < count; ++c) {
        keep(kept[c], true);
    }
}

}  // namespace vistrel
