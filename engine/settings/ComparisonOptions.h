#pragma once

namespace vistrel {

/// The user's choices a similarity run reads when it starts, passed to it as a value.
struct ComparisonOptions {
    float threshold = 4.0f;         ///< similarity threshold in percent
    bool shapeOnly = false;         ///< compare channel sums instead of single channels
    bool findTurnedCopies = false;  ///< also compare each pair turned and mirrored

    friend bool operator==(const ComparisonOptions&, const ComparisonOptions&) = default;
};

}  // namespace vistrel
