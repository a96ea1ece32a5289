// The totals filter for AVX-512 (F). Compiled with those instructions; run only where the
// processor has them.

#include "TotalsFilterTargets.h"

#include <immintrin.h>

#include <algorithm>

namespace vistrel {

namespace {

std::size_t WithinAvx512(const std::int32_t* const planes[3], const std::int32_t values[3],
                         std::int32_t limit, std::int32_t first, std::int32_t last,
                         std::int32_t* out) {
    const __m512i value0 = _mm512_set1_epi32(values[0]);
    const __m512i value1 = _mm512_set1_epi32(values[1]);
    const __m512i value2 = _mm512_set1_epi32(values[2]);
    const __m512i limits = _mm512_set1_epi32(limit);
    const __m512i sixteen = _mm512_set1_epi32(16);
    __m512i entries =
        _mm512_add_epi32(_mm512_set1_epi32(first),
                         _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    std::size_t kept = 0;
    for (std::int32_t j = first; j < last; j += 16) {
        const __m512i distance = _mm512_add_epi32(
            _mm512_add_epi32(
                _mm512_abs_epi32(_mm512_sub_epi32(_mm512_loadu_si512(planes[0] + j), value0)),
                _mm512_abs_epi32(_mm512_sub_epi32(_mm512_loadu_si512(planes[1] + j), value1))),
            _mm512_abs_epi32(_mm512_sub_epi32(_mm512_loadu_si512(planes[2] + j), value2)));
        // The lanes past `last` read the padding: never kept.
        const auto inRange = static_cast<__mmask16>(0xFFFFu >> (16 - std::min(16, last - j)));
        const __mmask16 near = _mm512_mask_cmple_epi32_mask(inRange, distance, limits);
        // Compressed in a register and stored whole: the output has room past its end.
        _mm512_storeu_si512(out + kept, _mm512_maskz_compress_epi32(near, entries));
        kept += static_cast<std::size_t>(__builtin_popcount(near));
        entries = _mm512_add_epi32(entries, sixteen);
    }
    return kept;
}

const TotalsFilter kAvx512{"avx512", WithinAvx512, SimdLevel::kAvx512};

}  // namespace

const TotalsFilter* Avx512TotalsFilter() {
    return &kAvx512;
}

}  // namespace vistrel
