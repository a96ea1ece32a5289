#pragma once

#include "Orientation.h"

#include <cstdint>

namespace vistrel {

/// A pair of repository entries to compare, and also the result record of a compared pair
/// (then both signature pointers are null and `factor` is set).
struct PairInfo {
    const std::uint8_t* signatureA = nullptr;  ///< first signature, null when the entry has none
    const std::uint8_t* signatureB = nullptr;  ///< second signature, null when the entry has none
    std::int32_t indexA = 0;                   ///< repository index of one entry
    std::int32_t indexB = 0;                   ///< repository index of the other entry
    float factor = 0.0f;                       ///< difference factor, 0..255; results only
    /// The orientation of the second picture that gave the factor; results only.
    Orientation orientation = Orientation::None;
};

}  // namespace vistrel
