#include "TreeBuild.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace vistrel {

namespace {

using Items = std::vector<std::unique_ptr<PictureTreeItem>>;

}  // namespace

void TreeBuild::AddPiece(Items piece) {
    if (piece.empty()) {
        return;
    }
    // The repository's own order is the order the items are made in: one run.
    if (column == kOrderColumn) {
        if (runs.empty()) {
            runs.push_back(std::move(piece));
        } else {
            runs.back().insert(runs.back().end(), std::make_move_iterator(piece.begin()),
                               std::make_move_iterator(piece.end()));
        }
        return;
    }
    std::sort(piece.begin(), piece.end(), [this](const auto& a, const auto& b) {
        return order == Qt::AscendingOrder ? a->Before(*b, column) : b->Before(*a, column);
    });
    runs.push_back(std::move(piece));
    while (runs.size() >= 2 && runs[runs.size() - 2].size() <= runs.back().size()) {
        MergeLastRuns();
    }
}

void TreeBuild::MergeRuns() {
    while (runs.size() >= 2) {
        MergeLastRuns();
    }
}

void TreeBuild::MergeLastRuns() {
    Items later = std::move(runs.back());
    runs.pop_back();
    Items& earlier = runs.back();
    // As QTreeWidget::sortItems compares: descending is ascending with the sides swapped. Ties
    // are broken by the repository's order, so every sort is total and the merge keeps it.
    const auto before = [this](const auto& a, const auto& b) {
        return order == Qt::AscendingOrder ? a->Before(*b, column) : b->Before(*a, column);
    };
    Items merged;
    merged.reserve(earlier.size() + later.size());
    std::merge(std::make_move_iterator(earlier.begin()), std::make_move_iterator(earlier.end()),
               std::make_move_iterator(later.begin()), std::make_move_iterator(later.end()),
               std::back_inserter(merged), before);
    earlier = std::move(merged);
}

QList<QTreeWidgetItem*> TreeBuild::ReleaseItems() {
    MergeRuns();
    QList<QTreeWidgetItem*> released;
    if (runs.empty()) {
        return released;
    }
    released.reserve(static_cast<qsizetype>(runs.front().size()));
    for (std::unique_ptr<PictureTreeItem>& item : runs.front()) {
        released.append(item.release());
    }
    runs.clear();
    return released;
}

}  // namespace vistrel
