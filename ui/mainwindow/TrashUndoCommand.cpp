#include "TrashUndoCommand.h"

#include <QCoreApplication>
#include <QUndoStack>

#include <utility>

namespace vistrel {

TrashUndoCommand::TrashUndoCommand(std::shared_ptr<CTrashUndo> record,
                                   std::function<CPictureRepository&()> repository,
                                   std::function<void(const TrashUndoResult&)> undone,
                                   FileRunner putBack)
    : QUndoCommand(QCoreApplication::translate("vistrel::CQRXDlg", "Move to Trash")),
      record(std::move(record)),
      repository(std::move(repository)),
      undone(std::move(undone)),
      putBack(std::move(putBack)) {}

void TrashUndoCommand::undo() {
    const std::size_t before = record->Count();
    const CTrashUndo::PutBack files = putBack ? putBack(*record) : record->PutBackFiles(nullptr);
    TrashUndoResult result;
    result.notRestored = record->TakeBackEntries(repository(), files);
    result.left = record->Count();
    result.restored = before - result.left - static_cast<std::size_t>(result.notRestored.size());
    // Taken back whole, the step leaves the history; the files a stop left keep it.
    setObsolete(record->IsEmpty());
    undone(result);
}

TrashRecorder::TrashRecorder(QUndoStack& history, std::function<CPictureRepository&()> repository,
                             std::function<void(const TrashUndoResult&)> undone,
                             TrashUndoCommand::FileRunner putBack)
    : history(history),
      repository(std::move(repository)),
      undone(std::move(undone)),
      putBack(std::move(putBack)) {}

void TrashRecorder::Begin() {
    // The record before stays with its step of the history.
    record = std::make_shared<CTrashUndo>();
    pushed = false;
}

MoveRecorder TrashRecorder::Recorder() {
    return [this, record = record](const CPictureInfo& entry, const MoveOutcome& outcome) {
        record->Record(entry, outcome);
        // A clean-up that moved nothing leaves no step to undo.
        if (!pushed && record == this->record && !record->IsEmpty()) {
            pushed = true;
            history.push(new TrashUndoCommand(record, repository, undone, putBack));
        }
    };
}

}  // namespace vistrel
