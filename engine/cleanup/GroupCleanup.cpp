#include "GroupCleanup.h"

#include "repository/PictureRepository.h"

#include <QFileInfo>

#include <cstdint>
#include <unordered_set>

namespace vistrel {

KeepMoves PlanKeepMoves(const CPictureRepository& repository, const std::vector<KeepPlan>& plans) {
    KeepMoves moves;
    moves.plans = plans;
    for (const KeepPlan& plan : plans) {
        moves.groupBegin.push_back(moves.copy.size());
        for (const PlannedFile& copy : plan.copies) {
            const std::int32_t index = repository.FindPicture(copy.path);
            if (index < 0 || copy.path == plan.kept.path) {
                continue;
            }
            moves.planned.indexes.push_back(index);
            moves.planned.paths.push_back(copy.path);
            moves.copy.push_back(copy);
        }
    }
    moves.groupBegin.push_back(moves.copy.size());
    return moves;
}

KeepMoveOutcomes MoveKeepCopies(const KeepMoves& moves, const TrashMover& trash,
                                const ReferenceFolders& reference, ProgressObserver* progress) {
    KeepMoveOutcomes outcomes;
    const std::size_t count = moves.copy.size();
    outcomes.copies.resize(count);
    outcomes.keptGone.assign(moves.plans.size(), false);
    // A copy that is the file of any picture kept, under whatever path, would take that picture.
    std::unordered_set<FileKey, FileKeyHash> keptFiles;
    for (const KeepPlan& plan : moves.plans) {
        if (plan.kept.identity) {
            keptFiles.insert(KeyOf(*plan.kept.identity));
        }
    }
    const auto stop = [progress] { return progress != nullptr && progress->StopRequested(); };
    for (std::size_t g = 0; g < moves.plans.size(); ++g) {
        const KeepPlan& plan = moves.plans[g];
        const std::size_t end = moves.groupBegin[g + 1];
        if (stop()) {
            outcomes.left = count - moves.groupBegin[g];
            break;
        }
        // Trashing the copies of a picture that is itself gone or replaced would lose it.
        if (!QFileInfo(plan.kept.path).isFile() ||
            !SameFileUnchanged(plan.kept.identity, ReadFileIdentity(plan.kept.path))) {
            outcomes.keptGone[g] = true;
            continue;
        }
        for (std::size_t k = moves.groupBegin[g]; k < end; ++k) {
            if (stop()) {
                outcomes.left = count - k;
                return outcomes;
            }
            const PlannedFile& copy = moves.copy[k];
            MoveOutcome& outcome = outcomes.copies[k];
            // The list and the file as they are now, not as they were when the plan was made.
            if (reference.ProtectsFile(copy.path)) {
                outcome.verdict = MoveVerdict::Protected;
            } else if (const std::optional<FileIdentity> now = ReadFileIdentity(copy.path);
                       !SameFileUnchanged(copy.identity, now) || keptFiles.count(KeyOf(*now)) > 0) {
                outcome.verdict = MoveVerdict::Changed;
            } else {
                outcome = MoveTracked(copy.path, trash);
            }
            if (progress != nullptr) {
                progress->Report(ProgressReport{k + 1, count, {}});
            }
        }
    }
    return outcomes;
}

KeepOutcome ApplyKeepMoves(CPictureRepository& repository, const KeepMoves& moves,
                           const KeepMoveOutcomes& outcomes, const MoveRecorder& record) {
    KeepOutcome outcome;
    for (std::size_t g = 0; g < moves.plans.size(); ++g) {
        if (outcomes.keptGone[g]) {
            outcome.keptGone.append(moves.plans[g].kept.path);
        }
    }
    PlannedMoves moved;
    std::vector<MoveOutcome> movedOutcomes;
    for (std::size_t k = 0; k < outcomes.copies.size(); ++k) {
        const QString& path = moves.planned.paths[k];
        switch (outcomes.copies[k].verdict) {
            case MoveVerdict::NotReached:
                break;
            case MoveVerdict::Moved:
                outcome.moved.append(path);
                moved.indexes.push_back(moves.planned.indexes[k]);
                moved.paths.push_back(path);
                movedOutcomes.push_back(outcomes.copies[k]);
                break;
            case MoveVerdict::Refused:
                outcome.notMoved.append(path);
                break;
            case MoveVerdict::Protected:
                outcome.spared.append(path);
                break;
            case MoveVerdict::Changed:
                outcome.changed.append(path);
                break;
        }
    }
    // The links of the pictures that stay are kept; no entry is marked.
    ApplyMoves(repository, moved, movedOutcomes, record);
    return outcome;
}

KeepOutcome TrashAllButKept(CPictureRepository& repository, const std::vector<KeepPlan>& plans,
                            const TrashFunction& trash, const ReferenceFolders& reference) {
    const KeepMoves moves = PlanKeepMoves(repository, plans);
    const KeepMoveOutcomes outcomes = MoveKeepCopies(moves, TrackedBy(trash), reference, nullptr);
    return ApplyKeepMoves(repository, moves, outcomes, {});
}

}  // namespace vistrel
