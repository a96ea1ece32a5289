#pragma once

#include "PictureGroups.h"

namespace vistrel {

/// The facts of one picture of a pair that are better than the other picture's, each by the
/// rule the best copy weighs it with (CompareCopies), for a user who compares the two.
struct BetterFacts {
    /// It alone holds the camera's data.
    bool camera = false;
    /// More pixels, and not as an enlargement of the other; or fewer, the other being an
    /// enlargement of it (ComparePixels).
    bool pixels = false;
    /// The camera's format, the other being a lossless re-save of it.
    bool format = false;
    /// Taken a second or more before the other.
    bool taken = false;
    /// Modified a second or more before the other, when the dates taken tell nothing.
    bool modified = false;
};

/// What `picture` has better than `other`; nothing unless both files can be read. The facts'
/// `camera` and `enlargementOf` as ReadKeepFacts fills them. `nearCopies`: the two are
/// near-copies (IsNearCopyFactor), so that one may be a re-save of the other. Any thread.
BetterFacts MarkBetterFacts(const KeepCandidate& picture, const KeepCandidate& other,
                            bool nearCopies);

}  // namespace vistrel
