#pragma once

#include "cleanup/BulkDeletion.h"
#include "cleanup/TrashUndo.h"

#include <QStringList>
#include <QUndoCommand>

#include <functional>
#include <memory>

class QUndoStack;

namespace vistrel {

class CPictureRepository;

/// One clean-up's moves to the trash (a file, Delete All Similar, Delete All Damaged, Keep One
/// of Each Group) as one step of the main window's undo history. Undo puts the files back as
/// CTrashUndo does, never over a file that stands in a place again, also when later steps were
/// undone first or other files moved since. No redo: an undone command leaves the history.
/// GUI thread.
class TrashUndoCommand : public QUndoCommand {
public:
    /// `record`: what the clean-up moves (it may still be filling). `repository` gives the
    /// window's repository of the moment; `undone` hears the paths that could not come back.
    TrashUndoCommand(std::shared_ptr<CTrashUndo> record,
                     std::function<CPictureRepository&()> repository,
                     std::function<void(const QStringList& notRestored)> undone);

    void undo() override;
    /// The files moved before the command was pushed.
    void redo() override {}

private:
    std::shared_ptr<CTrashUndo> record;
    std::function<CPictureRepository&()> repository;
    std::function<void(const QStringList&)> undone;
};

/// Records what a clean-up moves to the trash as one TrashUndoCommand of `history`, pushed once
/// its first file has gone: the clean-up commands use it as they would a CTrashUndo. GUI thread.
class TrashRecorder {
public:
    TrashRecorder(QUndoStack& history, std::function<CPictureRepository&()> repository,
                  std::function<void(const QStringList& notRestored)> undone);

    /// A new clean-up begins: what it moves is a step of its own.
    void Begin();
    /// A trash function for the clean-up under way, as CTrashUndo::RecordingTrash.
    TrashFunction RecordingTrash(const CPictureRepository& repository);

private:
    QUndoStack& history;
    std::function<CPictureRepository&()> repository;
    std::function<void(const QStringList&)> undone;
    std::shared_ptr<CTrashUndo> record = std::make_shared<CTrashUndo>();
    /// The record is in the history already.
    bool pushed = false;
};

}  // namespace vistrel
