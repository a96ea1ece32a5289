#include "ComparisonPairs.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace vistrel {

ComparisonPairs::ComparisonPairs(std::vector<SignatureBytes> signaturesByEntry,
                                 std::int32_t targetEntry, std::int32_t side)
    : signatures(std::move(signaturesByEntry)),
      target(targetEntry),
      sketches(std::make_unique<const SketchTable>(signatures, side)) {
    for (std::size_t i = 0; i < signatures.size(); ++i) {
        if (!signatures[i].empty()) {
            byKey.emplace_back(sketches->Key(i), static_cast<std::int32_t>(i));
        }
    }
    std::sort(byKey.begin(), byKey.end());
    const auto n = static_cast<std::uint64_t>(signatures.size());
    if (target >= 0) {
        count = n >= 1 ? n - 1 : 0;
    } else {
        count = n * (n >= 1 ? n - 1 : 0) / 2;
    }
}

PairInfo ComparisonPairs::MakePair(std::int32_t a, std::int32_t b) const {
    // The first entry of the pair is indexA, but its signature goes into signatureB: the order
    // in which the links of a similar pair are recorded depends on it.
    return PairInfo{signatures[static_cast<std::size_t>(b)].data(),
                    signatures[static_cast<std::size_t>(a)].data(), a, b, 0.0f};
}

std::uint64_t ComparisonPairs::RowStart(std::int64_t i) const {
    const auto n = static_cast<std::int64_t>(signatures.size());
    return static_cast<std::uint64_t>(i * (2 * n - i - 1) / 2);
}

void ComparisonPairs::CandidatesNear(std::int32_t i, std::int64_t window, std::int32_t first,
                                     std::int32_t last, std::vector<std::int32_t>& out) const {
    out.clear();
    const std::int64_t key = sketches->Key(static_cast<std::size_t>(i));
    const auto low =
        std::lower_bound(byKey.begin(), byKey.end(), std::make_pair(key - window, INT32_MIN));
    const auto high =
        std::upper_bound(byKey.begin(), byKey.end(), std::make_pair(key + window, INT32_MAX));
    // A window wider than the range asked for is cheaper to test entry by entry.
    if (high - low > static_cast<std::ptrdiff_t>(last - first) / 2) {
        for (std::int32_t j = first; j < last; ++j) {
            if (!signatures[static_cast<std::size_t>(j)].empty() &&
                std::abs(sketches->Key(static_cast<std::size_t>(j)) - key) <= window) {
                out.push_back(j);
            }
        }
        return;
    }
    for (auto it = low; it != high; ++it) {
        if (it->second >= first && it->second < last) {
            out.push_back(it->second);
        }
    }
    std::sort(out.begin(), out.end());
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
