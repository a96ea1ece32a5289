#pragma once

// How large the pictures of a HEIF file are as its codec decodes them. libheif decodes a picture
// at the size its coded data says, whatever the file's size boxes ('ispe') declare, so the
// decoding budget cannot trust those boxes alone.

#include <QIODevice>

#include <cstdint>

namespace vistrel {

/// The most pixels (width x height) of any picture coded in the HEIF file `file`: the largest
/// size in the sequence headers that libheif hands the decoder, those of the codec configurations
/// (HEVC's 'hvcC', AV1's 'av1C') and those in the coded items' data, whose slices are skipped
/// over unread. -1 when that cannot be told: a damaged or unusual layout, or no sequence header.
/// Moves the read position. Any thread.
std::int64_t HeifLargestCodedPixels(QIODevice& file);

}  // namespace vistrel
