// The main window's picture tree: its rebuild, the view filters, the totals and the context
// menu.

#include "PictureTreeItem.h"
#include "QRXDlg.h"
#include "TreeFactsReader.h"
#include "TreePlace.h"
#include "TreeToolTips.h"
#include "cleanup/PictureGroups.h"
#include "cleanup/ProtectedFiles.h"

#include <QAction>
#include <QCursor>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QRadioButton>
#include <QToolTip>
#include <QTreeWidget>

#include <algorithm>
#include <utility>

namespace vistrel {

namespace {

// Top-level items give their entry's index here (PictureTreeItem::SetEntry); child items give
// nothing.
constexpr int kEntryIndexRole = Qt::UserRole;

// The text colour of a picture in a reference folder; a load error's red wins over it.
QBrush ProtectedBrush() {
    return QBrush(QColor(0, 100, 160));
}

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

// Two paths alike; an item's path usually shares its entry's string, which is then not read.
bool SamePath(const QString& a, const QString& b) {
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

PictureTreeItem* TreeItem(QTreeWidgetItem* item) {
    // Every item of the picture tree is made as one.
    return static_cast<PictureTreeItem*>(item);
}

// Whether the order of a tree sorted by `column` depends on the facts read of the files.
bool SortsByFacts(int column) {
    return column == kDimensionsColumn || column == kFileSizeColumn || column == kModifiedColumn;
}

}  // namespace

void CQRXDlg::RefreshTree() {
    RebuildTreeItems();
    treeEventsEnabled = false;
    UpdatePreview();
    treeEventsEnabled = true;
}

void CQRXDlg::RefreshTreeKeepingPlace() {
    // The tree still shows the repository as it was: the place is noted from its items.
    const TreePlace place = SaveTreePlace(*tree);
    RebuildTreeItems();
    treeEventsEnabled = false;
    RestoreTreePlace(*tree, place);
    UpdatePreview();
    treeEventsEnabled = true;
}

void CQRXDlg::SetUpTreeColumns() {
    tree->setColumnCount(kTreeColumnCount);
    tree->setHeaderLabels(TreeColumnTitles());
    tree->headerItem()->setToolTip(
        kDifferenceColumn, tr("The difference factor of a similar picture and the picture above "
                              "it, on the threshold's scale"));
    tree->setColumnHidden(kOrderColumn, true);
    tree->setTextElideMode(Qt::ElideMiddle);  // the file's name stays in sight
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(kPathColumn, QHeaderView::Stretch);
    // Wide enough for the longest text each column usually holds, and its title.
    const QFontMetrics metrics(tree->font());
    const QString widest[] = {
        QString(), QStringLiteral("88888 x 88888"), QStringLiteral("1023.00 Bytes"),
        QLocale().toString(QDateTime(QDate(2028, 12, 28), QTime(23, 58)), QLocale::ShortFormat),
        QStringLiteral("99.6")};
    for (int column = kDimensionsColumn; column <= kDifferenceColumn; ++column) {
        const int text = metrics.horizontalAdvance(widest[column]);
        const int title = metrics.horizontalAdvance(tree->headerItem()->text(column)) +
                          metrics.height();  // room for the sort arrow
        header->resizeSection(column, std::max(text, title) + 2 * metrics.averageCharWidth());
    }
    // The header keeps the sort: a click on a title sorts by it, a second click reverses. The
    // hidden order column is the repository's own order.
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(kOrderColumn, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                tree->sortItems(column, order);
                actions.repositoryOrder->setEnabled(column != kOrderColumn);
            });
    connect(factsReader, &TreeFactsReader::FactsRead, this, &CQRXDlg::FillInFacts);
}

void CQRXDlg::ShowRepositoryOrder() {
    tree->header()->setSortIndicator(kOrderColumn, Qt::AscendingOrder);
}

void CQRXDlg::FillInFacts(const QStringList& paths, bool done) {
    for (const QString& path : paths) {
        const ShownFacts* facts = factsReader->Find(path);
        if (facts == nullptr) {
            continue;
        }
        // The repository may have changed since the rebuild: an item is given the facts only
        // when it is the path's own.
        const std::int32_t index = repository->FindPicture(path);
        if (index >= 0 && static_cast<std::size_t>(index) < entryItems.size()) {
            if (PictureTreeItem* item = entryItems[static_cast<std::size_t>(index)];
                item != nullptr && !item->HasFacts() && item->PathText() == path) {
                item->SetFacts(*facts);
            }
        }
        if (const auto children = childrenAwaitingFacts.constFind(path);
            children != childrenAwaitingFacts.constEnd()) {
            for (PictureTreeItem* child : children.value()) {
                child->SetFacts(*facts);
            }
            childrenAwaitingFacts.erase(children);
        }
    }
    // The items changed without a signal: the texts are made when painted.
    tree->viewport()->update();
    if (done && SortsByFacts(tree->sortColumn())) {
        tree->sortItems(tree->sortColumn(), tree->header()->sortIndicatorOrder());
    }
}

void CQRXDlg::RebuildTreeItems() {
    treeEventsEnabled = false;
    childrenAwaitingFacts.clear();
    // The items the tree holds until it is cleared below: an entry's new item takes the facts of
    // its old one, which cost no look-up by path.
    const std::vector<PictureTreeItem*> previous = std::exchange(
        entryItems,
        std::vector<PictureTreeItem*>(static_cast<std::size_t>(repository->GetCount())));
    QList<QTreeWidgetItem*> items;
    for (std::int32_t i = 0; i < repository->GetCount(); ++i) {
        const CPictureInfo& picture = repository->GetPicture(i);
        if (!IsShown(picture, viewFilter)) {
            continue;
        }
        const ShownFacts* facts = nullptr;
        // The entries may have changed since: the old item counts only when it showed the path.
        if (const std::size_t at = static_cast<std::size_t>(i); at < previous.size()) {
            if (const PictureTreeItem* old = previous[at];
                old != nullptr && SamePath(old->PathText(), picture.path)) {
                facts = old->Facts();
            }
        }
        if (facts == nullptr) {
            facts = factsReader->Find(picture.path);
        }
        auto* item = new PictureTreeItem(picture.path, i);
        item->SetEntry(i);
        if (picture.loadError) {
            item->setForeground(0, QColor(255, 0, 0));
        }
        if (!picture.similar.empty()) {
            item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
            const auto closest = std::min_element(
                picture.similar.begin(), picture.similar.end(),
                [](const CSimilarInfo& a, const CSimilarInfo& b) { return a.factor < b.factor; });
            item->SetFactor(static_cast<float>(closest->factor), false);
        }
        if (facts != nullptr) {
            item->SetFacts(*facts);
        }
        entryItems[static_cast<std::size_t>(i)] = item;
        items.append(item);
    }
    tree->clear();
    // One insertion of all items: a rebuild of tens of thousands stays quick.
    tree->addTopLevelItems(items);
    // The user's sort holds until Repository Order.
    if (const int column = tree->sortColumn(); column != kOrderColumn) {
        tree->sortItems(column, tree->header()->sortIndicatorOrder());
    }
    if (!items.isEmpty()) {
        tree->setCurrentItem(tree->topLevelItem(0));
    }
    // The facts not read yet are asked for in the order shown: the first screen fills first.
    QStringList unknown;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (const PictureTreeItem* item = TreeItem(tree->topLevelItem(i)); !item->HasFacts()) {
            unknown.append(item->PathText());
        }
    }
    factsReader->Request(std::move(unknown));
    MarkProtectedItems();
    UpdateCommandStates();
    UpdateTotals();
    UpdateGroupsText();
    treeEventsEnabled = true;
}

void CQRXDlg::MarkProtectedItems() {
    const ReferenceFolders reference = References();
    // A child item names an entry, so without a protected entry no item is marked.
    const bool itemsMarked = protectedCount > 0;
    protectedCount = 0;
    std::vector<bool> isProtected;
    if (!reference.IsEmpty()) {
        isProtected.resize(static_cast<std::size_t>(repository->GetCount()));
        for (std::int32_t i = 0; i < repository->GetCount(); ++i) {
            isProtected[static_cast<std::size_t>(i)] =
                reference.Protects(repository->GetPicture(i).path);
            protectedCount += isProtected[static_cast<std::size_t>(i)] ? 1 : 0;
        }
    }
    // Without reference folders the items are left exactly as they were made.
    if (protectedCount == 0 && !itemsMarked) {
        return;
    }
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        const std::int32_t index = item->data(0, kEntryIndexRole).toInt();
        if (index >= 0 && index < repository->GetCount() &&
            !repository->GetPicture(index).loadError) {
            const bool marked =
                !isProtected.empty() && isProtected[static_cast<std::size_t>(index)];
            item->setForeground(0, marked ? ProtectedBrush() : QBrush());
        }
        for (int c = 0; c < item->childCount(); ++c) {
            QTreeWidgetItem* child = item->child(c);
            child->setForeground(0,
                                 reference.Protects(child->text(0)) ? ProtectedBrush() : QBrush());
        }
    }
}

void CQRXDlg::UpdateGroupsText() {
    // Linear in entries and links: tens of milliseconds even at millions of links.
    const std::vector<PictureGroup> groups = ListPictureGroups(*repository);
    std::size_t pictures = 0;
    for (const PictureGroup& group : groups) {
        pictures += group.size();
    }
    // A group holds two pictures at least, so only the groups can be one.
    if (groups.empty()) {
        groupsText->clear();
    } else if (groups.size() == 1) {
        groupsText->setText(tr("%1 pictures have near-copies, in 1 group").arg(pictures));
    } else {
        groupsText->setText(
            tr("%1 pictures have near-copies, in %2 groups").arg(pictures).arg(groups.size()));
    }
}

QString CQRXDlg::GroupsText() const {
    return groupsText->text();
}

void CQRXDlg::AddChildItems(QTreeWidgetItem* item) {
    if (item->parent() != nullptr || item->childCount() > 0) {
        return;
    }
    const std::int32_t index = item->data(0, kEntryIndexRole).toInt();
    if (index < 0 || index >= repository->GetCount()) {
        return;
    }
    const ReferenceFolders reference = References();
    QList<QTreeWidgetItem*> children;
    QStringList unknown;
    const std::vector<CSimilarInfo>& links = repository->GetPicture(index).similar;
    for (std::size_t position = 0; position < links.size(); ++position) {
        const CSimilarInfo& link = links[position];
        const QString& path = repository->GetPicture(link.index).path;
        auto* child = new PictureTreeItem(path, static_cast<std::int32_t>(position));
        child->SetFactor(static_cast<float>(link.factor), true);
        if (const ShownFacts* facts = factsReader->Find(path)) {
            child->SetFacts(*facts);
        } else {
            childrenAwaitingFacts[path].append(child);
            unknown.append(path);
        }
        if (reference.Protects(path)) {
            child->setForeground(0, ProtectedBrush());
        }
        children.append(child);
    }
    item->addChildren(children);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    // The similar pictures follow the column the tree is sorted by, as the pictures do.
    if (const int column = tree->sortColumn(); column != kOrderColumn) {
        item->sortChildren(column, tree->header()->sortIndicatorOrder());
    }
    factsReader->Request(std::move(unknown));
}

bool CQRXDlg::HasChildItems(const QTreeWidgetItem* item) const {
    return item->childCount() > 0 || item->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator;
}

int CQRXDlg::CountItems() const {
    int count = tree->topLevelItemCount();
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree->topLevelItem(i);
        if (item->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator) {
            const std::int32_t index = item->data(0, kEntryIndexRole).toInt();
            count += static_cast<int>(repository->GetPicture(index).similar.size());
        } else {
            count += item->childCount();
        }
    }
    return count;
}

void CQRXDlg::UpdateTotals() {
    QString prefix = tr("Total items: ");
    if (showSimilar->isChecked()) {
        prefix = tr("Total items (similar): ");
    } else if (showLoadError->isChecked()) {
        prefix = tr("Total items (load error): ");
    }
    QString text = prefix + QString::number(CountItems());
    if (protectedCount > 0) {
        text += tr(" \u00b7 %1 protected").arg(QLocale().toString(protectedCount));
    }
    SetStatusText(text);
    UpdateWindowModified();
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

void CQRXDlg::ShowItemToolTip(const QHelpEvent& event) {
    QTreeWidgetItem* item = tree->itemAt(event.pos());
    if (item == nullptr) {
        QToolTip::hideText();
        return;
    }
    QString text;
    if (const QTreeWidgetItem* parent = item->parent()) {
        // The child items may be sorted: the link is the one to the entry the item names.
        const std::int32_t index = parent->data(0, kEntryIndexRole).toInt();
        if (index >= 0 && index < repository->GetCount()) {
            for (const CSimilarInfo& link : repository->GetPicture(index).similar) {
                if (repository->GetPicture(link.index).path == item->text(0)) {
                    text = SimilarToolTip(item->text(0), link.factor, link.orientation);
                    break;
                }
            }
        }
    } else {
        const std::int32_t index = item->data(0, kEntryIndexRole).toInt();
        text = PictureToolTip(item->text(0), index >= 0 && index < repository->GetCount() &&
                                                 repository->GetPicture(index).loadError);
    }
    if (const QString folder = ProtectingFolder(References(), item->text(0)); !folder.isEmpty()) {
        text += QLatin1Char('\n') + ReferenceFolderText(folder);
    }
    QToolTip::showText(event.globalPos(), text, tree->viewport(), tree->visualItemRect(item));
}

}  // namespace vistrel
