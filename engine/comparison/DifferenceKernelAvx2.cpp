// The difference kernel for AVX2. Compiled with -mavx2; run only where the processor has it.

#include "DifferenceKernelTargets.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

namespace vistrel {

namespace {

// A 32-bit lane takes at most 65,025 per block of 48 bytes; flushing to 64 bits every so many
// blocks keeps it from overflowing.
constexpr std::size_t kChannelBlocksPerFlush = 8192;
constexpr std::size_t kShapeBlocksPerFlush = 1024;

void ChannelSquaresAvx2(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixels,
                        std::int64_t sums[3]) {
    const std::size_t blocks = pixels * 3 / 48;  // 16 pixels each
    const __m256i evenElements = _mm256_set1_epi32(0x0000FFFF);
    std::size_t block = 0;
    while (block < blocks) {
        // acc[2v] holds the squares of the even 16-bit elements of vector v, acc[2v+1] the odd.
        __m256i acc[6];
        for (__m256i& lane : acc) {
            lane = _mm256_setzero_si256();
        }
        const std::size_t end = std::min(blocks, block + kChannelBlocksPerFlush);
        for (; block < end; ++block) {
            for (int v = 0; v < 3; ++v) {
                const std::size_t at = 48 * block + 16 * v;
                const __m256i va =
                    _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at)));
                const __m256i vb =
                    _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at)));
                const __m256i d = _mm256_sub_epi16(va, vb);
                acc[2 * v] = _mm256_add_epi32(
                    acc[2 * v], _mm256_madd_epi16(d, _mm256_and_si256(d, evenElements)));
                acc[2 * v + 1] = _mm256_add_epi32(
                    acc[2 * v + 1], _mm256_madd_epi16(d, _mm256_andnot_si256(evenElements, d)));
            }
        }
        // Lane i of acc[2v + parity] belongs to byte 16v + 2i + parity of each block.
        for (int v = 0; v < 3; ++v) {
            for (int parity = 0; parity < 2; ++parity) {
                alignas(32) std::int32_t lanes[8];
                _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), acc[2 * v + parity]);
                for (int i = 0; i < 8; ++i) {
                    sums[(16 * v + 2 * i + parity) % 3] += lanes[i];
                }
            }
        }
    }
    const std::size_t done = blocks * 16;
    for (std::size_t p = done; p < pixels; ++p) {
        for (int k = 0; k < 3; ++k) {
            const std::int64_t d = a[3 * p + k] - b[3 * p + k];
            sums[k] += d * d;
        }
    }
}

// The per-pixel channel totals of 16 interleaved pixels (48 bytes), as 16-bit values.
__m256i PixelTotals(const std::uint8_t* bytes) {
    const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16));
    const __m128i c2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 32));
    const __m128i red = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(c0, _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1,
                                                        -1, -1, -1, -1)),
                     _mm_shuffle_epi8(c1, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1,
                                                        -1, -1, -1, -1))),
        _mm_shuffle_epi8(
            c2, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13)));
    const __m128i green = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(c0, _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1,
                                                        -1, -1, -1, -1)),
                     _mm_shuffle_epi8(c1, _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1,
                                                        -1, -1, -1, -1))),
        _mm_shuffle_epi8(
            c2, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14)));
    const __m128i blue = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(c0, _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1,
                                                        -1, -1, -1, -1)),
                     _mm_shuffle_epi8(c1, _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1,
                                                        -1, -1, -1, -1))),
        _mm_shuffle_epi8(
            c2, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15)));
    return _mm256_add_epi16(
        _mm256_add_epi16(_mm256_cvtepu8_epi16(red), _mm256_cvtepu8_epi16(green)),
        _mm256_cvtepu8_epi16(blue));
}

std::int64_t ShapeSquaresAvx2(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixels) {
    const std::size_t blocks = pixels / 16;
    std::int64_t sum = 0;
    std::size_t block = 0;
    while (block < blocks) {
        __m256i acc = _mm256_setzero_si256();
        const std::size_t end = std::min(blocks, block + kShapeBlocksPerFlush);
        for (; block < end; ++block) {
            const __m256i d =
                _mm256_sub_epi16(PixelTotals(a + 48 * block), PixelTotals(b + 48 * block));
            acc = _mm256_add_epi32(acc, _mm256_madd_epi16(d, d));
        }
        alignas(32) std::int32_t lanes[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), acc);
        for (const std::int32_t lane : lanes) {
            sum += lane;
        }
    }
    for (std::size_t p = blocks * 16; p < pixels; ++p) {
        const std::int64_t d =
            (a[3 * p] + a[3 * p + 1] + a[3 * p + 2]) - (b[3 * p] + b[3 * p + 1] + b[3 * p + 2]);
        sum += d * d;
    }
    return sum;
}

const DifferenceKernel kAvx2{"avx2", ChannelSquaresAvx2, ShapeSquaresAvx2, SimdLevel::kAvx2};

}  // namespace

const DifferenceKernel* Avx2Kernel() {
    return &kAvx2;
}

// Used by the AVX-512 kernel, whose processors all have AVX2.
std::int64_t ShapeSquaresForAvx512(const std::uint8_t* a, const std::uint8_t* b,
                                   std::size_t pixels) {
    return ShapeSquaresAvx2(a, b, pixels);
}

}  // namespace vistrel
