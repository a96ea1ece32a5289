// The main window's picture tree: its rebuild, the view filters, the totals and the context
// menu.

#include "QRXDlg.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QRadioButton>
#include <QTreeWidget>

namespace vistrel {

namespace {

// Top-level items keep their entry's index here; child items keep nothing.
constexpr int kEntryIndexRole = Qt::UserRole;

bool IsShown(const CPictureInfo& picture, ViewFilter filter) {
    switch (filter) {
        case ViewFilter::WithSimilar:
            return !picture.similar.empty();
        case ViewFilter::WithLoadError:
            return picture.loadError;
        case ViewFilter::All:
            break;
    }
    return true;
}

int CountItems(const QTreeWidget& tree) {
    int count = tree.topLevelItemCount();
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        count += tree.topLevelItem(i)->childCount();
    }
    return count;
}

}  // namespace

void CQRXDlg::RefreshTree() {
    RebuildTreeItems();
    treeEventsEnabled = false;
    UpdatePreview();
    treeEventsEnabled = true;
}

void CQRXDlg::RebuildTreeItems() {
    treeEventsEnabled = false;
    tree->clear();
    QList<QTreeWidgetItem*> items;
    for (std::int32_t i = 0; i < repository->GetCount(); ++i) {
        const CPictureInfo& picture = repository->GetPicture(i);
        if (!IsShown(picture, viewFilter)) {
            continue;
        }
        auto* item = new QTreeWidgetItem(QStringList(picture.path));
        item->setData(0, kEntryIndexRole, i);
        if (picture.loadError) {
            item->setForeground(0, QColor(255, 0, 0));
        }
        for (const CSimilarInfo& link : picture.similar) {
            item->addChild(
                new QTreeWidgetItem(QStringList(repository->GetPicture(link.index).path)));
        }
        items.append(item);
    }
    // One insertion of all items: a rebuild of tens of thousands stays quick.
    tree->addTopLevelItems(items);
    if (!items.isEmpty()) {
        tree->setCurrentItem(items.first());
    }
    UpdateCommandStates();
    UpdateTotals();
    treeEventsEnabled = true;
}

void CQRXDlg::UpdateTotals() {
    QString prefix = tr("Total items: ");
    if (showSimilar->isChecked()) {
        prefix = tr("Total items (similar): ");
    } else if (showLoadError->isChecked()) {
        prefix = tr("Total items (load error): ");
    }
    SetStatusText(prefix + QString::number(CountItems(*tree)));
}

void CQRXDlg::SetFilter(ViewFilter filter) {
    QRadioButton* const radio[] = {showAll, showSimilar, showLoadError};
    radio[static_cast<int>(filter)]->setChecked(true);
    if (viewFilter == filter) {
        return;
    }
    viewFilter = filter;
    RefreshTree();
}

QString CQRXDlg::SelectedPath() const {
    const QList<QTreeWidgetItem*> selected = tree->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text(0);
}

void CQRXDlg::ShowContextMenu() {
    if (tree->selectedItems().isEmpty()) {
        return;
    }
    actions.nextSimilar->setEnabled(repository->HasSimilar());
    contextMenu->popup(QCursor::pos());
}

}  // namespace vistrel
