// The totals filter for AVX-512 (F). Compiled with those instructions; run only where the
// processor has them.

#include "TotalsFilterTargets.h"

#include <immintrin.h>

namespace vistrel {

namespace {

std::size_t WithinAvx512(const std::int32_t* planes, std::size_t stride, int channels,
                         const std::int32_t* values, float limit, std::size_t from, std::size_t to,
                         std::uint32_t* out) {
    const __m512 limits = _mm512_set1_ps(limit);
    __m512i value[4 * TotalsFilter::kChannels];
    for (int f = 0; f < 4 * channels; ++f) {
        value[f] = _mm512_set1_epi32(values[f]);
    }
    const __m512i sixteen = _mm512_set1_epi32(16);
    __m512i positions =
        _mm512_add_epi32(_mm512_set1_epi32(static_cast<std::int32_t>(from)),
                         _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    std::size_t kept = 0;
    for (std::size_t p = from; p < to; p += 16) {
        __m512 distance = _mm512_setzero_ps();
        for (int k = 0; k < channels; ++k) {
            __m512 squares = _mm512_setzero_ps();
            for (int q = 0; q < 4; ++q) {
                const int f = 4 * k + q;
                const __m512i x =
                    _mm512_loadu_si512(planes + static_cast<std::size_t>(f) * stride + p);
                const __m512 d = _mm512_cvtepi32_ps(_mm512_sub_epi32(x, value[f]));
                squares = _mm512_fmadd_ps(d, d, squares);
            }
            distance = _mm512_add_ps(distance, _mm512_sqrt_ps(squares));
        }
        // The lanes past `to` read the next values or the padding: never kept.
        const auto inRange = static_cast<__mmask16>(to - p >= 16 ? 0xFFFFu : (1u << (to - p)) - 1u);
        const __mmask16 near = _mm512_mask_cmp_ps_mask(inRange, distance, limits, _CMP_LE_OQ);
        // Compressed in a register and stored whole: the output has room past its end.
        _mm512_storeu_si512(out + kept, _mm512_maskz_compress_epi32(near, positions));
        kept += static_cast<std::size_t>(__builtin_popcount(near));
        positions = _mm512_add_epi32(positions, sixteen);
    }
    return kept;
}

const TotalsFilter kAvx512{"avx512", WithinAvx512, SimdLevel::kAvx512};

}  // namespace

const TotalsFilter* Avx512TotalsFilter() {
    return &kAvx512;
}

}  // namespace vistrel
