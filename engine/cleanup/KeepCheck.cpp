#include "KeepCheck.h"

#include "FreshSignatures.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "repository/PictureRepository.h"

#include <limits>

namespace vistrel {

namespace {

constexpr std::int32_t kSide = CPictureRepository::kSide;
constexpr std::size_t kNotRead = std::numeric_limits<std::size_t>::max();

bool Unchanged(const PlannedFile& file) {
    return SameFileUnchanged(file.identity, ReadFileIdentity(file.path));
}

bool IsKeptFile(const PlannedFile& copy, const PlannedFile& kept) {
    return copy.identity && kept.identity && copy.identity->SameFile(*kept.identity);
}

bool StillNearCopy(const SignatureBytes& kept, const SignatureBytes& copy, Orientation orientation,
                   bool shapeOnly) {
    std::vector<std::uint8_t> turned(copy.size());
    OrientSignature(copy.data(), turned.data(), kSide, orientation);
    return IsNearCopyFactor(
        ComputeDifferenceReference(kept.data(), turned.data(), kSide, shapeOnly));
}

}  // namespace

KeepCheck CheckKeepPlans(const std::vector<KeepPlan>& plans, bool shapeOnly,
                         ProgressObserver* progress) {
    // Every kept picture and every near-copy that is still the file planned is decoded, all at
    // once on every core; where each one's signature will be.
    std::vector<QString> paths;
    std::vector<std::size_t> keptAt(plans.size(), kNotRead);
    std::vector<std::vector<std::size_t>> copyAt(plans.size());
    for (std::size_t p = 0; p < plans.size(); ++p) {
        const KeepPlan& plan = plans[p];
        copyAt[p].assign(plan.copies.size(), kNotRead);
        if (!Unchanged(plan.kept)) {
            continue;
        }
        keptAt[p] = paths.size();
        paths.push_back(plan.kept.path);
        for (std::size_t c = 0; c < plan.copies.size(); ++c) {
            const PlannedFile& copy = plan.copies[c];
            if (!copy.byHand && !IsKeptFile(copy, plan.kept) && Unchanged(copy)) {
                copyAt[p][c] = paths.size();
                paths.push_back(copy.path);
            }
        }
    }
    const std::optional<std::vector<SignatureBytes>> signatures =
        SignFreshly(paths, kSide, progress);
    KeepCheck check;
    if (!signatures) {
        return check;
    }
    // What a decode read must not have changed under it: the files are looked at once more.
    const auto signature = [&](std::size_t at, const PlannedFile& file) {
        return at != kNotRead && Unchanged(file) ? (*signatures)[at] : SignatureBytes();
    };
    for (std::size_t p = 0; p < plans.size(); ++p) {
        const KeepPlan& plan = plans[p];
        const SignatureBytes kept = signature(keptAt[p], plan.kept);
        if (kept.empty()) {
            check.keptChanged.append(plan.kept.path);
            continue;
        }
        KeepPlan confirmed{plan.kept, {}};
        for (std::size_t c = 0; c < plan.copies.size(); ++c) {
            const PlannedFile& copy = plan.copies[c];
            bool holds = false;
            if (copy.byHand) {
                // The user chose it by looking: it need only be the file they saw.
                holds = !IsKeptFile(copy, plan.kept) && Unchanged(copy);
            } else {
                const SignatureBytes now = signature(copyAt[p][c], copy);
                holds = !now.empty() && StillNearCopy(kept, now, copy.orientation, shapeOnly);
            }
            if (holds) {
                confirmed.copies.push_back(copy);
            } else {
                check.notCopies.append(copy.path);
            }
        }
        if (!confirmed.copies.empty()) {
            check.plans.push_back(std::move(confirmed));
        }
    }
    return check;
}

}  // namespace vistrel
