#pragma once

#include "PairInfo.h"
#include "SignatureBytes.h"

#include <cstdint>
#include <vector>

namespace vistrel {

/// The pairs of one comparison run, generated on demand in the run's order instead of being
/// held as a list: the test of the whole repository gives (0,1), (0,2), ..., (0,n-1), (1,2), ...,
/// (n-2,n-1); the search for entry t gives (0,t), (1,t), ... skipping (t,t). It holds its own
/// references to the signatures. Immutable after construction; any thread.
class ComparisonPairs {
public:
    /// `signatures` by entry index (empty for an entry that takes part in no comparison);
    /// `target` below 0 for the whole repository, else the entry to search for.
    ComparisonPairs(std::vector<SignatureBytes> signatures, std::int32_t target);

    /// Number of pairs of the run.
    std::uint64_t Count() const { return count; }

    /// Calls visit(pair) for the pairs numbered first, first + 1, ... (at most `limit` of them,
    /// never past the end) until visit returns false. Returns the number of pairs visited.
    template <typename Visit>
    std::uint64_t VisitPairs(std::uint64_t first, std::uint64_t limit, Visit&& visit) const;

private:
    PairInfo MakePair(std::int32_t a, std::int32_t b) const;
    /// The row i of the whole-repository order that pair number k falls in.
    std::int32_t RowOf(std::uint64_t k) const;
    /// Number of pairs before row i in the whole-repository order.
    std::uint64_t RowStart(std::int64_t i) const;

    std::vector<SignatureBytes> signatures;
    std::int32_t target;
    std::uint64_t count;
};

template <typename Visit>
std::uint64_t ComparisonPairs::VisitPairs(std::uint64_t first, std::uint64_t limit,
                                          Visit&& visit) const {
    if (first >= count) {
        return 0;
    }
    const std::uint64_t last = first + std::min(limit, count - first);
    const auto n = static_cast<std::int32_t>(signatures.size());
    std::uint64_t visited = 0;
    if (target >= 0) {
        for (std::uint64_t k = first; k < last; ++k) {
            const auto i =
                static_cast<std::int32_t>(k < static_cast<std::uint64_t>(target) ? k : k + 1);
            ++visited;
            if (!visit(MakePair(i, target))) {
                break;
            }
        }
        return visited;
    }
    std::int32_t i = RowOf(first);
    auto j = static_cast<std::int32_t>(first - RowStart(i)) + i + 1;
    for (std::uint64_t k = first; k < last; ++k) {
        ++visited;
        if (!visit(MakePair(i, j))) {
            break;
        }
        if (++j == n) {
            ++i;
            j = i + 1;
        }
    }
    return visited;
}

}  // namespace vistrel
