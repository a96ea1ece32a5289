#include "TreePlace.h"

#include <QHash>
#include <QScrollBar>
#include <QTreeWidget>

#include <functional>

namespace vistrel {

namespace {

// The item at `paths[row]` when it is still there, else the nearest one after it still there,
// else the nearest one before it; null when none is left.
QTreeWidgetItem* Nearest(const QStringList& paths, int row,
                         const std::function<QTreeWidgetItem*(const QString&)>& find) {
    for (int i = row; i >= 0 && i < paths.size(); ++i) {
        if (QTreeWidgetItem* item = find(paths[i])) {
            return item;
        }
    }
    for (int i = std::min(row, static_cast<int>(paths.size())) - 1; i >= 0; --i) {
        if (QTreeWidgetItem* item = find(paths[i])) {
            return item;
        }
    }
    return nullptr;
}

}  // namespace

TreePlace SaveTreePlace(const QTreeWidget& tree, bool neighbours) {
    TreePlace place;
    place.verticalScroll = tree.verticalScrollBar()->value();
    place.horizontalScroll = tree.horizontalScrollBar()->value();
    if (neighbours) {
        place.topPaths.reserve(tree.topLevelItemCount());
    }
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree.topLevelItem(i);
        if (neighbours) {
            place.topPaths.append(item->text(0));
        }
        // An item that was ever open has its child items; asking the others is costly (the
        // view looks each one up).
        if (item->childCount() > 0 && item->isExpanded()) {
            place.expanded.append(item->text(0));
        }
    }
    const QList<QTreeWidgetItem*> selected = tree.selectedItems();
    if (selected.isEmpty()) {
        return place;
    }
    QTreeWidgetItem* item = selected.first();
    place.path = item->text(0);
    if (QTreeWidgetItem* parent = item->parent()) {
        place.parentPath = parent->text(0);
        place.childRow = parent->indexOfChild(item);
        for (int c = 0; c < parent->childCount(); ++c) {
            place.childPaths.append(parent->child(c)->text(0));
        }
        place.topRow = tree.indexOfTopLevelItem(parent);
    } else {
        place.topRow = tree.indexOfTopLevelItem(item);
    }
    if (!neighbours) {
        place.topPaths = {tree.topLevelItem(place.topRow)->text(0)};
        place.topRow = 0;
    }
    return place;
}

void RestoreTreePlace(QTreeWidget& tree, const TreePlace& place,
                      const std::function<QTreeWidgetItem*(const QString&)>& findGiven) {
    QHash<QString, QTreeWidgetItem*> topItems;
    if (!findGiven) {
        topItems.reserve(tree.topLevelItemCount());
        for (int i = 0; i < tree.topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = tree.topLevelItem(i);
            topItems.insert(item->text(0), item);
        }
    }
    const auto findTop = [&](const QString& path) {
        return findGiven ? findGiven(path) : topItems.value(path);
    };
    for (const QString& path : place.expanded) {
        if (QTreeWidgetItem* item = findTop(path)) {
            tree.expandItem(item);
        }
    }
    if (place.path.isEmpty()) {
        return;
    }
    QTreeWidgetItem* target = nullptr;
    if (!place.parentPath.isEmpty()) {
        if (QTreeWidgetItem* parent = findTop(place.parentPath)) {
            // Opening the parent makes its child items.
            tree.expandItem(parent);
            target = Nearest(place.childPaths, place.childRow,
                             [parent](const QString& path) -> QTreeWidgetItem* {
                                 for (int c = 0; c < parent->childCount(); ++c) {
                                     if (parent->child(c)->text(0) == path) {
                                         return parent->child(c);
                                     }
                                 }
                                 return nullptr;
                             });
            if (target == nullptr) {
                target = parent;
            }
        }
    }
    if (target == nullptr) {
        target = Nearest(place.topPaths, place.topRow, findTop);
    }
    if (target == nullptr) {
        return;
    }
    tree.setCurrentItem(target);
    // Setting the current item scrolled to it, and laid the items out: the scroll position goes
    // back to where it was, moved only when the selection would be out of sight.
    tree.scrollToItem(target);
    tree.verticalScrollBar()->setValue(place.verticalScroll);
    tree.horizontalScrollBar()->setValue(place.horizontalScroll);
    tree.scrollToItem(target);
}

}  // namespace vistrel
