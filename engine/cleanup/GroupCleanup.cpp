#include "GroupCleanup.h"

#include "repository/PictureRepository.h"

#include <QFileInfo>

#include <cstdint>
#include <unordered_set>

namespace vistrel {

KeepOutcome TrashAllButKept(CPictureRepository& repository, const std::vector<KeepPlan>& plans,
                            const TrashFunction& trash, const ReferenceFolders& reference) {
    KeepOutcome outcome;
    // A copy that is the file of any picture kept, under whatever path, would take that picture.
    std::unordered_set<FileKey, FileKeyHash> keptFiles;
    for (const KeepPlan& plan : plans) {
        if (plan.kept.identity) {
            keptFiles.insert(KeyOf(*plan.kept.identity));
        }
    }
    std::vector<std::int32_t> gone;
    for (const KeepPlan& plan : plans) {
        // Trashing the copies of a picture that is itself gone or replaced would lose it.
        if (!QFileInfo(plan.kept.path).isFile() ||
            !SameFileUnchanged(plan.kept.identity, ReadFileIdentity(plan.kept.path))) {
            outcome.keptGone.append(plan.kept.path);
            continue;
        }
        for (const PlannedFile& copy : plan.copies) {
            const std::int32_t index = repository.FindPicture(copy.path);
            if (index < 0 || copy.path == plan.kept.path) {
                continue;
            }
            // The list and the file as they are now, not as they were when the plan was made.
            if (reference.ProtectsFile(copy.path)) {
                outcome.spared.append(copy.path);
                continue;
            }
            const std::optional<FileIdentity> now = ReadFileIdentity(copy.path);
            if (!SameFileUnchanged(copy.identity, now) || keptFiles.count(KeyOf(*now)) > 0) {
                outcome.changed.append(copy.path);
                continue;
            }
            // The entry is still there while the trash function records it.
            if (trash(copy.path)) {
                outcome.moved.append(copy.path);
                gone.push_back(index);
            } else {
                outcome.notMoved.append(copy.path);
            }
        }
    }
    // All at once: one by one, each removal would renumber every link again.
    repository.RemovePictures(gone);
    return outcome;
}

}  // namespace vistrel
