#pragma once

// What the SIMD blocked kernels share: the walk over a block's planes, the flushes of 32-bit
// lanes and the sums made from the products; for the AVX2 and AVX-VNNI kernels also the
// products two columns at a time. Included by each kernel's file, which is compiled for its own
// instruction set: everything here is in an unnamed namespace, so that each file has its own
// copy and none compiled for AVX-512 can be called by another.

#include "BlockedKernel.h"

#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace vistrel {
namespace {

constexpr std::size_t kLine = 64;  // planes are padded to whole lines

using Products = std::int64_t[BlockedKernel::kRows][BlockedKernel::kColumns];

// The bytes of one plane of a signature of `pixels` pixels: whole lines.
constexpr std::size_t PlaneStride(std::size_t pixels) {
    return (pixels + kLine - 1) / kLine * kLine;
}

// What the kernels' blockSquares differ in, besides their products.
struct BlockLayout {
    std::size_t vector;          // bytes of one vector
    std::size_t bytesPerFlush;   // vectors of bytes a 32-bit lane takes without overflowing
    std::size_t totalsPerFlush;  // the same for vectors of 16-bit pixel totals
    // Whether the byte products are taken against the column byte less 128, as the dot
    // products of unsigned with signed bytes need.
    bool signedColumns;
};

// Adds to products[r][c] the dot products of a[r] and b[c] over the vectors [from, to), few
// enough that no 32-bit lane overflows.
using BlockProductsFunction = void (*)(const std::uint8_t* const a[4],
                                       const std::uint8_t* const b[4], std::size_t from,
                                       std::size_t to, Products& products);

// products[r][c] += the dot products of a[r] and b[c] over `vectors` vectors, `PerFlush` at a
// time. A function of its own for each kind of products, as the compiler inlines it best.
template <BlockProductsFunction AddProducts, std::size_t PerFlush>
void FlushedProducts(const std::uint8_t* const a[4], const std::uint8_t* const b[4],
                     std::size_t vectors, Products& products) {
    for (std::size_t v = 0; v < vectors; v += PerFlush) {
        AddProducts(a, b, v, std::min(vectors, v + PerFlush), products);
    }
}

// BlockedKernel::blockSquares from a kernel's layout and its products of bytes and of 16-bit
// totals.
template <BlockLayout kLayout, BlockProductsFunction ByteProducts,
          BlockProductsFunction TotalProducts>
void BlockSquares(const SignaturePlanes* const rows[BlockedKernel::kRows],
                  const SignaturePlanes* const columns[BlockedKernel::kColumns], std::size_t pixels,
                  bool shapeOnly, BlockedKernel::BlockSums& sums) {
    const std::size_t stride = PlaneStride(pixels);
    // A plane of bytes is `stride` bytes, the plane of 16-bit totals twice that.
    const std::size_t vectors = (shapeOnly ? 2 : 1) * stride / kLayout.vector;
    const int planes = shapeOnly ? 1 : 3;
    for (int k = 0; k < planes; ++k) {
        Products products{};
        const std::uint8_t* a[4];
        const std::uint8_t* b[4];
        for (int i = 0; i < 4; ++i) {
            a[i] = rows[i]->bytes + static_cast<std::size_t>(k) * stride;
            b[i] = columns[i]->bytes + static_cast<std::size_t>(k) * stride;
        }
        if (shapeOnly) {
            FlushedProducts<TotalProducts, kLayout.totalsPerFlush>(a, b, vectors, products);
        } else {
            FlushedProducts<ByteProducts, kLayout.bytesPerFlush>(a, b, vectors, products);
        }
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                // Byte products taken against the column byte less 128 lack 128 x the row's sum.
                const std::int64_t dot =
                    products[r][c] +
                    (kLayout.signedColumns && !shapeOnly ? 128 * rows[r]->totals[k] : 0);
                sums[r][c][k] = rows[r]->squares[k] + columns[c]->squares[k] - 2 * dot;
            }
        }
    }
}

// For the 256-bit kernels (AVX2, AVX-VNNI), in files compiled with at least -mavx2.

constexpr std::size_t kVector = 32;  // bytes of one AVX2 register
// How many vectors of six signatures stay in the core's first cache between two passes.
constexpr std::size_t kVectorsPerChunk = 64;

// The sum of the eight signed 32-bit lanes, without overflow.
inline std::int64_t Total(__m256i lanes32) {
    const __m256i wide =
        _mm256_add_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(lanes32)),
                         _mm256_cvtepi32_epi64(_mm256_extracti128_si256(lanes32, 1)));
    const __m128i half =
        _mm_add_epi64(_mm256_castsi256_si128(wide), _mm256_extracti128_si256(wide, 1));
    return _mm_cvtsi128_si64(half) + _mm_extract_epi64(half, 1);
}

// The accumulators of four rows against two columns.
using PairAccumulators = __m256i[4][2];

// Adds to sums[r][c] the dot products of a[r] and b[c] over the vectors [from, to), four rows
// against two columns.
using PairProductsFunction = void (*)(const std::uint8_t* const a[4],
                                      const std::uint8_t* const b[2], std::size_t from,
                                      std::size_t to, PairAccumulators& sums);

// products[r][c] += the dot products of a[r] and b[c] over the vectors [from, to), few enough
// that no 32-bit lane overflows. Two columns at a time, so that their eight accumulators and
// the operands fit the sixteen registers; both pairs of columns take a few vectors in turn, so
// that the second finds the rows in the core's first cache.
template <PairProductsFunction PairProducts>
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
            PairProducts(a, b + 2 * pair, chunk, chunkEnd, sums[pair]);
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

}  // namespace
}  // namespace vistrel
