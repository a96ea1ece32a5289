#pragma once

#include "cleanup/BulkDeletion.h"
#include "cleanup/TrashUndo.h"

#include <QStringList>
#include <QUndoCommand>

#include <cstddef>
#include <functional>
#include <memory>

class QUndoStack;

namespace vistrel {

class CPictureRepository;

/// What one Undo of a clean-up's moves did.
struct TrashUndoResult {
    /// The files that could not come back (the trash no longer holds them, or another file
    /// took their place).
    QStringList notRestored;
    std::size_t restored = 0;
    /// The files a stop left in the trash; they are still the step's to undo.
    std::size_t left = 0;
};

/// One clean-up's moves to the trash (a file, Delete All Similar, Delete All Damaged, Keep One
/// of Each Group) as one step of the main window's undo history. Undo puts the files back as
/// CTrashUndo does, never over a file that stands in a place again, also when later steps were
/// undone first or other files moved since. No redo: an undone command leaves the history,
/// unless a stop left some of its files in the trash; redo then only makes it the step to undo
/// again, its files being where they are. GUI thread.
class TrashUndoCommand : public QUndoCommand {
public:
    /// Puts back the record's files (CTrashUndo::PutBackFiles), off the GUI thread as the
    /// window does it; none: on this thread.
    using FileRunner = std::function<CTrashUndo::PutBack(CTrashUndo& record)>;

    /// `record`: what the clean-up moves (it may still be filling). `repository` gives the
    /// window's repository of the moment; `undone` hears what each undo did.
    TrashUndoCommand(std::shared_ptr<CTrashUndo> record,
                     std::function<CPictureRepository&()> repository,
                     std::function<void(const TrashUndoResult&)> undone, FileRunner putBack = {});

    void undo() override;
    void redo() override {}

private:
    std::shared_ptr<CTrashUndo> record;
    std::function<CPictureRepository&()> repository;
    std::function<void(const TrashUndoResult&)> undone;
    FileRunner putBack;
};

/// Records what a clean-up moves to the trash as one TrashUndoCommand of `history`, pushed once
/// its first file is recorded. GUI thread.
class TrashRecorder {
public:
    TrashRecorder(QUndoStack& history, std::function<CPictureRepository&()> repository,
                  std::function<void(const TrashUndoResult&)> undone,
                  TrashUndoCommand::FileRunner putBack = {});

    /// A new clean-up begins: what it moves is a step of its own.
    void Begin();
    /// Hears each file of the clean-up under way as its move is applied to the repository.
    MoveRecorder Recorder();

private:
    QUndoStack& history;
    std::function<CPictureRepository&()> repository;
    std::function<void(const TrashUndoResult&)> undone;
    TrashUndoCommand::FileRunner putBack;
    std::shared_ptr<CTrashUndo> record = std::make_shared<CTrashUndo>();
    /// The record is in the history already.
    bool pushed = false;
};

}  // namespace vistrel
