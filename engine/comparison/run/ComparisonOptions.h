#pragma once

#include <cstdint>

namespace vistrel {

/// What a similarity run compares and how, as values: the caller reads them from the settings.
struct ComparisonOptions {
    /// The user's threshold in percent: a pair is similar when its factor lies below half of it.
    float threshold = 0.0f;
    bool shapeOnly = false;    ///< compare channel sums instead of single channels
    bool turned = false;       ///< also compare each pair in the seven other orientations
    std::int32_t target = -1;  ///< the entry to search for, or -1 for every pair of entries
    int workers = 0;           ///< threads to compare on; 0 for one per core
};

}  // namespace vistrel
