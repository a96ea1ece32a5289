#include "ComparisonPairs.h"

#include "PairDecision.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace vistrel {

ComparisonPairs::ComparisonPairs(std::vector<SignatureBytes> signaturesByEntry,
                                 std::int32_t targetEntry, std::int32_t side,
                                 float thresholdPercent, bool shapeOnlyMode, PairScope pairScope)
    : signatures(std::move(signaturesByEntry)),
      target(targetEntry),
      scope(std::move(pairScope)),
      sketches(std::make_unique<const SketchTable>(signatures, side)),
      window(PairDecision::KeyWindow(thresholdPercent, static_cast<std::int64_t>(side) * side)),
      shapeOnly(shapeOnlyMode) {
    signatureData.reserve(signatures.size());
    for (const SignatureBytes& signature : signatures) {
        signatureData.push_back(signature.data());
    }
    std::vector<std::pair<std::int64_t, std::int32_t>> byKey;
    for (std::size_t i = 0; i < signatures.size(); ++i) {
        if (!signatures[i].empty()) {
            byKey.emplace_back(sketches->Key(i), static_cast<std::int32_t>(i));
        }
    }
    std::sort(byKey.begin(), byKey.end());
    sortedKeys.reserve(byKey.size());
    sortedEntries.reserve(byKey.size());
    for (const auto& [key, entry] : byKey) {
        sortedKeys.push_back(key);
        sortedEntries.push_back(entry);
    }
    if (!shapeOnly) {
        for (std::size_t i = 0; i < signatures.size(); ++i) {
            if (!signatures[i].empty()) {
                cubes[CubeOf(i, 0, 0, 0)].push_back(static_cast<std::int32_t>(i));
            }
        }
    }
    // A protected row needs only the entries outside: with most entries protected, looking
    // through all of them would cost the run as much as comparing every pair did.
    openIndexed = target < 0 && scope.ProtectsAny();
    if (openIndexed) {
        for (const auto& [key, entry] : byKey) {
            if (!scope.IsProtected(entry)) {
                openSortedKeys.push_back(key);
                openSortedEntries.push_back(entry);
            }
        }
        if (!shapeOnly) {
            for (const std::int32_t entry : openSortedEntries) {
                openCubes[CubeOf(static_cast<std::size_t>(entry), 0, 0, 0)].push_back(entry);
            }
            for (auto& [cube, entries] : openCubes) {
                std::sort(entries.begin(), entries.end());
            }
        }
    }
    const auto n = static_cast<std::uint64_t>(signatures.size());
    if (target >= 0) {
        count = n >= 1 ? n - 1 : 0;
    } else {
        count = n * (n >= 1 ? n - 1 : 0) / 2;
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

std::uint64_t ComparisonPairs::RowStart(std::int64_t i) const {
    const auto n = static_cast<std::int64_t>(signatures.size());
    return static_cast<std::uint64_t>(i * (2 * n - i - 1) / 2);
}

std::uint64_t ComparisonPairs::CubeOf(std::size_t i, int dx, int dy, int dz) const {
    const auto& totals = signatures[i].Sketch().channelTotals;
    // Channel totals are below 2^31, so each cube number fits 21 bits with room for -1.
    const auto coordinate = [this](std::int32_t total, int delta) {
        return static_cast<std::uint64_t>(total / window + 1 + delta) & 0x1FFFFF;
    };
    return coordinate(totals[0], dx) << 42 | coordinate(totals[1], dy) << 21 |
           coordinate(totals[2], dz);
}

void ComparisonPairs::CandidatesInCubes(
    const std::unordered_map<std::uint64_t, std::vector<std::int32_t>>& in, std::int32_t i,
    std::int32_t first, std::int32_t last, std::vector<std::int32_t>& out) const {
    out.clear();
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dz = -1; dz <= 1; ++dz) {
                const auto cube = in.find(CubeOf(static_cast<std::size_t>(i), dx, dy, dz));
                if (cube == in.end()) {
                    continue;
                }
                // Entries are in index order: skip to the range asked for.
                const std::vector<std::int32_t>& entries = cube->second;
                for (auto it = std::lower_bound(entries.begin(), entries.end(), first);
                     it != entries.end() && *it < last; ++it) {
                    out.push_back(*it);
                }
            }
        }
    }
}

void ComparisonPairs::CandidatesNear(std::int32_t i, std::int32_t first, std::int32_t last,
                                     std::vector<std::int32_t>& out) const {
    const bool open = openIndexed && scope.IsProtected(i);
    if (!shapeOnly) {
        CandidatesInCubes(open ? openCubes : cubes, i, first, last, out);
        return;
    }
    const std::vector<std::int64_t>& keys = open ? openSortedKeys : sortedKeys;
    const std::vector<std::int32_t>& entries = open ? openSortedEntries : sortedEntries;
    const std::int64_t key = sketches->Key(static_cast<std::size_t>(i));
    const auto low = static_cast<std::size_t>(
        std::lower_bound(keys.begin(), keys.end(), key - window) - keys.begin());
    const auto high = static_cast<std::size_t>(
        std::upper_bound(keys.begin(), keys.end(), key + window) - keys.begin());
    // A window wider than the range asked for is cheaper to test entry by entry.
    if (high - low > static_cast<std::size_t>(last - first) / 2) {
        out.clear();
        for (std::int32_t j = first; j < last; ++j) {
            if (!signatures[static_cast<std::size_t>(j)].empty() &&
                std::abs(sketches->Key(static_cast<std::size_t>(j)) - key) <= window) {
                out.push_back(j);
            }
        }
        return;
    }
    // Without branches: every entry of the window is written, and kept when in range.
    out.resize(high - low);
    std::size_t kept = 0;
    const auto from = static_cast<std::uint32_t>(first);
    const auto span = static_cast<std::uint32_t>(last - first);
    for (std::size_t at = low; at < high; ++at) {
        const std::int32_t j = entries[at];
        out[kept] = j;
        kept += static_cast<std::uint32_t>(j) - from < span ? 1 : 0;
    }
    out.resize(kept);
}

std::int32_t ComparisonPairs::RowOf(std::uint64_t k) const {
    // The last row whose start is at or before k.
    std::int64_t low = 0;
    std::int64_t high = static_cast<std::int64_t>(signatures.size()) - 2;
    while (low < high) {
        const std::int64_t middle = (low + high + 1) / 2;
        if (RowStart(middle) <= k) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return static_cast<std::int32_t>(low);
}

}  // namespace vistrel
