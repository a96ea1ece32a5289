#include "TrashMoves.h"

#include "repository/PictureRepository.h"

#include <algorithm>

namespace vistrel {

namespace {

// The entry planned at `index`, found again by its path should the entries have moved since.
std::int32_t PlannedEntry(const CPictureRepository& repository, std::int32_t index,
                          const QString& path) {
    if (index >= 0 && index < repository.GetCount() && repository.GetPicture(index).path == path) {
        return index;
    }
    return repository.FindPicture(path);
}

}  // namespace

TrashMover TrackedBy(TrashFunction trash) {
    return [trash = std::move(trash)](const QString& path, QString*) { return trash(path); };
}

MoveOutcome MoveTracked(const QString& path, const TrashMover& mover) {
    MoveOutcome outcome;
    // Read before the move: afterwards the path no longer leads through the folder it left.
    outcome.folder = ReadFolderIdentity(path);
    outcome.verdict = mover(path, &outcome.pathInTrash) ? MoveVerdict::Moved : MoveVerdict::Refused;
    return outcome;
}

std::vector<MoveOutcome> WalkMoves(std::size_t count,
                                   const std::function<MoveOutcome(std::size_t k)>& move,
                                   ProgressObserver* progress) {
    std::vector<MoveOutcome> outcomes(count);
    for (std::size_t k = 0; k < count; ++k) {
        if (progress != nullptr && progress->StopRequested()) {
            break;
        }
        outcomes[k] = move(k);
        if (progress != nullptr) {
            progress->Report(ProgressReport{k + 1, count, {}});
        }
    }
    return outcomes;
}

QStringList ApplyMoves(CPictureRepository& repository, const PlannedMoves& planned,
                       const std::vector<MoveOutcome>& outcomes, const MoveRecorder& record) {
    QStringList spared;
    std::vector<std::int32_t> gone;
    for (std::size_t k = 0; k < outcomes.size() && k < planned.paths.size(); ++k) {
        const QString& path = planned.paths[k];
        const std::int32_t index = PlannedEntry(repository, planned.indexes[k], path);
        switch (outcomes[k].verdict) {
            case MoveVerdict::NotReached:
                break;
            case MoveVerdict::Protected:
                spared.append(path);
                break;
            case MoveVerdict::Refused:
            case MoveVerdict::Changed:
                if (index >= 0) {
                    repository.GetPicture(index).marked = true;
                }
                break;
            case MoveVerdict::Moved:
                if (index >= 0) {
                    if (record) {
                        record(repository.GetPicture(index), outcomes[k]);
                    }
                    gone.push_back(index);
                }
                break;
        }
    }
    // All at once: one by one, each removal would renumber every link again.
    repository.RemovePictures(gone);
    return spared;
}

std::size_t CountVerdicts(const std::vector<MoveOutcome>& outcomes, MoveVerdict verdict) {
    return static_cast<std::size_t>(std::count_if(
        outcomes.begin(), outcomes.end(),
        [verdict](const MoveOutcome& outcome) { return outcome.verdict == verdict; }));
}

}  // namespace vistrel
