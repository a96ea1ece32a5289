#include "TrashUndoCommand.h"

#include <QCoreApplication>
#include <QUndoStack>

#include <utility>

namespace vistrel {

TrashUndoCommand::TrashUndoCommand(std::shared_ptr<CTrashUndo> record,
                                   std::function<CPictureRepository&()> repository,
                                   std::function<void(const QStringList&)> undone)
    : QUndoCommand(QCoreApplication::translate("vistrel::CQRXDlg", "Move to Trash")),
      record(std::move(record)),
      repository(std::move(repository)),
      undone(std::move(undone)) {}

void TrashUndoCommand::undo() {
    const QStringList notRestored = record->Undo(repository());
    setObsolete(true);
    undone(notRestored);
}

TrashRecorder::TrashRecorder(QUndoStack& history, std::function<CPictureRepository&()> repository,
                             std::function<void(const QStringList&)> undone)
    : history(history), repository(std::move(repository)), undone(std::move(undone)) {}

void TrashRecorder::Begin() {
    // The record before stays with its step of the history.
    record = std::make_shared<CTrashUndo>();
    pushed = false;
}

TrashFunction TrashRecorder::RecordingTrash(const CPictureRepository& repository) {
    return
        [this, record = record, trash = record->RecordingTrash(repository)](const QString& path) {
            if (!trash(path)) {
                return false;
            }
            // A clean-up that moved nothing leaves no step to undo.
            if (!pushed && record == this->record && !record->IsEmpty()) {
                pushed = true;
                history.push(new TrashUndoCommand(record, this->repository, undone));
            }
            return true;
        };
}

}  // namespace vistrel
