#include "BlockedComparison.h"

#include "comparison/kernels/DifferenceFactor.h"
#include "comparison/kernels/DifferenceKernel.h"

#include <algorithm>
#include <climits>

namespace vistrel {

namespace {

constexpr int kRows = BlockedKernel::kRows;
constexpr int kColumns = BlockedKernel::kColumns;

}  // namespace

BlockedComparison::BlockedComparison(const BlockedKernel& blockedKernel,
                                     const ComparisonPairs& runPairs, std::int32_t side,
                                     float thresholdPercent, bool shapeOnlyMode)
    : kernel(blockedKernel),
      pairs(runPairs),
      pixels(static_cast<std::size_t>(side) * static_cast<std::size_t>(side)),
      threshold(thresholdPercent),
      shapeOnly(shapeOnlyMode),
      blank(3 * pixels, 0) {
    static_assert(kColumnsPerPanel % kColumns == 0);
    columnPlanes.Reset(kColumnsPerPanel + 1, pixels, shapeOnly);
    columnPlanes.Fill(kColumnsPerPanel, kernel, blank.data());
}

bool BlockedComparison::Compare(const std::vector<RowRange>& rows, std::vector<Found>& found,
                                const std::function<bool(std::size_t)>& stopDue) {
    liveRows.clear();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (pairs.Signature(rows[r].row) != nullptr) {
            liveRows.push_back(r);
        }
    }
    for (std::size_t tile = 0; tile < liveRows.size(); tile += kRowsPerTile) {
        const std::size_t tileEnd = std::min(liveRows.size(), tile + kRowsPerTile);
        rowPlanes.Reset(tileEnd - tile, pixels, shapeOnly);
        std::int32_t first = INT32_MAX;
        std::int32_t last = INT32_MIN;
        for (std::size_t t = tile; t < tileEnd; ++t) {
            const RowRange& range = rows[liveRows[t]];
            rowPlanes.Fill(t - tile, kernel, pairs.Signature(range.row));
            first = std::min(first, range.first);
            last = std::max(last, range.last);
        }
        for (std::int32_t j = first; j < last;) {
            j = FillPanel(j, last);
            for (std::size_t at = tile; at < tileEnd && panelSize > 0; at += kRows) {
                if (stopDue(CompareBlockRow(rows, tile, tileEnd, at, found))) {
                    return true;
                }
            }
        }
    }
    return false;
}

std::int32_t BlockedComparison::FillPanel(std::int32_t from, std::int32_t last) {
    panelSize = 0;
    std::int32_t j = from;
    for (; j < last && panelSize < kColumnsPerPanel; ++j) {
        if (const std::uint8_t* signature = pairs.Signature(j)) {
            const auto slot = static_cast<std::size_t>(panelSize);
            columnAt[slot] = j;
            panel[slot] = &columnPlanes.Fill(slot, kernel, signature);
            ++panelSize;
        }
    }
    for (int c = panelSize; c < kColumnsPerPanel; ++c) {
        panel[c] = &columnPlanes[kColumnsPerPanel];
    }
    return j;
}

std::size_t BlockedComparison::CompareBlockRow(const std::vector<RowRange>& rows, std::size_t tile,
                                               std::size_t tileEnd, std::size_t at,
                                               std::vector<Found>& found) {
    const int rowCount = static_cast<int>(std::min<std::size_t>(kRows, tileEnd - at));
    const SignaturePlanes* rowBlock[kRows];
    bool wanted = false;
    for (int r = 0; r < kRows; ++r) {
        if (r >= rowCount) {
            rowBlock[r] = &columnPlanes[kColumnsPerPanel];
            continue;
        }
        const auto index = at + static_cast<std::size_t>(r);
        rowBlock[r] = &rowPlanes[index - tile];
        const RowRange& range = rows[liveRows[index]];
        wanted = wanted || (range.first <= columnAt[panelSize - 1] && columnAt[0] < range.last);
    }
    if (!wanted) {
        return 0;  // a row block wholly past (or before) the panel, as near the diagonal
    }
    std::size_t decided = 0;
    for (int group = 0; group * kColumns < panelSize; ++group) {
        BlockedKernel::BlockSums sums;
        kernel.blockSquares(rowBlock, panel + group * kColumns, pixels, shapeOnly, sums);
        for (int r = 0; r < rowCount; ++r) {
            const std::size_t row = liveRows[at + static_cast<std::size_t>(r)];
            const RowRange& range = rows[row];
            for (int c = 0; c < kColumns && group * kColumns + c < panelSize; ++c) {
                const std::int32_t j = columnAt[group * kColumns + c];
                if (j < range.first || j >= range.last) {
                    continue;
                }
                ++decided;
                const auto pixelCount = static_cast<std::int64_t>(pixels);
                const float factor = shapeOnly ? FactorFromShapeSum(sums[r][c][0], pixelCount)
                                               : FactorFromChannelSums(sums[r][c], pixelCount);
                if (IsSimilarFactor(factor, threshold)) {
                    found[row].emplace_back(j, factor);
                }
            }
        }
    }
    return decided;
}

}  // namespace vistrel
