#pragma once

#include "ReferenceFolders.h"

#include <cstdint>

namespace vistrel {

/// What a similarity run compares and how, passed to it as a value: the user's choices, which
/// the caller reads from the settings, and what the command asks for.
struct ComparisonOptions {
    /// Similarity threshold in percent: a pair is similar when its factor lies below half of it.
    float threshold = 4.0f;
    bool shapeOnly = false;         ///< compare channel sums instead of single channels
    bool findTurnedCopies = false;  ///< also compare each pair turned and mirrored
    std::int32_t target = -1;       ///< the entry to search for, or -1 for every pair of entries
    int workers = 0;                ///< threads to compare on; 0 for one per core
    /// Pairs of two pictures under these folders are not compared.
    ReferenceFolders reference{};
    /// Pairs of two pictures in the same folder are not compared.
    bool skipSameFolder = false;

    friend bool operator==(const ComparisonOptions&, const ComparisonOptions&) = default;
};

}  // namespace vistrel
