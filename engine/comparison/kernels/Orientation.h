#pragma once

#include "signature/SignatureSketch.h"

#include <array>
#include <cstdint>

namespace vistrel {

/// The eight ways a square picture can lie: as stored, turned by quarter turns, and each of
/// those mirrored (left to right first, then turned). The numbers are the fixed order in which
/// a comparison tries them; a tie goes to the first.
enum class Orientation : std::uint8_t {
    None = 0,    ///< as stored
    Rot90,       ///< turned 90 degrees right (clockwise)
    Rot180,      ///< turned 180 degrees
    Rot270,      ///< turned 90 degrees left
    Flip,        ///< mirrored left to right
    FlipRot90,   ///< mirrored left to right, then turned 90 degrees right
    FlipRot180,  ///< mirrored left to right, then turned 180: mirrored top to bottom
    FlipRot270,  ///< mirrored left to right, then turned 90 degrees left
};

inline constexpr int kOrientationCount = 8;

/// Short stable names, for output meant to be read by programs: none, rot90, rot180, rot270,
/// flip, flip-rot90, flip-rot180, flip-rot270.
const char* OrientationName(Orientation orientation);

/// The orientation that undoes `orientation`.
Orientation Inverse(Orientation orientation);

/// Writes to `out` the signature `in` (3 x side x side bytes, column by column) in
/// `orientation`. The two must not overlap.
void OrientSignature(const std::uint8_t* in, std::uint8_t* out, int side, Orientation orientation);

/// The sketch of the signature in `orientation`, from its sketch as stored, when its blocks
/// turn onto blocks (the side is a multiple of the grid); false otherwise, and `out` is
/// unchanged. Equal to ComputeSketch of the oriented signature.
bool OrientSketch(const SignatureSketch& in, int side, Orientation orientation,
                  SignatureSketch& out);

/// The totals of the four quarters of a signature in `orientation` (quarter q: column half q / 2,
/// row half q % 2; per channel), from those as stored. Exact when OrientSketch is.
void OrientQuarters(const std::int32_t in[4][3], std::int32_t out[4][3], Orientation orientation);

}  // namespace vistrel
