#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QTreeWidget;
class QTreeWidgetItem;

namespace vistrel {

/// Where the user is in a tree of paths (the first column's texts): the selected item, its
/// neighbours, the open items and the scroll position, kept across a rebuild of the tree.
struct TreePlace {
    /// The selected item's path; empty when nothing is selected.
    QString path;
    /// For a child item: its parent's path, its siblings' paths in order and its row among them.
    QString parentPath;
    QStringList childPaths;
    int childRow = -1;
    /// The top-level items' paths in order, and the row of the selected item or its parent.
    QStringList topPaths;
    int topRow = -1;
    /// The top-level items that were open.
    QStringList expanded;
    int verticalScroll = 0;
    int horizontalScroll = 0;
};

/// Notes where the user is in `tree`. Cheap: the paths are shared, not copied. `neighbours`:
/// whether the other top-level items are noted too, for a place whose item may go; without them
/// (for a tree about to be sorted, which keeps every item) only the selected item's row is.
/// GUI thread.
TreePlace SaveTreePlace(const QTreeWidget& tree, bool neighbours = true);

/// Brings the user back to `place` in `tree` rebuilt: opens the items that were open, selects
/// the item that was selected when it is still there, else its nearest neighbour still there
/// (the next one, or the previous one at the end; for a child item gone with all its siblings,
/// its parent), and gives back the scroll position, scrolled only as far as the selection needs
/// to show. `findTop`, when given, finds a top-level item by its path (null when none); without
/// it every top-level item is looked at once. GUI thread.
void RestoreTreePlace(QTreeWidget& tree, const TreePlace& place,
                      const std::function<QTreeWidgetItem*(const QString&)>& findTop = {});

}  // namespace vistrel
