#include "CopyCheck.h"

#include "PictureFacts.h"
#include "repository/PictureRepository.h"

#include <vector>

namespace vistrel {

CopyState CheckPictureCopy(const QString& path) {
    const PictureFacts facts = ReadPictureFacts(path);
    if (!facts.exists) {
        return CopyState::Missing;
    }
    return facts.size.isValid() ? CopyState::Readable : CopyState::Unreadable;
}

bool IsOnlyReadableCopy(const CPictureRepository& repository, std::int32_t index) {
    const std::int32_t count = repository.GetCount();
    if (index < 0 || index >= count || repository.GetPicture(index).similar.empty()) {
        return false;
    }
    // Only this entry's group is walked, not the whole repository's: links come in pairs, so the
    // entries reached from it are exactly its group.
    std::vector<bool> reached(static_cast<std::size_t>(count), false);
    std::vector<std::int32_t> pending{index};
    reached[static_cast<std::size_t>(index)] = true;
    while (!pending.empty()) {
        const std::int32_t entry = pending.back();
        pending.pop_back();
        for (const CSimilarInfo& link : repository.GetPicture(entry).similar) {
            const std::int32_t other = link.index;
            if (other < 0 || other >= count || reached[static_cast<std::size_t>(other)]) {
                continue;
            }
            reached[static_cast<std::size_t>(other)] = true;
            if (CheckPictureCopy(repository.GetPicture(other).path) == CopyState::Readable) {
                return false;
            }
            pending.push_back(other);
        }
    }
    return true;
}

}  // namespace vistrel
