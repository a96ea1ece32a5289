// The blocked kernel for AVX2. AVX2 has no dot product of unsigned bytes that cannot saturate,
// so the bytes are widened to 16-bit words and multiplied in pairs. Compiled with -mavx2; run
// only where the processor has it. Its layout is also the AVX-VNNI kernel's.

#include "BlockedKernelShared.h"
#include "BlockedKernelTargets.h"

#include <immintrin.h>

#include <cstring>

namespace vistrel {

namespace {

// A 32-bit lane takes at most 4 x 255 x 255 per vector of bytes, or 2 x 765 x 765 per vector
// of pixel totals: flushing to 64 bits every so many vectors keeps it from overflowing.
constexpr std::size_t kByteVectorsPerFlush = 4096;
constexpr std::size_t kTotalVectorsPerFlush = 1024;

// Splits 16 interleaved pixels (48 bytes) into their red, green and blue bytes: byte i of plane
// k is byte 3i + k, gathered from the three 16-byte pieces by byte shuffles.
class Deinterleave {
public:
    Deinterleave() {
        for (int k = 0; k < 3; ++k) {
            for (int piece = 0; piece < 3; ++piece) {
                alignas(16) std::int8_t index[16];
                for (int i = 0; i < 16; ++i) {
                    const int at = 3 * i + k;
                    index[i] = static_cast<std::int8_t>(at / 16 == piece ? at % 16 : -1);
                }
                shuffles[k][piece] = _mm_load_si128(reinterpret_cast<const __m128i*>(index));
            }
        }
    }

    // The planes of pixels [16 g, 16 g + 16) of `rgb`, which has `pixels` pixels; zeros past
    // its end.
    void Split(const std::uint8_t* rgb, std::size_t pixels, std::size_t g,
               __m128i planes[3]) const {
        const std::size_t at = 48 * g;
        const std::size_t size = 3 * pixels;
        alignas(16) std::uint8_t staged[48];
        const std::uint8_t* from = rgb + at;
        if (at + 48 > size) {
            std::memset(staged, 0, sizeof staged);
            if (at < size) {
                std::memcpy(staged, rgb + at, size - at);
            }
            from = staged;
        }
        __m128i in[3];
        for (int piece = 0; piece < 3; ++piece) {
            in[piece] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16 * piece));
        }
        for (int k = 0; k < 3; ++k) {
            planes[k] = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(in[0], shuffles[k][0]),
                                                  _mm_shuffle_epi8(in[1], shuffles[k][1])),
                                     _mm_shuffle_epi8(in[2], shuffles[k][2]));
        }
    }

private:
    __m128i shuffles[3][3];
};

const Deinterleave& Splitter() {
    static const Deinterleave splitter;
    return splitter;
}

void ToChannelPlanes(const std::uint8_t* rgb, std::size_t pixels, std::uint8_t* planes,
                     SignaturePlanes& out) {
    // Every vector of the padded planes is written: those past the pixels with zeros.
    const std::size_t stride = (pixels + kLine - 1) / kLine * kLine;
    const std::size_t vectors = stride / kVector;
    const __m256i zero = _mm256_setzero_si256();
    __m256i totals[3];
    __m256i squares[3];
    std::int64_t wideSquares[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        totals[k] = zero;
        squares[k] = zero;
    }
    for (std::size_t v = 0; v < vectors; ++v) {
        __m128i low[3];
        __m128i high[3];
        Splitter().Split(rgb, pixels, 2 * v, low);
        Splitter().Split(rgb, pixels, 2 * v + 1, high);
        for (int k = 0; k < 3; ++k) {
            const __m256i plane = _mm256_set_m128i(high[k], low[k]);
            _mm256_store_si256(reinterpret_cast<__m256i*>(planes + k * stride + v * kVector),
                               plane);
            totals[k] = _mm256_add_epi64(totals[k], _mm256_sad_epu8(plane, zero));
            const __m256i wordsLow = _mm256_unpacklo_epi8(plane, zero);
            const __m256i wordsHigh = _mm256_unpackhi_epi8(plane, zero);
            squares[k] = _mm256_add_epi32(
                squares[k], _mm256_add_epi32(_mm256_madd_epi16(wordsLow, wordsLow),
                                             _mm256_madd_epi16(wordsHigh, wordsHigh)));
        }
        if ((v + 1) % kByteVectorsPerFlush == 0 || v + 1 == vectors) {
            for (int k = 0; k < 3; ++k) {
                wideSquares[k] += Total(squares[k]);
                squares[k] = zero;
            }
        }
    }
    out.bytes = planes;
    for (int k = 0; k < 3; ++k) {
        alignas(32) std::int64_t lanes[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), totals[k]);
        out.totals[k] = lanes[0] + lanes[1] + lanes[2] + lanes[3];
        out.squares[k] = wideSquares[k];
    }
}

// The shape-only layout: one plane of 16-bit pixel totals, 16 to a vector, in pixel order.
void ToTotalsPlane(const std::uint8_t* rgb, std::size_t pixels, std::uint8_t* planes,
                   SignaturePlanes& out) {
    const std::size_t vectors = (pixels + kLine - 1) / kLine * kLine / 16;
    const __m256i ones = _mm256_set1_epi16(1);
    __m256i totals = _mm256_setzero_si256();
    __m256i squares = _mm256_setzero_si256();
    std::int64_t wideTotals = 0;
    std::int64_t wideSquares = 0;
    for (std::size_t v = 0; v < vectors; ++v) {
        __m128i channel[3];
        Splitter().Split(rgb, pixels, v, channel);
        const __m256i sum = _mm256_add_epi16(
            _mm256_add_epi16(_mm256_cvtepu8_epi16(channel[0]), _mm256_cvtepu8_epi16(channel[1])),
            _mm256_cvtepu8_epi16(channel[2]));
        _mm256_store_si256(reinterpret_cast<__m256i*>(planes + v * kVector), sum);
        totals = _mm256_add_epi32(totals, _mm256_madd_epi16(sum, ones));
        squares = _mm256_add_epi32(squares, _mm256_madd_epi16(sum, sum));
        if ((v + 1) % kTotalVectorsPerFlush == 0 || v + 1 == vectors) {
            wideTotals += Total(totals);
            wideSquares += Total(squares);
            totals = _mm256_setzero_si256();
            squares = _mm256_setzero_si256();
        }
    }
    out.bytes = planes;
    out.totals[0] = wideTotals;
    out.squares[0] = wideSquares;
    out.totals[1] = out.totals[2] = out.squares[1] = out.squares[2] = 0;
}

// acc + x. In assembly because GCC 12 copies the accumulators of the intrinsic from register to
// register, and spills some, on every vector.
__m256i Accumulate(__m256i acc, __m256i x) {
    asm("vpaddd %1, %0, %0" : "+x"(acc) : "x"(x));
    return acc;
}

// acc[r][c] += the dot products of a[r] and b[c] over the vectors [from, to): of bytes
// (`Bytes`), widened to words, or of 16-bit totals.
template <bool Bytes>
void PairProducts(const std::uint8_t* const a[4], const std::uint8_t* const b[2], std::size_t from,
                  std::size_t to, PairAccumulators& sums) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i acc[4][2];
    for (int r = 0; r < 4; ++r) {
        acc[r][0] = sums[r][0];
        acc[r][1] = sums[r][1];
    }
    for (std::size_t at = from * kVector; at < to * kVector; at += kVector) {
        const __m256i vb0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(b[0] + at));
        const __m256i vb1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(b[1] + at));
        if constexpr (Bytes) {
            const __m256i b0Low = _mm256_unpacklo_epi8(vb0, zero);
            const __m256i b0High = _mm256_unpackhi_epi8(vb0, zero);
            const __m256i b1Low = _mm256_unpacklo_epi8(vb1, zero);
            const __m256i b1High = _mm256_unpackhi_epi8(vb1, zero);
            for (int r = 0; r < 4; ++r) {
                const __m256i va = _mm256_load_si256(reinterpret_cast<const __m256i*>(a[r] + at));
                const __m256i aLow = _mm256_unpacklo_epi8(va, zero);
                const __m256i aHigh = _mm256_unpackhi_epi8(va, zero);
                acc[r][0] =
                    Accumulate(acc[r][0], _mm256_add_epi32(_mm256_madd_epi16(aLow, b0Low),
                                                           _mm256_madd_epi16(aHigh, b0High)));
                acc[r][1] =
                    Accumulate(acc[r][1], _mm256_add_epi32(_mm256_madd_epi16(aLow, b1Low),
                                                           _mm256_madd_epi16(aHigh, b1High)));
            }
        } else {
            for (int r = 0; r < 4; ++r) {
                const __m256i va = _mm256_load_si256(reinterpret_cast<const __m256i*>(a[r] + at));
                acc[r][0] = Accumulate(acc[r][0], _mm256_madd_epi16(va, vb0));
                acc[r][1] = Accumulate(acc[r][1], _mm256_madd_epi16(va, vb1));
            }
        }
    }
    for (int r = 0; r < 4; ++r) {
        sums[r][0] = acc[r][0];
        sums[r][1] = acc[r][1];
    }
}

// The column bytes are taken as they are: the words of unsigned bytes multiply exactly.
constexpr BlockLayout kLayout{kVector, kByteVectorsPerFlush, kTotalVectorsPerFlush, false};

const BlockedKernel kAvx2{
    "avx2", ToPlanesAvx2,
    BlockSquares<kLayout, VectorProducts<PairProducts<true>>, VectorProducts<PairProducts<false>>>,
    SimdLevel::kAvx2};

}  // namespace

void ToPlanesAvx2(const std::uint8_t* rgb, std::size_t pixels, bool shapeOnly, std::uint8_t* planes,
                  SignaturePlanes& out) {
    if (shapeOnly) {
        ToTotalsPlane(rgb, pixels, planes, out);
    } else {
        ToChannelPlanes(rgb, pixels, planes, out);
    }
}

const BlockedKernel* Avx2BlockedKernel() {
    return &kAvx2;
}

}  // namespace vistrel
