#pragma once

#include "PairLinks.h"

#include <QUndoCommand>

#include <functional>
#include <memory>
#include <vector>

namespace vistrel {

class CPictureRepository;
class NotSimilarMarks;

/// Mark as Not Similar, for one pair or every linked pair of a group, as one step of the main
/// window's undo history: Apply marks the pairs in the user's store and takes their links out of
/// the repository; undo removes the marks and puts back the links whose pictures are still
/// there. No redo is offered: an undone command leaves the history. GUI thread.
class MarkCommand : public QUndoCommand {
public:
    /// `repository` gives the window's repository of the moment (it is replaced by New and
    /// Open); the caller shows the links again after undo.
    MarkCommand(std::vector<TakenLink> pairs, std::function<CPictureRepository&()> repository,
                std::shared_ptr<NotSimilarMarks> store);

    /// Marks every pair and takes its links out; false, with nothing marked or changed, when
    /// the store could not keep a mark (Problem says why).
    bool Apply();
    QString Problem() const { return problem; }

    void undo() override;
    /// The pairs were marked by Apply before the command was pushed; nothing to do again.
    void redo() override {}

private:
    std::vector<TakenLink> pairs;
    /// The pairs that were marked already (by another window, or `vistrel-cli marks`): undo
    /// leaves their marks.
    std::vector<bool> markedBefore;
    std::function<CPictureRepository&()> repository;
    std::shared_ptr<NotSimilarMarks> store;
    QString problem;
};

}  // namespace vistrel
