// The blocked kernel for AVX-512 with VNNI dot products and VBMI byte permutes. Compiled with
// those instructions; run only where the processor has them.

#include "BlockedKernelShared.h"
#include "BlockedKernelTargets.h"

#include <immintrin.h>

#include <algorithm>

namespace vistrel {

namespace {

// A 32-bit lane of a byte dot product takes at most 4 x 255 x 128 per line, one of a 16-bit dot
// product of pixel totals 2 x 765 x 765: flushing to 64 bits every so many lines keeps them from
// overflowing.
constexpr std::size_t kByteLinesPerFlush = 4096;
constexpr std::size_t kTotalLinesPerFlush = 1024;

__mmask64 FirstBytes(std::size_t count) {
    return count >= kLine ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
}

__m512i Widen(__m512i lanes32) {
    return _mm512_add_epi64(
        _mm512_cvtepi32_epi64(_mm512_castsi512_si256(lanes32)),
        _mm512_cvtepi32_epi64(_mm512_maskz_extracti64x4_epi64(0xFF, lanes32, 1)));
}

std::int64_t Total(__m512i lanes32) {
    return _mm512_reduce_add_epi64(Widen(lanes32));
}

// Splits 64 interleaved pixels (192 bytes, fewer at the end, padded with zeros) into their red,
// green and blue bytes. Byte i of plane k is byte 3i + k: the first 128 come from one
// two-register permute, the rest from the third register.
class Deinterleave {
public:
    Deinterleave() {
        for (int k = 0; k < 3; ++k) {
            alignas(64) std::uint8_t first[64];
            alignas(64) std::uint8_t last[64];
            fromLast[k] = 0;
            for (int i = 0; i < 64; ++i) {
                const int at = 3 * i + k;
                first[i] = static_cast<std::uint8_t>(at & 127);
                last[i] = static_cast<std::uint8_t>(at & 63);
                if (at >= 128) {
                    fromLast[k] |= __mmask64{1} << i;
                }
            }
            firstIndex[k] = _mm512_load_si512(first);
            lastIndex[k] = _mm512_load_si512(last);
        }
    }

    // The planes of the 64 pixels from pixel 64 x `group` of `rgb`, which has `pixels` pixels.
    void Split(const std::uint8_t* rgb, std::size_t pixels, std::size_t group,
               __m512i planes[3]) const {
        const std::size_t at = 3 * kLine * group;
        const std::size_t left = 3 * pixels - at;
        __m512i in[3];
        for (std::size_t v = 0; v < 3; ++v) {
            const std::size_t from = std::min(left, kLine * v);
            in[v] = _mm512_maskz_loadu_epi8(FirstBytes(left - from), rgb + at + from);
        }
        for (int k = 0; k < 3; ++k) {
            const __m512i first = _mm512_permutex2var_epi8(in[0], firstIndex[k], in[1]);
            planes[k] = _mm512_mask_permutexvar_epi8(first, fromLast[k], lastIndex[k], in[2]);
        }
    }

private:
    __m512i firstIndex[3];
    __m512i lastIndex[3];
    __mmask64 fromLast[3];
};

const Deinterleave& Splitter() {
    static const Deinterleave splitter;
    return splitter;
}

void ToChannelPlanes(const std::uint8_t* rgb, std::size_t pixels, std::uint8_t* planes,
                     SignaturePlanes& out) {
    const std::size_t lines = (pixels + kLine - 1) / kLine;
    const std::size_t stride = lines * kLine;
    const __m512i bias = _mm512_set1_epi8(static_cast<char>(0x80));
    __m512i totals[3];
    __m512i squares[3];  // sum of x (x - 128)
    __m512i wideSquares[3];
    for (int k = 0; k < 3; ++k) {
        totals[k] = _mm512_setzero_si512();
        squares[k] = _mm512_setzero_si512();
        wideSquares[k] = _mm512_setzero_si512();
    }
    for (std::size_t line = 0; line < lines; ++line) {
        __m512i plane[3];
        Splitter().Split(rgb, pixels, line, plane);
        for (int k = 0; k < 3; ++k) {
            _mm512_store_si512(planes + k * stride + line * kLine, plane[k]);
            totals[k] =
                _mm512_add_epi64(totals[k], _mm512_sad_epu8(plane[k], _mm512_setzero_si512()));
            squares[k] =
                _mm512_dpbusd_epi32(squares[k], plane[k], _mm512_xor_si512(plane[k], bias));
        }
        if ((line + 1) % kByteLinesPerFlush == 0 || line + 1 == lines) {
            for (int k = 0; k < 3; ++k) {
                wideSquares[k] = _mm512_add_epi64(wideSquares[k], Widen(squares[k]));
                squares[k] = _mm512_setzero_si512();
            }
        }
    }
    out.bytes = planes;
    for (int k = 0; k < 3; ++k) {
        out.totals[k] = _mm512_reduce_add_epi64(totals[k]);
        out.squares[k] = _mm512_reduce_add_epi64(wideSquares[k]) + 128 * out.totals[k];
    }
}

// The shape-only layout: one plane of 16-bit pixel totals, 32 to a line.
void ToTotalsPlane(const std::uint8_t* rgb, std::size_t pixels, std::uint8_t* planes,
                   SignaturePlanes& out) {
    const std::size_t groups = (pixels + kLine - 1) / kLine;
    const __m512i ones = _mm512_set1_epi16(1);
    __m512i totals = _mm512_setzero_si512();
    __m512i squares = _mm512_setzero_si512();
    __m512i wideTotals = _mm512_setzero_si512();
    __m512i wideSquares = _mm512_setzero_si512();
    std::size_t line = 0;
    for (std::size_t group = 0; group < groups; ++group) {
        __m512i plane[3];
        Splitter().Split(rgb, pixels, group, plane);
        for (int half = 0; half < 2; ++half, ++line) {
            __m512i sum = _mm512_setzero_si512();
            for (const __m512i& channel : plane) {
                const __m256i bytes = half == 0 ? _mm512_castsi512_si256(channel)
                                                : _mm512_maskz_extracti64x4_epi64(0xFF, channel, 1);
                sum = _mm512_add_epi16(sum, _mm512_cvtepu8_epi16(bytes));
            }
            _mm512_store_si512(planes + line * kLine, sum);
            totals = _mm512_dpwssd_epi32(totals, sum, ones);
            squares = _mm512_dpwssd_epi32(squares, sum, sum);
            if ((line + 1) % kTotalLinesPerFlush == 0) {
                wideTotals = _mm512_add_epi64(wideTotals, Widen(totals));
                wideSquares = _mm512_add_epi64(wideSquares, Widen(squares));
                totals = _mm512_setzero_si512();
                squares = _mm512_setzero_si512();
            }
        }
    }
    out.bytes = planes;
    out.totals[0] = _mm512_reduce_add_epi64(_mm512_add_epi64(wideTotals, Widen(totals)));
    out.squares[0] = _mm512_reduce_add_epi64(_mm512_add_epi64(wideSquares, Widen(squares)));
    out.totals[1] = out.totals[2] = out.squares[1] = out.squares[2] = 0;
}

void ToPlanesVnni(const std::uint8_t* rgb, std::size_t pixels, bool shapeOnly, std::uint8_t* planes,
                  SignaturePlanes& out) {
    if (shapeOnly) {
        ToTotalsPlane(rgb, pixels, planes, out);
    } else {
        ToChannelPlanes(rgb, pixels, planes, out);
    }
}

// acc + the dot products of a and b: of unsigned bytes with signed ones, or of 16-bit words. In
// assembly because GCC 12 copies the accumulators of the intrinsics from register to register
// on every line.
template <bool Bytes>
__m512i Dot(__m512i acc, __m512i a, __m512i b) {
    if constexpr (Bytes) {
        asm("vpdpbusd %2, %1, %0" : "+v"(acc) : "v"(a), "v"(b));
    } else {
        asm("vpdpwssd %2, %1, %0" : "+v"(acc) : "v"(a), "v"(b));
    }
    return acc;
}

// products[r][c] += the dot product of a[r] and b[c] over lines [from, to): of bytes, the
// column's made signed by subtracting 128 (for `Bytes`), or of 16-bit totals. Few enough lines
// that no 32-bit lane overflows.
template <bool Bytes>
void LineProducts(const std::uint8_t* const a[4], const std::uint8_t* const b[4], std::size_t from,
                  std::size_t to, Products& products) {
    const __m512i bias = _mm512_set1_epi8(static_cast<char>(0x80));
    __m512i acc[4][4];
    for (auto& row : acc) {
        for (__m512i& lane : row) {
            lane = _mm512_setzero_si512();
        }
    }
    for (std::size_t at = from * kLine; at < to * kLine; at += kLine) {
        __m512i vb[4];
        for (int c = 0; c < 4; ++c) {
            vb[c] = Bytes ? _mm512_xor_si512(_mm512_load_si512(b[c] + at), bias)
                          : _mm512_load_si512(b[c] + at);
        }
        for (int r = 0; r < 4; ++r) {
            const __m512i va = _mm512_load_si512(a[r] + at);
            for (int c = 0; c < 4; ++c) {
                acc[r][c] = Dot<Bytes>(acc[r][c], va, vb[c]);
            }
        }
    }
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            products[r][c] += Total(acc[r][c]);
        }
    }
}

// Lines of 64 bytes, the column bytes less 128: vpdpbusd takes its second operand as signed
// bytes.
constexpr BlockLayout kLayout{kLine, kByteLinesPerFlush, kTotalLinesPerFlush, true};

const BlockedKernel kVnni{"avx512-vnni", ToPlanesVnni,
                          BlockSquares<kLayout, LineProducts<true>, LineProducts<false>>,
                          SimdLevel::kAvx512};

}  // namespace

const BlockedKernel* VnniBlockedKernel() {
    return &kVnni;
}

}  // namespace vistrel
