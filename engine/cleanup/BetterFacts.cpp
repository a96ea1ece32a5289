#include "BetterFacts.h"

#include "BestCopy.h"

namespace vistrel {

BetterFacts MarkBetterFacts(const KeepCandidate& picture, const KeepCandidate& other,
                            bool nearCopies) {
    BetterFacts better;
    if (!picture.facts.Readable() || !other.facts.Readable()) {
        return better;
    }
    better.camera = picture.facts.camera.Present() && !other.facts.camera.Present();
    better.pixels = ComparePixels(picture, other) < 0;
    better.format = nearCopies && IsResaveFormat(other.facts.format, picture.facts.format);
    const int taken = CompareEarlier(picture.facts.camera.taken, other.facts.camera.taken);
    better.taken = taken < 0;
    // The file's date speaks only where the camera's does not: a copy is modified when it is
    // made, the camera's date stays.
    better.modified =
        taken == 0 && CompareEarlier(picture.facts.modified, other.facts.modified) < 0;
    return better;
}

}  // namespace vistrel
