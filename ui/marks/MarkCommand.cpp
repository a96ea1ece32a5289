#include "MarkCommand.h"

#include "marks/NotSimilarMarks.h"
#include "repository/PictureRepository.h"

#include <QCoreApplication>

#include <utility>

namespace vistrel {

MarkCommand::MarkCommand(std::vector<TakenLink> pairs,
                         std::function<CPictureRepository&()> repository,
                         std::shared_ptr<NotSimilarMarks> store)
    : QUndoCommand(QCoreApplication::translate("vistrel::CQRXDlg", "Mark as Not Similar")),
      pairs(std::move(pairs)),
      repository(std::move(repository)),
      store(std::move(store)) {}

bool MarkCommand::Apply() {
    markedBefore.clear();
    for (const TakenLink& pair : pairs) {
        markedBefore.push_back(store->Contains(pair.firstDigest, pair.secondDigest));
    }
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const TakenLink& pair = pairs[i];
        if (!store->Add(pair.firstDigest, pair.firstPath, pair.secondDigest, pair.secondPath)) {
            problem = store->Problem();
            // All or nothing: a group half marked would be hard to understand.
            for (std::size_t k = 0; k < i; ++k) {
                if (!markedBefore[k]) {
                    store->Remove(pairs[k].firstDigest, pairs[k].secondDigest);
                }
            }
            return false;
        }
    }
    for (const TakenLink& pair : pairs) {
        TakeLinkOut(repository(), pair);
    }
    return true;
}

void MarkCommand::undo() {
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (!markedBefore[i]) {
            store->Remove(pairs[i].firstDigest, pairs[i].secondDigest);
        }
        PutLinkBack(repository(), pairs[i]);
    }
    // Undone for good: the history offers no redo.
    setObsolete(true);
}

}  // namespace vistrel
