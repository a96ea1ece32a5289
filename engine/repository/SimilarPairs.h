#pragma once

#include "PictureRepository.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace vistrel {

/// Two linked entries of the repository, by index, and the factor of their link (0..255 scale,
/// truncated). A link and its twin in the other entry are one pair.
struct SimilarPair {
    std::int32_t first = -1;
    std::int32_t second = -1;
    std::int32_t factor = 0;
    /// The orientation of the second picture that looks like the first.
    Orientation orientation = Orientation::None;
};

/// The pair of the entries at `firstPath` and `secondPath` (`first` the index of `firstPath`)
/// when both are in the repository and linked; nothing otherwise. GUI thread.
std::optional<SimilarPair> FindSimilarPair(const CPictureRepository& repository,
                                           const QString& firstPath, const QString& secondPath);

/// Where a step through the pairs landed.
struct PairStep {
    /// Nothing when the repository has no pair to step to.
    std::optional<SimilarPair> pair;
    /// The step went past the last pair to the first one (or, backward, the other way round).
    bool wrapped = false;
};

/// Steps through every similar pair of the repository once, in its order: entry i with each
/// entry j > i that it links, in the order of i's links. From `from` (either way round; a pair
/// that exists) to the next pair (`forward`) or the previous one, wrapping at the ends; from
/// nothing to the first or the last pair. Pairs that include entry `avoid` are passed over,
/// `from` itself too. A repository with one pair steps from it to itself (wrapped). GUI thread.
PairStep StepSimilarPair(const CPictureRepository& repository,
                         const std::optional<SimilarPair>& from, bool forward,
                         std::int32_t avoid = -1);

}  // namespace vistrel
