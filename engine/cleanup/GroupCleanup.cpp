#include "GroupCleanup.h"

#include "PictureRepository.h"

#include <QFileInfo>

#include <cstdint>

namespace vistrel {

KeepOutcome TrashAllButKept(CPictureRepository& repository, const std::vector<KeepPlan>& plans,
                            const TrashFunction& trash) {
    KeepOutcome outcome;
    std::vector<std::int32_t> gone;
    for (const KeepPlan& plan : plans) {
        // Trashing the copies of a picture that is itself gone would lose the picture.
        if (!QFileInfo(plan.kept).isFile()) {
            outcome.keptGone.append(plan.kept);
            continue;
        }
        for (const QString& path : plan.others) {
            const std::int32_t index = repository.FindPicture(path);
            if (index < 0 || path == plan.kept) {
                continue;
            }
            // The entry is still there while the trash function records it.
            if (trash(path)) {
                outcome.moved.append(path);
                gone.push_back(index);
            } else {
                outcome.notMoved.append(path);
            }
        }
    }
    // All at once: one by one, each removal would renumber every link again.
    repository.RemovePictures(gone);
    return outcome;
}

}  // namespace vistrel
