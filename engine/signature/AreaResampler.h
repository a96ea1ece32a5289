#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

namespace vistrel {

/// Maps a whole RGB888 or RGB32 picture onto side x side pixels by area averaging, whatever its
/// aspect ratio: every target pixel is the coverage-weighted mean of the source pixels under it,
/// fractional edges included; enlargement follows the same rule. Returns 3 x side x side bytes
/// in signature order (column by column, each pixel red, green, blue), or an empty vector for a
/// null picture or any other format. Exact integer arithmetic, rounded to nearest: an RGB32
/// picture gives the very bytes of its RGB888 copy. Any thread.
std::vector<std::uint8_t> ResampleToSignature(const QImage& picture, int side);

}  // namespace vistrel
