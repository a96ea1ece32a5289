#include "PairLinks.h"

#include "repository/PictureRepository.h"

#include <algorithm>

namespace vistrel {

namespace {

// The position of the link to `other` among `links`, or end.
std::vector<CSimilarInfo>::iterator FindLink(std::vector<CSimilarInfo>& links, std::int32_t other) {
    return std::find_if(links.begin(), links.end(),
                        [other](const CSimilarInfo& link) { return link.index == other; });
}

bool HoldsPicture(const CPictureRepository& repository, std::int32_t index,
                  const SignatureDigest& digest) {
    const CPictureInfo& entry = repository.GetPicture(index);
    return !entry.signature.empty() && SignatureDigest::Of(entry.signature) == digest;
}

}  // namespace

std::optional<TakenLink> DescribePair(const CPictureRepository& repository,
                                      const QString& firstPath, const QString& secondPath) {
    const std::int32_t first = repository.FindPicture(firstPath);
    const std::int32_t second = repository.FindPicture(secondPath);
    if (first < 0 || second < 0 || first == second) {
        return std::nullopt;
    }
    const CPictureInfo& a = repository.GetPicture(first);
    const CPictureInfo& b = repository.GetPicture(second);
    // An unreadable picture has no signature to mark, and is never in a pair.
    if (a.signature.empty() || b.signature.empty()) {
        return std::nullopt;
    }
    TakenLink pair{firstPath,
                   secondPath,
                   SignatureDigest::Of(a.signature),
                   SignatureDigest::Of(b.signature),
                   CSimilarInfo{second, 0},
                   CSimilarInfo{first, 0}};
    for (const CSimilarInfo& link : a.similar) {
        if (link.index == second) {
            pair.fromFirst = link;
            pair.linked = true;
        }
    }
    for (const CSimilarInfo& link : b.similar) {
        if (link.index == first) {
            pair.fromSecond = link;
            pair.linked = true;
        }
    }
    return pair;
}

bool TakeLinkOut(CPictureRepository& repository, const TakenLink& pair) {
    const std::int32_t first = repository.FindPicture(pair.firstPath);
    const std::int32_t second = repository.FindPicture(pair.secondPath);
    if (first < 0 || second < 0) {
        return false;
    }
    std::vector<CSimilarInfo>& fromFirst = repository.GetPicture(first).similar;
    std::vector<CSimilarInfo>& fromSecond = repository.GetPicture(second).similar;
    const auto one = FindLink(fromFirst, second);
    const auto other = FindLink(fromSecond, first);
    const bool linked = one != fromFirst.end() || other != fromSecond.end();
    if (one != fromFirst.end()) {
        fromFirst.erase(one);
    }
    if (other != fromSecond.end()) {
        fromSecond.erase(other);
    }
    if (linked) {
        repository.MarkModified();
    }
    return linked;
}

bool PutLinkBack(CPictureRepository& repository, const TakenLink& pair) {
    const std::int32_t first = repository.FindPicture(pair.firstPath);
    const std::int32_t second = repository.FindPicture(pair.secondPath);
    if (!pair.linked || first < 0 || second < 0 || first == second ||
        !HoldsPicture(repository, first, pair.firstDigest) ||
        !HoldsPicture(repository, second, pair.secondDigest)) {
        return false;
    }
    std::vector<CSimilarInfo>& fromFirst = repository.GetPicture(first).similar;
    std::vector<CSimilarInfo>& fromSecond = repository.GetPicture(second).similar;
    if (FindLink(fromFirst, second) != fromFirst.end() ||
        FindLink(fromSecond, first) != fromSecond.end()) {
        return false;
    }
    // The entries may have other indices by now; the factor and orientation are the pair's.
    CSimilarInfo toSecond = pair.fromFirst;
    toSecond.index = second;
    CSimilarInfo toFirst = pair.fromSecond;
    toFirst.index = first;
    fromFirst.push_back(toSecond);
    fromSecond.push_back(toFirst);
    repository.MarkModified();
    return true;
}

}  // namespace vistrel
