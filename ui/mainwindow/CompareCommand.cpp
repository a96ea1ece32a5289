#include "CompareCommand.h"

#include "QRXDlg.h"
#include "compare/CompareWindow.h"

#include <QTreeWidget>

namespace vistrel {

namespace {

QTreeWidgetItem* SelectedItem(const QTreeWidget& tree) {
    const QList<QTreeWidgetItem*> selected = tree.selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

}  // namespace

bool IsSimilarItemSelected(const QTreeWidget& tree) {
    const QTreeWidgetItem* item = SelectedItem(tree);
    return item != nullptr && item->parent() != nullptr;
}

void CompareSelectedPair(CQRXDlg& window) {
    const QTreeWidgetItem* item = SelectedItem(*window.Tree());
    if (item == nullptr || item->parent() == nullptr) {
        return;
    }
    // The window finds the pair by its paths, which stay right whatever the tree's state.
    auto* compare = window.findChild<CompareWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (compare == nullptr) {
        compare = new CompareWindow(window, window);
        QObject::connect(&window, &CQRXDlg::CommandStatesUpdated, compare,
                         &CompareWindow::RepositoryChanged);
    }
    compare->ShowPair(item->parent()->text(0), item->text(0));
}

}  // namespace vistrel
