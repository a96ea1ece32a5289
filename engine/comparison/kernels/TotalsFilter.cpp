#include "TotalsFilter.h"

#include "TotalsFilterTargets.h"

#include <array>
#include <cmath>

namespace vistrel {

namespace {

std::size_t WithinScalar(const std::int32_t* planes, std::size_t stride, int channels,
                         const std::int32_t* values, float limit, std::size_t from, std::size_t to,
                         std::uint32_t* out) {
    std::size_t kept = 0;
    for (std::size_t p = from; p < to; ++p) {
        float distance = 0.0f;
        for (int k = 0; k < channels; ++k) {
            float squares = 0.0f;
            for (int q = 0; q < 4; ++q) {
                const auto f = static_cast<std::size_t>(4 * k + q);
                const auto d = static_cast<float>(planes[f * stride + p] - values[f]);
                squares += d * d;
            }
            distance += std::sqrt(squares);
        }
        if (distance <= limit) {
            out[kept++] = static_cast<std::uint32_t>(p);
        }
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
