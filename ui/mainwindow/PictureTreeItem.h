#pragma once

#include "ShownFacts.h"

#include <QByteArray>
#include <QTreeWidgetItem>

#include <cstdint>
#include <optional>

namespace vistrel {

/// The columns of the main window's picture tree. The order column is hidden: sorting by it
/// gives the repository's own order back.
constexpr int kPathColumn = 0;
constexpr int kDimensionsColumn = 1;
constexpr int kFileSizeColumn = 2;
constexpr int kModifiedColumn = 3;
constexpr int kDifferenceColumn = 4;
constexpr int kOrderColumn = 5;
constexpr int kTreeColumnCount = 6;

/// An item of the main window's picture tree: a picture (top-level) or a similar picture (child).
/// Its first column's text is the path; the other columns are made from the facts it holds when
/// they are painted, so that a rebuild of tens of thousands of items and the filling in of facts
/// read later stay cheap. Sorts by what each column means: paths as text, dimensions by pixels,
/// sizes by bytes, dates as dates, factors as numbers; what is not known sorts last; ties keep
/// the repository's order. GUI thread.
class PictureTreeItem : public QTreeWidgetItem {
public:
    /// `order`: the item's place in the repository's order among its siblings (the entry's
    /// index for a top-level item, the link's position for a child item).
    PictureTreeItem(const QString& path, std::int32_t order);

    const QString& PathText() const { return path; }
    /// A top-level item: the index of the entry it shows, which data(0, Qt::UserRole) gives;
    /// a child item has none (an invalid value).
    void SetEntry(std::int32_t index) { entry = index; }
    /// Gives the item its file's facts; nothing is signalled, so the caller repaints.
    void SetFacts(const ShownFacts& facts);
    bool HasFacts() const { return facts.has_value(); }
    /// The facts given, or null.
    const ShownFacts* Facts() const { return facts ? &*facts : nullptr; }
    /// A child item: the difference factor (0..255) of its link. A top-level item: the smallest
    /// of its links', which it sorts by, so that the closest look-alikes come first.
    void SetFactor(float factor, bool shown);

    QVariant data(int column, int role) const override;
    /// Sorts by the tree's sort column, as Before does.
    bool operator<(const QTreeWidgetItem& other) const override;
    /// Whether the item comes before `other` in a tree sorted by `column`, ascending; also for
    /// items not in a tree yet.
    bool Before(const PictureTreeItem& other, int column) const;

    /// The number column `column` sorts by (not the path's); none when not known.
    std::optional<double> SortKey(int column) const;
    /// The item's place in the repository's order among its siblings, which breaks ties.
    std::int32_t Order() const { return order; }

private:
    /// The path in lower case, one byte a character, when it is ASCII alone; empty otherwise.
    /// Made at the first sort by path.
    const QByteArray& FoldedAsciiPath() const;

    QString path;
    std::int32_t order = 0;
    std::int32_t entry = -1;
    mutable QByteArray foldedPath;
    mutable bool foldedPathMade = false;
    std::optional<ShownFacts> facts;
    std::optional<float> factor;
    bool factorShown = false;
};

/// The header's texts, one per column, for QTreeWidget::setHeaderLabels.
QStringList TreeColumnTitles();

}  // namespace vistrel
