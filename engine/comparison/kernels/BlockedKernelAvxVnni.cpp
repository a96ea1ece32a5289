// The blocked kernel for AVX-VNNI: AVX2 with the VEX-coded dot products of bytes (vpdpbusd) and
// of words (vpdpwssd). Lays signatures out as the AVX2 kernel does. Compiled with -mavxvnni; run
// only where the processor has it.

#include "BlockedKernelShared.h"
#include "BlockedKernelTargets.h"

#include <immintrin.h>

namespace vistrel {

namespace {

// A 32-bit lane takes at most 4 x 255 x 128 per vector of a byte dot product, 2 x 765 x 765 per
// vector of pixel totals: flushing to 64 bits every so many vectors keeps it from overflowing.
constexpr std::size_t kByteVectorsPerFlush = 8192;
constexpr std::size_t kTotalVectorsPerFlush = 1024;

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

// The column bytes less 128: vpdpbusd takes its second operand as signed bytes.
constexpr BlockLayout kLayout{kVector, kByteVectorsPerFlush, kTotalVectorsPerFlush, true};

const BlockedKernel kAvxVnni{
    "avx-vnni", ToPlanesAvx2,
    BlockSquares<kLayout, VectorProducts<PairProducts<true>>, VectorProducts<PairProducts<false>>>,
    SimdLevel::kAvxVnni};

}  // namespace

const BlockedKernel* AvxVnniBlockedKernel() {
    return &kAvxVnni;
}

}  // namespace vistrel
