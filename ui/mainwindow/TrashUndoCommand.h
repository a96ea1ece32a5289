#pragma once

#include "cleanup/TrashUndo.h"

#include <QStringList>
#include <QUndoCommand>

#include <functional>

namespace vistrel {

class CPictureRepository;

/// One clean-up's moves to the trash (a file, Delete All Similar, Delete All Damaged, Keep One
/// of Each Group) as one step of the main window's undo history. Undo puts the files back as
/// CTrashUndo does, never over a file that stands in a place again, also when later steps were
/// undone first or other files moved since. No redo: an undone command leaves the history.
/// GUI thread.
class TrashUndoCommand : public QUndoCommand {
public:
    /// `record`: what the clean-up moved (not empty). `repository` gives the window's repository
    /// of the moment; `undone` hears the paths that could not come back.
    TrashUndoCommand(CTrashUndo record, std::function<CPictureRepository&()> repository,
                     std::function<void(const QStringList& notRestored)> undone);

    void undo() override;
    /// The files moved before the command was pushed.
    void redo() override {}

private:
    CTrashUndo record;
    std::function<CPictureRepository&()> repository;
    std::function<void(const QStringList&)> undone;
};

}  // namespace vistrel
