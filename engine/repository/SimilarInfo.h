#pragma once

#include "comparison/kernels/Orientation.h"

#include <cstdint>

namespace vistrel {

/// One similar-picture link: the other entry and the pair's difference factor. Links come in
/// pairs, one in each of the two entries.
struct CSimilarInfo {
    std::int32_t index = 0;   ///< repository index of the other entry
    std::int32_t factor = 0;  ///< difference factor (0..255 scale) truncated toward zero
    /// The orientation of the other entry's picture that looks like this one's. Kept in memory
    /// only: the repository file does not store it, the next test finds it again.
    Orientation orientation = Orientation::None;

    friend bool operator==(const CSimilarInfo&, const CSimilarInfo&) = default;
};

}  // namespace vistrel
