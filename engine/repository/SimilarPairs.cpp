#include "SimilarPairs.h"

#include <algorithm>

namespace vistrel {

namespace {

// A pair's place in the walk: the entry with the lower index and the position of the link to
// the other one among its links.
struct Position {
    std::int32_t entry = 0;
    std::size_t link = 0;
};

std::optional<Position> PositionOf(const CPictureRepository& repository, const SimilarPair& pair) {
    const std::int32_t lower = std::min(pair.first, pair.second);
    const std::int32_t higher = std::max(pair.first, pair.second);
    if (lower < 0 || higher >= repository.GetCount()) {
        return std::nullopt;
    }
    const std::vector<CSimilarInfo>& links = repository.GetPicture(lower).similar;
    for (std::size_t k = 0; k < links.size(); ++k) {
        if (links[k].index == higher) {
            return Position{lower, k};
        }
    }
    return std::nullopt;
}

// The pair at a link when it is one the walk stops at: its twin is in an entry further on, and
// it does not include the entry to avoid.
std::optional<SimilarPair> PairAt(const CPictureRepository& repository, std::int32_t entry,
                                  std::size_t link, std::int32_t avoid) {
    const CSimilarInfo& info = repository.GetPicture(entry).similar[link];
    if (info.index <= entry || entry == avoid || info.index == avoid) {
        return std::nullopt;
    }
    return SimilarPair{entry, info.index, info.factor, info.orientation};
}

PairStep StepForward(const CPictureRepository& repository, const std::optional<Position>& start,
                     std::int32_t avoid) {
    const std::int32_t count = repository.GetCount();
    std::int32_t entry = start ? start->entry : 0;
    std::size_t link = start ? start->link + 1 : 0;
    bool wrapped = false;
    // From a pair, the walk comes round to its own entry once more, up to the pair itself.
    const std::int32_t entries = start ? count + 1 : count;
    for (std::int32_t visited = 0; visited < entries; ++visited) {
        const std::size_t links = repository.GetPicture(entry).similar.size();
        for (; link < links; ++link) {
            if (wrapped && start && entry == start->entry && link > start->link) {
                return {};
            }
            if (const auto pair = PairAt(repository, entry, link, avoid)) {
                return {pair, wrapped};
            }
        }
        link = 0;
        if (++entry == count) {
            entry = 0;
            wrapped = true;
        }
    }
    return {};
}

PairStep StepBackward(const CPictureRepository& repository, const std::optional<Position>& start,
                      std::int32_t avoid) {
    const std::int32_t count = repository.GetCount();
    std::int32_t entry = start ? start->entry : count - 1;
    std::size_t link = start ? start->link : repository.GetPicture(entry).similar.size();
    bool wrapped = false;
    const std::int32_t entries = start ? count + 1 : count;
    for (std::int32_t visited = 0; visited < entries; ++visited) {
        while (link-- > 0) {
            if (wrapped && start && entry == start->entry && link < start->link) {
                return {};
            }
            if (const auto pair = PairAt(repository, entry, link, avoid)) {
                return {pair, wrapped};
            }
        }
        if (entry-- == 0) {
            entry = count - 1;
            wrapped = true;
        }
        link = repository.GetPicture(entry).similar.size();
    }
    return {};
}

}  // namespace

std::optional<SimilarPair> FindSimilarPair(const CPictureRepository& repository,
                                           const QString& firstPath, const QString& secondPath) {
    const std::int32_t first = repository.FindPicture(firstPath);
    const std::int32_t second = repository.FindPicture(secondPath);
    if (first < 0 || second < 0 || first == second) {
        return std::nullopt;
    }
    for (const CSimilarInfo& link : repository.GetPicture(first).similar) {
        if (link.index == second) {
            return SimilarPair{first, second, link.factor, link.orientation};
        }
    }
    return std::nullopt;
}

PairStep StepSimilarPair(const CPictureRepository& repository,
                         const std::optional<SimilarPair>& from, bool forward, std::int32_t avoid) {
    if (repository.IsEmpty()) {
        return {};
    }
    const std::optional<Position> start = from ? PositionOf(repository, *from) : std::nullopt;
    return forward ? StepForward(repository, start, avoid) : StepBackward(repository, start, avoid);
}

}  // namespace vistrel
