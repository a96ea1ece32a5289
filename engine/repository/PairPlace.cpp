#include "PairPlace.h"

#include <algorithm>

namespace vistrel {

std::optional<PairPlace> PlaceOfPair(const CPictureRepository& repository,
                                     const SimilarPair& pair) {
    // The walk meets a pair at the link of its lower entry, entry by entry and link by link.
    const std::int32_t lower = std::min(pair.first, pair.second);
    const std::int32_t higher = std::max(pair.first, pair.second);
    if (lower < 0 || lower == higher || higher >= repository.GetCount()) {
        return std::nullopt;
    }
    PairPlace place;
    bool found = false;
    for (std::int32_t entry = 0; entry < repository.GetCount(); ++entry) {
        for (const CSimilarInfo& link : repository.GetPicture(entry).similar) {
            if (link.index <= entry) {
                continue;  // the twin of a link the walk met at the lower entry
            }
            ++place.count;
            if (entry == lower && link.index == higher) {
                place.number = place.count;
                found = true;
            }
        }
    }
    if (!found) {
        return std::nullopt;
    }
    return place;
}

}  // namespace vistrel
