// The difference kernel for AVX-512 (F and BW). Compiled with those instructions; run only where
// the processor has them.

#include "DifferenceKernelTargets.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

namespace vistrel {

std::int64_t ShapeSquaresForAvx512(const std::uint8_t* a, const std::uint8_t* b,
                                   std::size_t pixels);

namespace {

constexpr std::size_t kBlocksPerFlush = 8192;

void ChannelSquaresAvx512(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixels,
                          std::int64_t sums[3]) {
    const std::size_t blocks = pixels * 3 / 96;  // 32 pixels each
    const __m512i evenElements = _mm512_set1_epi32(0x0000FFFF);
    std::size_t block = 0;
    while (block < blocks) {
        __m512i acc[6];
        for (__m512i& lane : acc) {
            lane = _mm512_setzero_si512();
        }
        const std::size_t end = std::min(blocks, block + kBlocksPerFlush);
        for (; block < end; ++block) {
            for (int v = 0; v < 3; ++v) {
                const std::size_t at = 96 * block + 32 * v;
                const __m512i va = _mm512_cvtepu8_epi16(
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + at)));
                const __m512i vb = _mm512_cvtepu8_epi16(
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + at)));
                const __m512i d = _mm512_sub_epi16(va, vb);
                acc[2 * v] = _mm512_add_epi32(
                    acc[2 * v], _mm512_madd_epi16(d, _mm512_and_si512(d, evenElements)));
                acc[2 * v + 1] = _mm512_add_epi32(
                    acc[2 * v + 1], _mm512_madd_epi16(d, _mm512_andnot_si512(evenElements, d)));
            }
        }
        // Lane i of acc[2v + parity] belongs to byte 32v + 2i + parity of each block.
        for (int v = 0; v < 3; ++v) {
            for (int parity = 0; parity < 2; ++parity) {
                alignas(64) std::int32_t lanes[16];
                _mm512_store_si512(lanes, acc[2 * v + parity]);
                for (int i = 0; i < 16; ++i) {
                    sums[(32 * v + 2 * i + parity) % 3] += lanes[i];
                }
            }
        }
    }
    for (std::size_t p = blocks * 32; p < pixels; ++p) {
        for (int k = 0; k < 3; ++k) {
            const std::int64_t d = a[3 * p + k] - b[3 * p + k];
            sums[k] += d * d;
        }
    }
}

const DifferenceKernel kAvx512{"avx512", ChannelSquaresAvx512, ShapeSquaresForAvx512,
                               SimdLevel::kAvx512};

}  // namespace

const DifferenceKernel* Avx512Kernel() {
    return &kAvx512;
}

}  // namespace vistrel
