// The totals filter for AVX2. Compiled with -mavx2; run only where the processor has it.

#include "TotalsFilterTargets.h"

#include <immintrin.h>

namespace vistrel {

namespace {

std::size_t WithinAvx2(const std::int32_t* planes, std::size_t stride, int channels,
                       const std::int32_t* values, float limit, std::size_t from, std::size_t to,
                       std::uint32_t* out) {
    const __m256 limits = _mm256_set1_ps(limit);
    __m256i value[4 * TotalsFilter::kChannels];
    for (int f = 0; f < 4 * channels; ++f) {
        value[f] = _mm256_set1_epi32(values[f]);
    }
    std::size_t kept = 0;
    for (std::size_t p = from; p < to; p += 8) {
        __m256 distance = _mm256_setzero_ps();
        for (int k = 0; k < channels; ++k) {
            __m256 squares = _mm256_setzero_ps();
            for (int q = 0; q < 4; ++q) {
                const int f = 4 * k + q;
                const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                    planes + static_cast<std::size_t>(f) * stride + p));
                const __m256 d = _mm256_cvtepi32_ps(_mm256_sub_epi32(x, value[f]));
                squares = _mm256_add_ps(squares, _mm256_mul_ps(d, d));
            }
            distance = _mm256_add_ps(distance, _mm256_sqrt_ps(squares));
        }
        auto near =
            static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(distance, limits, _CMP_LE_OQ)));
        // The lanes past `to` read the next values or the padding: never kept.
        if (to - p < 8) {
            near &= (1u << (to - p)) - 1u;
        }
        // Few entries are near at all: one at a time.
        while (near != 0) {
            out[kept++] =
                static_cast<std::uint32_t>(p + static_cast<unsigned>(__builtin_ctz(near)));
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
