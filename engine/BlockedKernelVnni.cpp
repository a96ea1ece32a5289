// The blocked kernel for AVX-512 with VNNI dot products and VBMI byte permutes. Compiled with
// those instructions; run only where the processor has them.

#include "BlockedKernel.h"

#include <immintrin.h>

#include <algorithm>

namespace vistrel {

namespace {

// A 32-bit lane of a dot product takes at most 4 x 255 x 128 per line; flushing to 64 bits
// every so many lines keeps it from overflowing.
constexpr std::size_t kLinesPerFlush = 4096;

constexpr std::size_t kLine = 64;

__mmask64 FirstBytes(std::size_t count) {
    return count >= kLine ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
}

std::int64_t Total(__m512i lanes32) {
    const __m512i low = _mm512_cvtepi32_epi64(_mm512_castsi512_si256(lanes32));
    const __m512i high = _mm512_cvtepi32_epi64(_mm512_maskz_extracti64x4_epi64(0xFF, lanes32, 1));
    return _mm512_reduce_add_epi64(_mm512_add_epi64(low, high));
}

// Byte i of plane k of 64 pixels is byte 3i + k of their 192 interleaved bytes: the first 128
// come from one two-register permute, the rest from the third register.
struct Deinterleave {
    __m512i firstIndex[3];
    __m512i lastIndex[3];
    __mmask64 fromLast[3];

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
};

void ToPlanesVnni(const std::uint8_t* rgb, std::size_t pixels, std::uint8_t* planes,
                  SignaturePlanes& out) {
    static const Deinterleave order;
    const std::size_t lines = (pixels + kLine - 1) / kLine;
    const std::size_t stride = lines * kLine;
    const std::size_t bytes = 3 * pixels;
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
        const std::size_t at = 3 * kLine * line;
        const std::size_t left = bytes - at;
        __m512i in[3];
        for (std::size_t v = 0; v < 3; ++v) {
            const std::size_t from = std::min(left, kLine * v);
            in[v] = _mm512_maskz_loadu_epi8(FirstBytes(left - from), rgb + at + from);
        }
        for (int k = 0; k < 3; ++k) {
            const __m512i first = _mm512_permutex2var_epi8(in[0], order.firstIndex[k], in[1]);
            const __m512i plane =
                _mm512_mask_permutexvar_epi8(first, order.fromLast[k], order.lastIndex[k], in[2]);
            _mm512_store_si512(planes + k * stride + line * kLine, plane);
            totals[k] = _mm512_add_epi64(totals[k], _mm512_sad_epu8(plane, _mm512_setzero_si512()));
            squares[k] = _mm512_dpbusd_epi32(squares[k], plane, _mm512_xor_si512(plane, bias));
        }
        if ((line + 1) % kLinesPerFlush == 0 || line + 1 == lines) {
            for (int k = 0; k < 3; ++k) {
                wideSquares[k] = _mm512_add_epi64(
                    wideSquares[k],
                    _mm512_add_epi64(_mm512_cvtepi32_epi64(_mm512_castsi512_si256(squares[k])),
                                     _mm512_cvtepi32_epi64(
                                         _mm512_maskz_extracti64x4_epi64(0xFF, squares[k], 1))));
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

void BlockSquaresVnni(const SignaturePlanes* const rows[BlockedKernel::kRows],
                      const SignaturePlanes* const columns[BlockedKernel::kColumns],
                      std::size_t pixels, BlockedKernel::BlockSums& sums) {
    const std::size_t lines = (pixels + kLine - 1) / kLine;
    const std::size_t stride = lines * kLine;
    const __m512i bias = _mm512_set1_epi8(static_cast<char>(0x80));
    // products[r][c]: the sum of row byte x (column byte - 128), the column byte made signed.
    std::int64_t products[4][4];
    for (int k = 0; k < 3; ++k) {
        for (auto& row : products) {
            std::fill(std::begin(row), std::end(row), 0);
        }
        const std::uint8_t* a[4];
        const std::uint8_t* b[4];
        for (int i = 0; i < 4; ++i) {
            a[i] = rows[i]->bytes + k * stride;
            b[i] = columns[i]->bytes + k * stride;
        }
        for (std::size_t line = 0; line < lines;) {
            const std::size_t end = std::min(lines, line + kLinesPerFlush);
            __m512i acc[4][4];
            for (auto& row : acc) {
                for (__m512i& lane : row) {
                    lane = _mm512_setzero_si512();
                }
            }
            for (; line < end; ++line) {
                const std::size_t at = line * kLine;
                __m512i vb[4];
                for (int c = 0; c < 4; ++c) {
                    vb[c] = _mm512_xor_si512(_mm512_load_si512(b[c] + at), bias);
                }
                for (int r = 0; r < 4; ++r) {
                    const __m512i va = _mm512_load_si512(a[r] + at);
                    for (int c = 0; c < 4; ++c) {
                        acc[r][c] = _mm512_dpbusd_epi32(acc[r][c], va, vb[c]);
                    }
                }
            }
            for (int r = 0; r < 4; ++r) {
                for (int c = 0; c < 4; ++c) {
                    products[r][c] += Total(acc[r][c]);
                }
            }
        }
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                const std::int64_t dot = products[r][c] + 128 * rows[r]->totals[k];
                sums[r][c][k] = rows[r]->squares[k] + columns[c]->squares[k] - 2 * dot;
            }
        }
    }
}

const BlockedKernel kVnni{"avx512-vnni", ToPlanesVnni, BlockSquaresVnni};

}  // namespace

const BlockedKernel* VnniBlockedKernel() {
    return &kVnni;
}

}  // namespace vistrel
