#include "TreeBuild.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace vistrel {

bool TreeBuild::Before(const Made& a, const Made& b) const {
    // As QTreeWidget::sortItems compares: descending is ascending with the sides swapped.
    const Made& first = order == Qt::AscendingOrder ? a : b;
    const Made& second = order == Qt::AscendingOrder ? b : a;
    if (column == kPathColumn) {
        return first.item->Before(*second.item, column);
    }
    // As PictureTreeItem::Before: what is not known comes after everything known, and ties
    // are broken by the repository's order, so every sort is total and a merge keeps it.
    if (first.known != second.known) {
        return first.known;
    }
    if (first.known && first.key != second.key) {
        return first.key < second.key;
    }
    return first.order < second.order;
}

void TreeBuild::AddPiece(std::vector<std::unique_ptr<PictureTreeItem>> piece) {
    if (piece.empty()) {
        return;
    }
    std::vector<Made> made;
    made.reserve(piece.size());
    for (std::unique_ptr<PictureTreeItem>& item : piece) {
        const std::optional<double> key =
            column == kPathColumn || column == kOrderColumn ? std::nullopt : item->SortKey(column);
        const std::int32_t itemOrder = item->Order();
        made.push_back(Made{std::move(item), key.value_or(0.0), key.has_value(), itemOrder});
    }
    // The repository's own order is the order the items are made in: one run.
    if (column == kOrderColumn) {
        if (runs.empty()) {
            runs.push_back(std::move(made));
        } else {
            runs.back().insert(runs.back().end(), std::make_move_iterator(made.begin()),
                               std::make_move_iterator(made.end()));
        }
        return;
    }
    std::sort(made.begin(), made.end(),
              [this](const Made& a, const Made& b) { return Before(a, b); });
    runs.push_back(std::move(made));
    while (runs.size() >= 2 && runs[runs.size() - 2].size() <= runs.back().size()) {
        MergeLastRuns();
    }
}

bool TreeBuild::MergeLastRuns() {
    if (runs.size() < 2) {
        return true;
    }
    std::vector<Made> later = std::move(runs.back());
    runs.pop_back();
    std::vector<Made>& earlier = runs.back();
    std::vector<Made> merged;
    merged.reserve(earlier.size() + later.size());
    std::merge(std::make_move_iterator(earlier.begin()), std::make_move_iterator(earlier.end()),
               std::make_move_iterator(later.begin()), std::make_move_iterator(later.end()),
               std::back_inserter(merged),
               [this](const Made& a, const Made& b) { return Before(a, b); });
    earlier = std::move(merged);
    return runs.size() < 2;
}

QList<QTreeWidgetItem*> TreeBuild::ReleaseItems() {
    while (!MergeLastRuns()) {
    }
    QList<QTreeWidgetItem*> released;
    if (runs.empty()) {
        return released;
    }
    released.reserve(static_cast<qsizetype>(runs.front().size()));
    for (Made& made : runs.front()) {
        released.append(made.item.release());
    }
    runs.clear();
    return released;
}

}  // namespace vistrel
