#include "ComparisonPairs.h"

namespace vistrel {

ComparisonPairs::ComparisonPairs(std::vector<SignatureBytes> signaturesByEntry,
                                 std::int32_t targetEntry)
    : signatures(std::move(signaturesByEntry)), target(targetEntry) {
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
