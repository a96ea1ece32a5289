// The main window's commands on pairs marked not similar: Mark as Not Similar and the window
// that lists the marks.

#include "QRXDlg.h"
#include "marks/MarkCommand.h"
#include "marks/MarkedPairsDlg.h"
#include "marks/NotSimilarMarks.h"

#include <QMessageBox>
#include <QStringList>
#include <QTreeWidget>
#include <QUndoStack>

#include <algorithm>

namespace vistrel {

bool CQRXDlg::CanMarkSelectedPair() const {
    const QList<QTreeWidgetItem*> selected = tree->selectedItems();
    if (marks == nullptr || selected.isEmpty() || selected.first()->parent() == nullptr) {
        return false;
    }
    const QTreeWidgetItem* item = selected.first();
    return DescribePair(*repository, item->parent()->text(0), item->text(0)).has_value();
}

void CQRXDlg::MarkSelectedPair() {
    const QList<QTreeWidgetItem*> selected = tree->selectedItems();
    if (selected.isEmpty() || selected.first()->parent() == nullptr) {
        return;
    }
    const QString parentPath = selected.first()->parent()->text(0);
    if (!MarkPairNotSimilar(parentPath, selected.first()->text(0), this)) {
        return;
    }
    // The user goes on where the pair was: its parent item, with the look-alikes left.
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        if (item->text(0) == parentPath) {
            tree->expandItem(item);
            tree->setCurrentItem(item);
            break;
        }
    }
}

bool CQRXDlg::MarkPairNotSimilar(const QString& firstPath, const QString& secondPath,
                                 QWidget* asker) {
    return MarkPairsNotSimilar({{firstPath, secondPath}}, asker);
}

bool CQRXDlg::MarkGroupNotSimilar(const QStringList& paths, QWidget* asker) {
    std::vector<std::int32_t> members;
    for (const QString& path : paths) {
        if (const std::int32_t index = repository->FindPicture(path); index >= 0) {
            members.push_back(index);
        }
    }
    std::sort(members.begin(), members.end());
    std::vector<std::pair<QString, QString>> pairs;
    for (const std::int32_t member : members) {
        for (const CSimilarInfo& link : repository->GetPicture(member).similar) {
            // Each pair once, from its entry with the smaller index.
            if (link.index > member &&
                std::binary_search(members.begin(), members.end(), link.index)) {
                pairs.emplace_back(repository->GetPicture(member).path,
                                   repository->GetPicture(link.index).path);
            }
        }
    }
    return MarkPairsNotSimilar(pairs, asker);
}

bool CQRXDlg::MarkPairsNotSimilar(const std::vector<std::pair<QString, QString>>& pairs,
                                  QWidget* asker) {
    if (marks == nullptr) {
        return false;
    }
    std::vector<TakenLink> taken;
    for (const auto& [first, second] : pairs) {
        if (std::optional<TakenLink> pair = DescribePair(*repository, first, second)) {
            taken.push_back(std::move(*pair));
        }
    }
    if (taken.empty()) {
        return false;
    }
    auto command = std::make_unique<MarkCommand>(
        std::move(taken), [this]() -> CPictureRepository& { return *repository; }, marks);
    if (!command->Apply()) {
        QMessageBox::warning(asker, tr("Mark as Not Similar"),
                             tr("The mark could not be kept: %1").arg(command->Problem()));
        return false;
    }
    undoStack->push(command.release());
    RefreshTree();
    ReloadMarkedPairs();
    return true;
}

void CQRXDlg::ReloadMarkedPairs() {
    // The list shown must not offer to remove a mark that Undo already took back.
    auto* shown = findChild<MarkedPairsDlg*>(QString(), Qt::FindDirectChildrenOnly);
    if (shown != nullptr && shown->isVisible()) {
        shown->Reload();
    }
}

void CQRXDlg::ShowMarkedPairs() {
    if (marks == nullptr) {
        return;
    }
    auto* shown = findChild<MarkedPairsDlg*>(QString(), Qt::FindDirectChildrenOnly);
    if (shown == nullptr) {
        shown = new MarkedPairsDlg(marks, this);
        // The Undo key works in this window too: a mark just made, or a move, comes back.
        shown->addAction(actions.undoTrash);
    }
    shown->Reload();
    shown->show();
    shown->raise();
    shown->activateWindow();
}

}  // namespace vistrel
