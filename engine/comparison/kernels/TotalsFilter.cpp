#include "TotalsFilter.h"

#include "TotalsFilterTargets.h"

#include <array>
#include <cstdlib>

namespace vistrel {

namespace {

std::size_t WithinScalar(const std::int32_t* const planes[3], const std::int32_t values[3],
                         std::int32_t limit, std::int32_t first, std::int32_t last,
                         std::int32_t* out) {
    std::size_t kept = 0;
    for (std::int32_t j = first; j < last; ++j) {
        const std::int32_t distance = std::abs(planes[0][j] - values[0]) +
                                      std::abs(planes[1][j] - values[1]) +
                                      std::abs(planes[2][j] - values[2]);
        // Without branches: every entry is written, and kept when near.
        out[kept] = j;
        kept += distance <= limit ? 1 : 0;
    }
    return kept;
}

const TotalsFilter kScalar{"scalar", WithinScalar, SimdLevel::kScalar};

}  // namespace

const TotalsFilter& ScalarTotalsFilter() {
    return kScalar;
}

std::vector<const TotalsFilter*> AvailableTotalsFilters() {
    std::vector<const TotalsFilter*> filters{&kScalar};
    for (const TotalsFilter* filter : {Avx2TotalsFilter(), Avx512TotalsFilter()}) {
        if (ProcessorHas(filter->level)) {
            filters.push_back(filter);
        }
    }
    return filters;
}

const TotalsFilter& ActiveTotalsFilter() {
    // The best version within each level, worked out once: the choice is a lookup per call.
    static const auto bestForLevel = [] {
        std::array<const TotalsFilter*, kSimdLevels> best{};
        for (std::size_t level = 0; level < kSimdLevels; ++level) {
            for (const TotalsFilter* filter : AvailableTotalsFilters()) {
                if (static_cast<std::size_t>(filter->level) <= level) {
                    best[level] = filter;
                }
            }
        }
        return best;
    }();
    return *bestForLevel[static_cast<std::size_t>(ActiveSimdLevel())];
}

}  // namespace vistrel
