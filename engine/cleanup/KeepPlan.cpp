#include "KeepPlan.h"

#include "comparison/kernels/DifferenceFactor.h"
#include "repository/PictureRepository.h"

#include <algorithm>

namespace vistrel {

namespace {

// The exact factor of `a` and `b` with `b` in `orientation`, as the test took it.
float OrientedFactor(const CPictureInfo& a, const CPictureInfo& b, Orientation orientation,
                     std::int32_t side, bool shapeOnly) {
    if (orientation == Orientation::None) {
        return ComputeDifferenceReference(a.SignatureData(), b.SignatureData(), side, shapeOnly);
    }
    std::vector<std::uint8_t> turned(b.signature.size());
    OrientSignature(b.SignatureData(), turned.data(), side, orientation);
    return ComputeDifferenceReference(a.SignatureData(), turned.data(), side, shapeOnly);
}

// Whether a link makes a near-copy. A link keeps its factor truncated: most links are settled by
// that alone, the rest by the signatures.
bool IsNearCopyLink(const CPictureInfo& picture, const CPictureInfo& other,
                    const CSimilarInfo& link, std::int32_t side, bool shapeOnly) {
    if (IsNearCopyFactor(static_cast<float>(link.factor + 1))) {
        return true;
    }
    if (!IsNearCopyFactor(static_cast<float>(link.factor))) {
        return false;
    }
    const std::size_t bytes = 3 * static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
    if (picture.signature.size() != bytes || other.signature.size() != bytes) {
        return false;
    }
    return IsNearCopyFactor(OrientedFactor(picture, other, link.orientation, side, shapeOnly));
}

bool At(const std::vector<bool>& flags, std::size_t position) {
    return position < flags.size() && flags[position];
}

}  // namespace

bool IsNearCopyFactor(float factor) {
    // A test's threshold counts its pairs below half of it.
    return IsSimilarFactor(factor, kNearCopyThresholdPercent / 2);
}

std::vector<std::vector<NearCopy>> ListNearCopies(const CPictureRepository& repository,
                                                  const PictureGroup& group, bool shapeOnly) {
    std::vector<std::vector<NearCopy>> nearCopies(group.size());
    for (std::size_t position = 0; position < group.size(); ++position) {
        const CPictureInfo& picture = repository.GetPicture(group[position]);
        for (const CSimilarInfo& link : picture.similar) {
            // A group lists its entries in repository order.
            const auto found = std::lower_bound(group.begin(), group.end(), link.index);
            if (found == group.end() || *found != link.index || link.index == group[position]) {
                continue;
            }
            const CPictureInfo& other = repository.GetPicture(link.index);
            if (IsNearCopyLink(picture, other, link, repository.Side(), shapeOnly)) {
                nearCopies[position].push_back(
                    NearCopy{static_cast<std::size_t>(found - group.begin()), link.orientation});
            }
        }
    }
    return nearCopies;
}

std::vector<KeepAction> DecideGroup(const std::vector<KeepCandidate>& group,
                                    const std::vector<std::vector<NearCopy>>& nearCopies,
                                    std::size_t kept, const std::vector<bool>& handPicked) {
    std::vector<KeepAction> actions(group.size(), KeepAction::Stay);
    if (kept >= group.size()) {
        return actions;
    }
    const bool keepable = group[kept].Keepable();
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (!group[i].facts.exists) {
            actions[i] = KeepAction::Gone;
        }
    }
    if (!group[kept].facts.exists) {
        return actions;
    }
    actions[kept] = KeepAction::Keep;
    // Moving the copies of a picture that cannot be read would lose the picture.
    if (!keepable) {
        return actions;
    }
    const auto movable = [&](std::size_t i) {
        const PictureFacts& facts = group[i].facts;
        const std::optional<FileIdentity>& keptFile = group[kept].facts.identity;
        // The same file under another path is the picture kept.
        return i != kept && facts.exists &&
               !(facts.identity && keptFile && facts.identity->SameFile(*keptFile));
    };
    if (kept < nearCopies.size()) {
        for (const NearCopy& copy : nearCopies[kept]) {
            if (copy.position < group.size() && movable(copy.position)) {
                actions[copy.position] = KeepAction::Trash;
            }
        }
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (At(handPicked, i) && movable(i)) {
            actions[i] = KeepAction::Trash;
        }
    }
    return actions;
}

std::optional<KeepPlan> MakeKeepPlan(const std::vector<KeepCandidate>& group,
                                     const std::vector<std::vector<NearCopy>>& nearCopies,
                                     const std::vector<KeepAction>& actions,
                                     const std::vector<bool>& handPicked) {
    const auto kept = std::find(actions.begin(), actions.end(), KeepAction::Keep);
    if (kept == actions.end()) {
        return std::nullopt;
    }
    const auto keptPosition = static_cast<std::size_t>(kept - actions.begin());
    KeepPlan plan;
    plan.kept = PlannedFile{group[keptPosition].path, group[keptPosition].facts.identity};
    for (std::size_t i = 0; i < actions.size() && i < group.size(); ++i) {
        if (actions[i] != KeepAction::Trash) {
            continue;
        }
        PlannedFile copy{group[i].path, group[i].facts.identity};
        copy.byHand = true;
        if (keptPosition < nearCopies.size()) {
            for (const NearCopy& near : nearCopies[keptPosition]) {
                if (near.position == i) {
                    copy.orientation = near.orientation;
                    copy.byHand = false;
                }
            }
        }
        // A near-copy the user also ticked is still a near-copy, checked as one.
        copy.byHand = copy.byHand && At(handPicked, i);
        plan.copies.push_back(std::move(copy));
    }
    if (plan.copies.empty()) {
        return std::nullopt;
    }
    return plan;
}

bool SameFileUnchanged(const std::optional<FileIdentity>& then,
                       const std::optional<FileIdentity>& now) {
    return then && now && then->SameFile(*now) && then->size == now->size &&
           then->mtimeNs == now->mtimeNs && then->ctimeNs == now->ctimeNs;
}

}  // namespace vistrel
