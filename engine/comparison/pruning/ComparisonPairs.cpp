#include "ComparisonPairs.h"

#include "PairDecision.h"

#include <algorithm>

namespace vistrel {

ComparisonPairs::ComparisonPairs(std::vector<SignatureBytes> signaturesByEntry,
                                 std::int32_t targetEntry, std::int32_t side,
                                 float thresholdPercent, bool shapeOnlyMode, PairScope pairScope,
                                 bool anyOrientation)
    : signatures(std::move(signaturesByEntry)),
      target(targetEntry),
      scope(std::move(pairScope)),
      sketches(std::make_unique<const SketchTable>(signatures, side)) {
    const std::int64_t window =
        PairDecision::KeyWindow(thresholdPercent, static_cast<std::int64_t>(side) * side);
    signatureData.reserve(signatures.size());
    std::vector<std::int32_t> signedEntries;
    std::vector<std::int32_t> openEntries;
    for (std::size_t i = 0; i < signatures.size(); ++i) {
        signatureData.push_back(signatures[i].data());
        if (!signatures[i].empty()) {
            signedEntries.push_back(static_cast<std::int32_t>(i));
            if (!scope.IsProtected(static_cast<std::int32_t>(i))) {
                openEntries.push_back(static_cast<std::int32_t>(i));
            }
        }
    }
    index = std::make_unique<const CandidateIndex>(*sketches, signedEntries, window, shapeOnlyMode,
                                                   anyOrientation);
    if (target < 0 && scope.ProtectsAny()) {
        openIndex = std::make_unique<const CandidateIndex>(*sketches, openEntries, window,
                                                           shapeOnlyMode, anyOrientation);
    }
    const auto n = static_cast<std::uint64_t>(signatures.size());
    if (target >= 0) {
        count = n >= 1 ? n - 1 : 0;
    } else {
        count = n * (n >= 1 ? n - 1 : 0) / 2;
        // The entries without a signature have rows too, compared with nothing.
        rowOrder = index->EntriesInCellOrder();
        for (std::size_t i = 0; i < signatures.size(); ++i) {
            if (signatures[i].empty()) {
                rowOrder.push_back(static_cast<std::int32_t>(i));
            }
        }
        rowStarts.reserve(rowOrder.size() + 1);
        rowStarts.push_back(0);
        for (const std::int32_t entry : rowOrder) {
            rowStarts.push_back(rowStarts.back() + (n - 1 - static_cast<std::uint64_t>(entry)));
        }
    }
    if (!scope.IsEmpty()) {
        const auto entries = static_cast<std::int32_t>(n);
        if (target >= 0) {
            skipped = scope.SkippedIn(target, 0, entries);
        } else {
            for (std::int32_t i = 0; i + 1 < entries; ++i) {
                skipped += scope.SkippedIn(i, i + 1, entries);
            }
        }
    }
}

void ComparisonPairs::CandidatesNear(std::int32_t i, std::int32_t first, std::int32_t last,
                                     std::vector<std::int32_t>& out) const {
    const bool open = openIndex != nullptr && scope.IsProtected(i);
    (open ? openIndex : index)->Near(static_cast<std::size_t>(i), first, last, out);
}

std::int32_t ComparisonPairs::RowOf(std::uint64_t k) const {
    // The last place whose row starts at or before k: rows without pairs start where the next
    // does, and the last of them is the one that holds k.
    const auto after = std::upper_bound(rowStarts.begin(), rowStarts.end(), k);
    return static_cast<std::int32_t>(after - rowStarts.begin()) - 1;
}

}  // namespace vistrel
