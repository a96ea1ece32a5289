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

void CTrashUndo::Record(const CPictureInfo& entry, const MoveOutcome& outcome) {
    if (outcome.pathInTrash.isEmpty()) {
        return;
    }
    TrashedFile file{entry, outcome.pathInTrash, outcome.folder};
    file.entry.similar.clear();
    file.entry.marked = false;
    files.push_back(std::move(file));
}

QStringList CTrashUndo::Undo(CPictureRepository& repository) {
    return TakeBackEntries(repository, PutBackFiles(nullptr));
}

CTrashUndo::PutBack CTrashUndo::PutBackFiles(ProgressObserver* progress) {
    PutBack putBack(files.size());
    for (std::size_t k = 0; k < files.size(); ++k) {
        if (progress != nullptr && progress->StopRequested()) {
            break;
        }
        const TrashedFile& file = files[k];
        putBack[k] = file.folder ? RestoreFromTrash(file.pathInTrash, file.entry.path, *file.folder)
                                 : RestoreOutcome::FolderChanged;
        if (progress != nullptr) {
            progress->Report(ProgressReport{k + 1, files.size(), {}});
        }
    }
    return putBack;
}

QStringList CTrashUndo::TakeBackEntries(CPictureRepository& repository, const PutBack& putBack) {
    QStringList notRestored;
    std::vector<TrashedFile> left;
    for (std::size_t k = 0; k < files.size(); ++k) {
        TrashedFile& file = files[k];
        if (k >= putBack.size() || !putBack[k]) {
            left.push_back(std::move(file));
            continue;
        }
        if (*putBack[k] != RestoreOutcome::Restored) {
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
    files = std::move(left);
    return notRestored;
}

}  // namespace vistrel
