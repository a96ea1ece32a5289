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
    signedEntries = byKey.size();
    // Every total and key is at most 3 x 255 x pixels: the planes hold them when the filter can.
    if (765 * static_cast<std::int64_t>(side) * side <= TotalsFilter::kMaxTotal) {
        filter = &ActiveTotalsFilter();
        filterLimit =
            static_cast<std::int32_t>(std::min<std::int64_t>(window, TotalsFilter::kMaxTotal));
        for (auto& plane : planes) {
            plane.assign(signatures.size() + TotalsFilter::kPadding, 0);
        }
        for (std::size_t i = 0; i < signatures.size(); ++i) {
            if (signatures[i].empty()) {
                planes[0][i] = TotalsFilter::kAbsent;
            } else if (shapeOnly) {
                planes[0][i] = static_cast<std::int32_t>(sketches->Key(i));
            } else {
                for (std::size_t k = 0; k < 3; ++k) {
                    planes[k][i] = sketches->TotalsAt(i).channel[k];
                }
            }
        }
    }
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
    const std::vector<std::int32_t>* near[27];
    std::size_t nearCount = 0;
    std::size_t entriesNear = 0;
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dz = -1; dz <= 1; ++dz) {
                const auto cube = in.find(CubeOf(static_cast<std::size_t>(i), dx, dy, dz));
                if (cube != in.end()) {
                    near[nearCount++] = &cube->second;
                    entriesNear += cube->second.size();
                }
            }
        }
    }
    // Where the cubes hold more than a small share of the entries (a lax threshold), sweeping
    // the range with the filter costs less than taking their entries and bounding each pair.
    constexpr std::size_t kSweepAbove = 16;
    if (filter != nullptr && entriesNear * kSweepAbove > signedEntries) {
        Sweep(i, first, last, &in == &openCubes, out);
        return;
    }
    out.clear();
    for (std::size_t c = 0; c < nearCount; ++c) {
        // Entries are in index order: skip to the range asked for.
        const std::vector<std::int32_t>& entries = *near[c];
        for (auto it = std::lower_bound(entries.begin(), entries.end(), first);
             it != entries.end() && *it < last; ++it) {
            out.push_back(*it);
        }
    }
}

void ComparisonPairs::Sweep(std::int32_t i, std::int32_t first, std::int32_t last, bool open,
                            std::vector<std::int32_t>& out) const {
    if (first >= last) {
        out.clear();
        return;
    }
    const std::int32_t* const planeData[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
    const auto entry = static_cast<std::size_t>(i);
    const std::int32_t values[3] = {planes[0][entry], planes[1][entry], planes[2][entry]};
    out.resize(static_cast<std::size_t>(last - first + TotalsFilter::kPadding));
    out.resize(filter->within(planeData, values, filterLimit, first, last, out.data()));
    if (open) {
        std::erase_if(out, [this](std::int32_t j) { return scope.IsProtected(j); });
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
    // A window wider than a share of the range asked for is cheaper to sweep entry by entry.
    if (filter != nullptr && (high - low) * 4 > static_cast<std::size_t>(last - first)) {
        Sweep(i, first, last, open, out);
        return;
    }
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
