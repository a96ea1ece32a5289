#include "KeepCheck.h"

#include "DifferenceFactor.h"
#include "PictureRepository.h"
#include "PictureSignature.h"

namespace vistrel {

namespace {

constexpr std::int32_t kSide = CPictureRepository::kSide;

// The signature of the file at `file.path` now, when it is still the file planned; empty
// otherwise.
std::vector<std::uint8_t> SignatureNow(const PlannedFile& file) {
    if (!SameFileUnchanged(file.identity, ReadFileIdentity(file.path))) {
        return {};
    }
    std::vector<std::uint8_t> signature = ComputeSignature(file.path, kSide);
    // The decode read the file: it must not have changed under it.
    if (!SameFileUnchanged(file.identity, ReadFileIdentity(file.path))) {
        return {};
    }
    return signature;
}

bool StillNearCopy(const std::vector<std::uint8_t>& kept, const std::vector<std::uint8_t>& copy,
                   Orientation orientation, bool shapeOnly) {
    std::vector<std::uint8_t> turned(copy.size());
    OrientSignature(copy.data(), turned.data(), kSide, orientation);
    return IsNearCopyFactor(
        ComputeDifferenceReference(kept.data(), turned.data(), kSide, shapeOnly));
}

}  // namespace

KeepCheck CheckKeepPlans(const std::vector<KeepPlan>& plans, bool shapeOnly,
                         const FileCheckProgress& progress) {
    int total = 0;
    for (const KeepPlan& plan : plans) {
        total += 1 + static_cast<int>(plan.copies.size());
    }
    int done = 0;
    const auto step = [&] { return !progress || progress(++done, total); };

    KeepCheck check;
    for (const KeepPlan& plan : plans) {
        const std::vector<std::uint8_t> kept = SignatureNow(plan.kept);
        if (!step()) {
            return check;
        }
        if (kept.empty()) {
            check.keptChanged.append(plan.kept.path);
            done += static_cast<int>(plan.copies.size());
            continue;
        }
        KeepPlan confirmed{plan.kept, {}};
        for (const PlannedFile& copy : plan.copies) {
            const bool sameFile =
                copy.identity && plan.kept.identity && copy.identity->SameFile(*plan.kept.identity);
            bool holds = false;
            if (sameFile) {
                holds = false;
            } else if (copy.byHand) {
                // The user chose it by looking: it need only be the file they saw.
                holds = SameFileUnchanged(copy.identity, ReadFileIdentity(copy.path));
            } else {
                const std::vector<std::uint8_t> signature = SignatureNow(copy);
                holds = !signature.empty() &&
                        StillNearCopy(kept, signature, copy.orientation, shapeOnly);
            }
            if (holds) {
                confirmed.copies.push_back(copy);
            } else {
                check.notCopies.append(copy.path);
            }
            if (!step()) {
                return check;
            }
        }
        if (!confirmed.copies.empty()) {
            check.plans.push_back(std::move(confirmed));
        }
    }
    return check;
}

}  // namespace vistrel
