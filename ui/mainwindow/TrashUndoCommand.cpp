#include "TrashUndoCommand.h"

#include <QCoreApplication>

#include <utility>

namespace vistrel {

TrashUndoCommand::TrashUndoCommand(CTrashUndo record,
                                   std::function<CPictureRepository&()> repository,
                                   std::function<void(const QStringList&)> undone)
    : QUndoCommand(QCoreApplication::translate("vistrel::CQRXDlg", "Move to Trash")),
      record(std::move(record)),
      repository(std::move(repository)),
      undone(std::move(undone)) {}

void TrashUndoCommand::undo() {
    const QStringList notRestored = record.Undo(repository());
    setObsolete(true);
    undone(notRestored);
}

}  // namespace vistrel
