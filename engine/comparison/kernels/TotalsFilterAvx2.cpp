// The totals filter for AVX2. Compiled with -mavx2; run only where the processor has it.

#include "TotalsFilterTargets.h"

#include <immintrin.h>

#include <algorithm>

namespace vistrel {

namespace {

std::size_t WithinAvx2(const std::int32_t* const planes[3], const std::int32_t values[3],
                       std::int32_t limit, std::int32_t first, std::int32_t last,
                       std::int32_t* out) {
    const __m256i value0 = _mm256_set1_epi32(values[0]);
    const __m256i value1 = _mm256_set1_epi32(values[1]);
    const __m256i value2 = _mm256_set1_epi32(values[2]);
    const __m256i limits = _mm256_set1_epi32(limit);
    std::size_t kept = 0;
    for (std::int32_t j = first; j < last; j += 8) {
        const auto load = [j](const std::int32_t* plane) {
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(plane + j));
        };
        const __m256i distance = _mm256_add_epi32(
            _mm256_add_epi32(_mm256_abs_epi32(_mm256_sub_epi32(load(planes[0]), value0)),
                             _mm256_abs_epi32(_mm256_sub_epi32(load(planes[1]), value1))),
            _mm256_abs_epi32(_mm256_sub_epi32(load(planes[2]), value2)));
        const __m256i far = _mm256_cmpgt_epi32(distance, limits);
        auto near = static_cast<unsigned>(~_mm256_movemask_ps(_mm256_castsi256_ps(far))) & 0xFFu;
        // The lanes past `last` read the padding: never kept.
        near &= 0xFFu >> (8 - std::min(8, last - j));
        // Few entries are near at all but the laxest thresholds: one at a time.
        while (near != 0) {
            out[kept++] = j + __builtin_ctz(near);
            near &= near - 1;
        }
    }
    return kept;
}

const TotalsFilter kAvx2{"avx2", WithinAvx2, SimdLevel::kAvx2};

}  // namespace

const TotalsFilter* Avx2TotalsFilter() {
    return &kAvx2;
}

}  // namespace vistrel
