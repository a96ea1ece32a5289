#pragma once

// How large the pictures of a HEIF file are as its codec decodes them. libheif decodes a picture
// at the size its coded data says, whatever the file's size boxes ('ispe') declare, so the
// decoding budget cannot trust those boxes alone.

#include <QIODevice>

#include <cstdint>

namespace vistrel {

/// The most pixels (width x height) of any picture coded in the HEIF file `file`, read from the
/// sequence headers in the codec configurations of its boxes (HEVC's 'hvcC', AV1's 'av1C'),
/// without the coded data. -1 when the boxes do not tell: a configuration without a sequence
/// header, one this reader cannot parse, or no configuration at all. Moves the read position.
/// Any thread.
std::int64_t HeifLargestCodedPixels(QIODevice& file);

}  // namespace vistrel
