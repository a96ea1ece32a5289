#pragma once

#include "SimdLevel.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel {

/// A signature laid out for the blocked kernel: all its red bytes, then all its green, then all
/// its blue, each plane padded with zeros to whole 64-byte lines; with each channel's sum and sum
/// of squares. For the shape-only mode, one plane of the 16-bit totals of each pixel's three
/// bytes instead, with its sum and sum of squares in channel 0.
struct SignaturePlanes {
    const std::uint8_t* bytes = nullptr;
    std::int64_t totals[3] = {0, 0, 0};
    std::int64_t squares[3] = {0, 0, 0};
};

/// Compares signatures a block of pairs at a time, for runs where most pairs must be compared in
/// full. With the signatures in planes, the squared differences of a pair are
/// sum a^2 + sum b^2 - 2 sum ab, and the sums of products of 4 x 4 pairs are taken in one pass
/// over the planes, each byte read once for four pairs. The sums are exact integers, the same as
/// DifferenceKernel gives, so the factors are the reference's to the bit. Any thread.
struct BlockedKernel {
    static constexpr int kRows = 4;
    static constexpr int kColumns = 4;
    using BlockSums = std::int64_t[kRows][kColumns][3];

    const char* name;
    /// Lays out `rgb` (interleaved, `pixels` pixels) for the mode in `planes`, 64-byte aligned
    /// with room for PlanesSize(pixels) bytes, and describes it in `out`.
    void (*toPlanes)(const std::uint8_t* rgb, std::size_t pixels, bool shapeOnly,
                     std::uint8_t* planes, SignaturePlanes& out);
    /// sums[r][c][k]: the sum over the pixels of channel k of the squared differences between
    /// rows[r] and columns[c], as channelSquares gives it; in the shape-only mode sums[r][c][0]
    /// only, as shapeSquares gives it.
    void (*blockSquares)(const SignaturePlanes* const rows[kRows],
                         const SignaturePlanes* const columns[kColumns], std::size_t pixels,
                         bool shapeOnly, BlockSums& sums);
    /// The instructions it needs (the AVX-512 one also VNNI and VBMI).
    SimdLevel level;
};

/// The bytes of one signature of `pixels` pixels laid out in planes.
std::size_t PlanesSize(std::size_t pixels);

/// The plain scalar version, the reference for the others.
const BlockedKernel& ScalarBlockedKernel();

/// Every version this processor can run, the scalar one first.
std::vector<const BlockedKernel*> AvailableBlockedKernels();

/// The fastest SIMD version this processor can run within ActiveSimdLevel(), or null when
/// there is none: without SIMD the blocked kernel is no faster than deciding pair by pair.
/// Any thread.
const BlockedKernel* ActiveBlockedKernel();

/// Room for the planes of a number of signatures, reused as long as it lives.
class SignaturePlanesBuffer {
public:
    /// Makes room for `count` signatures of `pixels` pixels laid out for the mode; what was
    /// held is forgotten.
    void Reset(std::size_t count, std::size_t pixels, bool shapeOnly);
    /// Lays out `rgb` in slot `slot`.
    const SignaturePlanes& Fill(std::size_t slot, const BlockedKernel& kernel,
                                const std::uint8_t* rgb);
    const SignaturePlanes& operator[](std::size_t slot) const { return planes[slot]; }

private:
    struct alignas(64) Line {
        std::uint8_t bytes[64];
    };
    std::vector<Line> lines;
    std::vector<SignaturePlanes> planes;
    std::size_t pixels = 0;
    bool shapeOnly = false;
    std::size_t linesPerSignature = 0;
};

}  // namespace vistrel
