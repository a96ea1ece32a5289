#pragma once

// The picture sizes that video codecs' sequence headers give, read without any decoding, for
// `HeifLargestCodedPixels`.

#include <QByteArray>

#include <cstdint>

namespace vistrel {

/// Width x height of the pictures of an HEVC NAL unit (its header included, its bytes as coded)
/// that is a sequence parameter set; 0 for any other NAL unit, -1 for one that cannot be read or
/// gives a side above 2^20. Any thread.
std::int64_t HevcNalPixels(const QByteArray& nal);

/// Width x height of the largest frame an AV1 sequence header OBU's payload allows; -1 when it
/// cannot be read or gives a side above 2^20. Any thread.
std::int64_t Av1SequenceHeaderPixels(const QByteArray& payload);

}  // namespace vistrel
