#include "PictureGroups.h"

#include "BestCopy.h"
#include "repository/PictureRepository.h"

#include <numeric>

namespace vistrel {

namespace {

// Union-find over entry indexes, with path halving and union by size: close to linear over
// millions of links.
class DisjointSets {
public:
    explicit DisjointSets(std::size_t count) : parent(count), size(count, 1) {
        std::iota(parent.begin(), parent.end(), std::int32_t{0});
    }

    std::int32_t Find(std::int32_t item) {
        while (parent[static_cast<std::size_t>(item)] != item) {
            auto& up = parent[static_cast<std::size_t>(item)];
            up = parent[static_cast<std::size_t>(up)];
            item = up;
        }
        return item;
    }

    void Join(std::int32_t a, std::int32_t b) {
        a = Find(a);
        b = Find(b);
        if (a == b) {
            return;
        }
        if (size[static_cast<std::size_t>(a)] < size[static_cast<std::size_t>(b)]) {
            std::swap(a, b);
        }
        parent[static_cast<std::size_t>(b)] = a;
        size[static_cast<std::size_t>(a)] += size[static_cast<std::size_t>(b)];
    }

private:
    std::vector<std::int32_t> parent;
    std::vector<std::int32_t> size;
};

template <typename T>
int Order(const T& a, const T& b) {
    return a < b ? -1 : b < a ? 1 : 0;
}

// Negative when `a` is the better picture to keep under the weight of `rule` alone, positive
// when `b` is, 0 on a tie.
int CompareByRule(const KeepCandidate& a, const KeepCandidate& b, KeepRule rule) {
    switch (rule) {
        case KeepRule::MostPixels:
            return Order(b.facts.Pixels(), a.facts.Pixels());
        case KeepRule::LargestFile:
            return Order(b.facts.fileBytes, a.facts.fileBytes);
        case KeepRule::Oldest:
            return Order(a.facts.modified, b.facts.modified);
        case KeepRule::Newest:
            return Order(b.facts.modified, a.facts.modified);
        case KeepRule::ShortestPath:
            return Order(a.path.size(), b.path.size());
        case KeepRule::BestCopy:
            return 0;
    }
    return 0;
}

// True when `a` is a better picture to keep than `b` under `rule`, its ties broken by the
// better copy; neither is better when nothing tells them apart.
bool Better(const KeepCandidate& a, const KeepCandidate& b, KeepRule rule) {
    const int byRule = CompareByRule(a, b, rule);
    return byRule != 0 ? byRule < 0 : CompareCopies(a, b) < 0;
}

// How fit a picture is to be kept, before any rule: readable, then merely there, then gone.
int Standing(const KeepCandidate& candidate) {
    return candidate.Keepable() ? 2 : candidate.facts.exists ? 1 : 0;
}

}  // namespace

std::vector<PictureGroup> ListPictureGroups(const CPictureRepository& repository) {
    const std::int32_t count = repository.GetCount();
    DisjointSets sets(static_cast<std::size_t>(count));
    std::vector<bool> linked(static_cast<std::size_t>(count), false);
    for (std::int32_t i = 0; i < count; ++i) {
        for (const CSimilarInfo& link : repository.GetPicture(i).similar) {
            // The repository keeps its links valid; a stray one is no reason to fail.
            if (link.index < 0 || link.index >= count || link.index == i) {
                continue;
            }
            linked[static_cast<std::size_t>(i)] = true;
            linked[static_cast<std::size_t>(link.index)] = true;
            sets.Join(i, link.index);
        }
    }
    // Walking the entries in order numbers the groups by their first entry and fills each in
    // repository order.
    std::vector<std::int32_t> groupOfRoot(static_cast<std::size_t>(count), -1);
    std::vector<PictureGroup> groups;
    for (std::int32_t i = 0; i < count; ++i) {
        if (!linked[static_cast<std::size_t>(i)]) {
            continue;
        }
        auto& group = groupOfRoot[static_cast<std::size_t>(sets.Find(i))];
        if (group < 0) {
            group = static_cast<std::int32_t>(groups.size());
            groups.emplace_back();
        }
        groups[static_cast<std::size_t>(group)].push_back(i);
    }
    return groups;
}

std::size_t ChooseKeptPicture(const std::vector<KeepCandidate>& group, KeepRule rule) {
    std::size_t chosen = 0;
    for (std::size_t i = 1; i < group.size(); ++i) {
        const KeepCandidate& candidate = group[i];
        const KeepCandidate& best = group[chosen];
        const int standing = Standing(candidate);
        const int bestStanding = Standing(best);
        if (standing > bestStanding ||
            (standing == bestStanding && standing > 0 && Better(candidate, best, rule))) {
            chosen = i;
        }
    }
    return chosen;
}

}  // namespace vistrel
