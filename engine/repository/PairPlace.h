#pragma once

#include "SimilarPairs.h"

#include <cstdint>
#include <optional>

namespace vistrel {

/// Where a pair stands in the walk through every similar pair (StepSimilarPair's order): its
/// number, from 1, and how many pairs the walk visits.
struct PairPlace {
    std::int64_t number = 0;
    std::int64_t count = 0;
};

/// The place of `pair` (either way round) in the walk of `repository`'s pairs; nothing when it
/// is no pair of the repository. Reads every link once. GUI thread.
std::optional<PairPlace> PlaceOfPair(const CPictureRepository& repository, const SimilarPair& pair);

}  // namespace vistrel
