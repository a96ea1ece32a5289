#pragma once

#include "PictureTreeItem.h"
#include "TreePlace.h"

#include <QList>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QTreeWidgetItem;

namespace vistrel {

class CPictureRepository;

/// A rebuild of the main window's picture tree under way: the items are made a piece per turn
/// of the event loop, kept in the tree's order (each piece sorted, then merged with runs of its
/// size), and go into the tree in one insertion at the end; what follows the insertion (the
/// selection, the counts) takes a turn each, so that a tree of hundreds of thousands of entries
/// never holds the window for long. Owns the items made until they are inserted. GUI thread.
struct TreeBuild {
    /// What the next turn does.
    enum class Stage { TakingOut, Making, Merging, Inserting, Selecting, Counting, Summing, Done };
    Stage stage = Stage::TakingOut;
    /// The repository the items are made of, and its number of entries when the build began:
    /// a rebuild started on another (or a changed) repository replaces this one.
    const CPictureRepository* source = nullptr;
    std::int32_t count = 0;
    /// The next entry to make an item for.
    std::int32_t next = 0;
    /// The order the items are made in: the tree's sort when the build began.
    int column = kOrderColumn;
    Qt::SortOrder order = Qt::AscendingOrder;
    /// The number of items the tree will hold, child items still to be made included.
    int itemCount = 0;
    /// An item made, with what it sorts by beside it: sorting and merging by the number
    /// columns then reads no item.
    struct Made {
        std::unique_ptr<PictureTreeItem> item;
        double key = 0;
        bool known = false;
        std::int32_t order = 0;
    };
    /// The items made so far: runs in the tree's order, of sizes falling from first to last.
    std::vector<std::vector<Made>> runs;
    /// What goes beside the totals once they are written.
    QStringList statusNotes;
    /// Where the user was, for a rebuild that keeps the place; none: the first item is selected.
    std::optional<TreePlace> place;

    /// Sorts `piece` in the build's order and adds it to the runs, merging the last runs while
    /// the one before is no longer than the last: each item is merged a logarithmic number of
    /// times, and no merge is longer than the items made.
    void AddPiece(std::vector<std::unique_ptr<PictureTreeItem>> piece);

    /// Merges the last two runs into one; true when (then) one run or none is left.
    bool MergeLastRuns();
    /// Hands the items (merged) over for one insertion into the tree, which owns them from then
    /// on.
    QList<QTreeWidgetItem*> ReleaseItems();

private:
    /// Whether `a` comes before `b` in the build's order.
    bool Before(const Made& a, const Made& b) const;
};

}  // namespace vistrel
