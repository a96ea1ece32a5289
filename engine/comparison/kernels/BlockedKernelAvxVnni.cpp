// The blocked kernel for AVX-VNNI: AVX2 with the VEX-coded dot products of bytes (vpdpbusd) and
// of words (vpdpwssd). Lays signatures out as the AVX2 kernel does. Compiled with -mavxvnni; run
// only where the processor has it.

#include "BlockedKernelTargets.h"

#include <immintrin.h>

#include <algorithm>

namespace vistrel {

namespace {

constexpr std::size_t kLine = 64;    // planes are padded to whole lines
constexpr std::size_t kVector = 32;  // bytes of one AVX2 register

// A 32-bit lane takes at most 4 x 255 x 128 per vector of a byte dot product, 2 x 765 x 765 per
// vector of pixel totals: flushing to 64 bits every so many vectors keeps it from overflowing.
constexpr std::size_t kByteVectorsPerFlush = 8192;
constexpr std::size_t kTotalVectorsPerFlush = 1024;
// How many vectors of six signatures stay in the core's first cache between two passes.
constexpr std::size_t kVectorsPerChunk = 64;

// The sum of the eight signed 32-bit lanes, without overflow.
std::int64_t Total(__m256i lanes32) {
    const __m256i wide =
        _mm256_add_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(lanes32)),
                         _mm256_cvtepi32_epi64(_mm256_extracti128_si256(lanes32, 1)));
    const __m128i half =
        _mm_add_epi64(_mm256_castsi256_si128(wide), _mm256_extracti128_si256(wide, 1));
    return _mm_cvtsi128_si64(half) + _mm_extract_epi64(half, 1);
}

using Products = std::int64_t[BlockedKernel::kRows][BlockedKernel::kColumns];

// acc + the dot products of a and b: of unsigned bytes with signed ones, or of 16-bit words. In
// assembly because GCC 12 copies the accumulators of the intrinsics from register to register,
// and spills some, on every vector.
template <bool Bytes>
__m256i Dot(__m256i acc, __m256i a, __m256i b) {
    if constexpr (Bytes) {
        asm("%{vex%} vpdpbusd %2, %1, %0" : "+x"(acc) : "x"(a), "x"(b));
    } else {
        asm("%{vex%} vpdpwssd %2, %1, %0" : "+x"(acc) : "x"(a), "x"(b));
    }
    return acc;
}

// The accumulators of four rows against two columns.
using PairAccumulators = __m256i[4][2];

// acc[r][c] += the dot products of a[r] and b[c] over the vectors [from, to): of bytes, the
// column's made signed by subtracting 128 (for `Bytes`), or of 16-bit totals.
template <bool Bytes>
void PairProducts(const std::uint8_t* const a[4], const std::uint8_t* const b[2], std::size_t from,
                  std::size_t to, PairAccumulators& sums) {
    const __m256i bias = _mm256_set1_epi8(static_cast<char>(0x80));
    __m256i acc[4][2];
    for (int r = 0; r < 4; ++r) {
        acc[r][0] = sums[r][0];
        acc[r][1] = sums[r][1];
    }
    for (std::size_t at = from * kVector; at < to * kVector; at += kVector) {
        __m256i vb0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(b[0] + at));
        __m256i vb1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(b[1] + at));
        if constexpr (Bytes) {
            vb0 = _mm256_xor_si256(vb0, bias);
            vb1 = _mm256_xor_si256(vb1, bias);
        }
        for (int r = 0; r < 4; ++r) {
            const __m256i va = _mm256_load_si256(reinterpret_cast<const __m256i*>(a[r] + at));
            acc[r][0] = Dot<Bytes>(acc[r][0], va, vb0);
            acc[r][1] = Dot<Bytes>(acc[r][1], va, vb1);
        }
    }
    for (int r = 0; r < 4; ++r) {
        sums[r][0] = acc[r][0];
        sums[r][1] = acc[r][1];
    }
}

// products[r][c] += the dot products of a[r] and b[c] over the vectors [from, to), few enough
// that no 32-bit lane overflows. Two columns at a time, so that their eight accumulators and
// the operands fit the sixteen registers; both pairs of columns take a few vectors in turn, so
// that the second finds the rows in the core's first cache.
template <bool Bytes>
void VectorProducts(const std::uint8_t* const a[4], const std::uint8_t* const b[4],
                    std::size_t from, std::size_t to, Products& products) {
    PairAccumulators sums[2];
    for (auto& pair : sums) {
        for (auto& row : pair) {
            row[0] = row[1] = _mm256_setzero_si256();
        }
    }
    for (std::size_t chunk = from; chunk < to; chunk += kVectorsPerChunk) {
        const std::size_t chunkEnd = std::min(to, chunk + kVectorsPerChunk);
        for (int pair = 0; pair < 2; ++pair) {
            PairProducts<Bytes>(a, b + 2 * pair, chunk, chunkEnd, sums[pair]);
        }
    }
    for (int pair = 0; pair < 2; ++pair) {
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 2; ++c) {
                products[r][2 * pair + c] += Total(sums[pair][r][c]);
            }
        }
    }
}

void BlockSquaresAvxVnni(const SignaturePlanes* const rows[BlockedKernel::kRows],
                         const SignaturePlanes* const columns[BlockedKernel::kColumns],
                         std::size_t pixels, bool shapeOnly, BlockedKernel::BlockSums& sums) {
    const std::size_t stride = (pixels + kLine - 1) / kLine * kLine;
    // A plane of bytes is `stride` bytes, the plane of 16-bit totals twice that.
    const std::size_t vectors = (shapeOnly ? 2 : 1) * stride / kVector;
    const std::size_t perFlush = shapeOnly ? kTotalVectorsPerFlush : kByteVectorsPerFlush;
    const int planes = shapeOnly ? 1 : 3;
    for (int k = 0; k < planes; ++k) {
        Products products{};
        const std::uint8_t* a[4];
        const std::uint8_t* b[4];
        for (int i = 0; i < 4; ++i) {
            a[i] = rows[i]->bytes + static_cast<std::size_t>(k) * stride;
            b[i] = columns[i]->bytes + static_cast<std::size_t>(k) * stride;
        }
        for (std::size_t v = 0; v < vectors; v += perFlush) {
            if (shapeOnly) {
                VectorProducts<false>(a, b, v, std::min(vectors, v + perFlush), products);
            } else {
                VectorProducts<true>(a, b, v, std::min(vectors, v + perFlush), products);
            }
        }
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                // The byte products were taken against the column byte less 128.
                const std::int64_t dot =
                    products[r][c] + (shapeOnly ? 0 : 128 * rows[r]->totals[k]);
                sums[r][c][k] = rows[r]->squares[k] + columns[c]->squares[k] - 2 * dot;
            }
        }
    }
}

const BlockedKernel kAvxVnni{"avx-vnni", ToPlanesAvx2, BlockSquaresAvxVnni, SimdLevel::kAvxVnni};

}  // namespace

const BlockedKernel* AvxVnniBlockedKernel() {
    return &kAvxVnni;
}

}  // namespace vistrel
