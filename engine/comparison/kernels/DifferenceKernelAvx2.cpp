// The difference kernel for AVX2. Compiled with -mavx2; run only where the processor has it.

#include "DifferenceKernelTargets.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

namespace vistrel {

namespace {

// A 32-bit lane takes at most 2 x 65,025 per block of 48 bytes; flushing to 64 bits every so
// many blocks keeps it from overflowing.
constexpr std::size_t kChannelBlocksPerFlush = 8192;
constexpr std::size_t kShapeBlocksPerFlush = 1024;

// Squares of 16-bit differences go through vpmaddwd with every other element masked, so that
// each 32-bit lane holds one square. Lane i of vector v of a block of 48 bytes then holds byte
// 16v + 2i (even elements) or 16v + 2i + 1 (odd ones), of channel (16v + 2i + parity) % 3: the
// six products fall into three patterns, one accumulator each, whose lane i belongs to channel
// (2i + pattern) % 3.
struct ChannelAccumulators {
    __m256i pattern[3];

    // Adds the squares of the 48 differences of one block, given as three vectors of words.
    void Add(const __m256i d[3]) {
        const __m256i even = _mm256_set1_epi32(0x0000FFFF);
        const auto square = [&even](__m256i x, bool odd) {
            return _mm256_madd_epi16(
                x, odd ? _mm256_andnot_si256(even, x) : _mm256_and_si256(x, even));
        };
        pattern[0] =
            _mm256_add_epi32(pattern[0], _mm256_add_epi32(square(d[0], false), square(d[2], true)));
        pattern[1] =
            _mm256_add_epi32(pattern[1], _mm256_add_epi32(square(d[0], true), square(d[1], false)));
        pattern[2] =
            _mm256_add_epi32(pattern[2], _mm256_add_epi32(square(d[1], true), square(d[2], false)));
    }

    // Adds the lanes to their channels' sums and starts again from zero.
    void Flush(std::int64_t sums[3]) {
        for (int p = 0; p < 3; ++p) {
            alignas(32) std::int32_t lanes[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), pattern[p]);
            for (int i = 0; i < 8; ++i) {
                sums[(2 * i + p) % 3] += lanes[i];
            }
            pattern[p] = _mm256_setzero_si256();
        }
    }
};

// The differences of the 48 bytes of 16 pixels from `at`, as words.
void BlockDifferences(const std::uint8_t* a, const std::uint8_t* b, std::size_t at, __m256i d[3]) {
    for (int v = 0; v < 3; ++v) {
        const std::size_t from = at + 16 * static_cast<std::size_t>(v);
        d[v] = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + from))),
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + from))));
    }
}

void ChannelSquaresAvx2(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixels,
                        std::int64_t sums[3]) {
    const std::size_t blocks = pixels / 16;
    ChannelAccumulators acc{};
    for (std::size_t block = 0; block < blocks; ++block) {
        __m256i d[3];
        BlockDifferences(a, b, 48 * block, d);
        acc.Add(d);
        if ((block + 1) % kChannelBlocksPerFlush == 0) {
            acc.Flush(sums);
        }
    }
    const std::size_t rest = pixels - 16 * blocks;
    if (rest > 0 && blocks > 0) {
        // The last 16 pixels, of which those already counted are masked out: a block that
        // starts on a pixel keeps the channel of every lane.
        __m256i d[3];
        BlockDifferences(a, b, 3 * (pixels - 16), d);
        const __m256i firstNew = _mm256_set1_epi16(static_cast<short>(3 * (16 - rest) - 1));
        for (int v = 0; v < 3; ++v) {
            const __m256i index = _mm256_add_epi16(
                _mm256_set1_epi16(static_cast<short>(16 * v)),
                _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
            d[v] = _mm256_and_si256(d[v], _mm256_cmpgt_epi16(index, firstNew));
        }
        acc.Add(d);
    }
    acc.Flush(sums);
    if (blocks == 0) {
        for (std::size_t p = 0; p < pixels; ++p) {
            for (int k = 0; k < 3; ++k) {
                const std::int64_t d = a[3 * p + k] - b[3 * p + k];
                sums[k] += d * d;
            }
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
