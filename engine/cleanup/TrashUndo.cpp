#include "TrashUndo.h"

#include "repository/PictureRepository.h"

namespace vistrel {

TrashFunction CTrashUndo::RecordingTrash(const CPictureRepository& repository, TrashMover mover) {
    return [this, &repository, mover = std::move(mover)](const QString& path) {
        const std::int32_t index = repository.FindPicture(path);
        QString pathInTrash;
        if (!mover(path, &pathInTrash)) {
            return false;
        }
        if (index >= 0 && !pathInTrash.isEmpty()) {
            Record(repository.GetPicture(index), pathInTrash);
        }
        return true;
    };
}

void CTrashUndo::Record(const CPictureInfo& entry, const QString& pathInTrash) {
    TrashedFile file{entry, pathInTrash, ReadFolderIdentity(entry.path)};
    // The links would name indexes that are gone; the next test finds them again.
    file.entry.similar.clear();
    file.entry.marked = false;
    files.push_back(std::move(file));
}

QStringList CTrashUndo::Undo(CPictureRepository& repository) {
    QStringList notRestored;
    for (TrashedFile& file : files) {
        if (!file.folder || RestoreFromTrash(file.pathInTrash, file.entry.path, *file.folder) !=
                                RestoreOutcome::Restored) {
            notRestored.append(file.entry.path);
            continue;
        }
        const bool unreadable = file.entry.loadError;
        repository.AddSignedPicture(file.entry.path, std::move(file.entry.signature));
        if (unreadable) {
            const std::int32_t index = repository.FindPicture(file.entry.path);
            if (index >= 0) {
                repository.GetPicture(index).loadError = true;
            }
        }
    }
    files.clear();
    return notRestored;
}

}  // namespace vistrel
