// The main window's picture tree: its rebuild, the view filters, the totals and the context
// menu.

#include "PictureTreeItem.h"
#include "QRXDlg.h"
#include "TreeBuild.h"
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
#include <QTimer>
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
    StartTreeBuild(std::nullopt);
}

void CQRXDlg::RefreshTreeSelecting(std::int32_t entry) {
    TreePlace place;
    place.path = repository->GetPicture(entry).path;
    place.topPaths = {place.path};
    place.topRow = 0;
    StartTreeBuild(std::move(place));
}

void CQRXDlg::AddStatusNote(const QString& note) {
    if (treeBuild != nullptr) {
        treeBuild->statusNotes.append(note);
    } else {
        SetStatusText(StatusText() + QStringLiteral("   ") + note);
    }
}

void CQRXDlg::RefreshTreeKeepingPlace() {
    StartTreeBuild(CurrentPlace());
}

std::optional<TreePlace> CQRXDlg::CurrentPlace(bool neighbours) const {
    // During a rebuild the tree is empty: the place is the one the rebuild will bring back.
    if (treeBuild != nullptr) {
        return treeBuild->place;
    }
    // The tree still shows the repository as it was: the place is noted from its items.
    return SaveTreePlace(*tree, neighbours);
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
                actions.repositoryOrder->setEnabled(column != kOrderColumn);
                SortTree(column, order);
            });
    connect(factsReader, &TreeFactsReader::FactsRead, this, &CQRXDlg::FillInFacts);
    treeBuildTimer = new QTimer(this);
    treeBuildTimer->setSingleShot(true);
    treeBuildTimer->setInterval(0);
    connect(treeBuildTimer, &QTimer::timeout, this, &CQRXDlg::ContinueTreeBuild);
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
        SortTree(tree->sortColumn(), tree->header()->sortIndicatorOrder());
    }
}

void CQRXDlg::SortTree(int column, Qt::SortOrder order) {
    // A rebuild under way makes its items in the order it began with: it begins anew. A tree of
    // more than a piece is sorted by a rebuild in pieces, which keeps the user's place, rather
    // than in one call that holds the window for as long as the sort takes.
    if (treeBuild != nullptr || tree->topLevelItemCount() > treePiece) {
        StartTreeBuild(CurrentPlace(false));
    } else {
        tree->sortItems(column, order);
    }
}

PictureTreeItem* CQRXDlg::MakeEntryItem(std::int32_t index) const {
    const CPictureInfo& picture = repository->GetPicture(index);
    auto* item = new PictureTreeItem(picture.path, index);
    item->SetEntry(index);
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
    if (const ShownFacts* facts = factsReader->Find(picture.path)) {
        item->SetFacts(*facts);
    }
    return item;
}

void CQRXDlg::StartTreeBuild(std::optional<TreePlace> place) {
    treeEventsEnabled = false;
    treeBuildTimer->stop();
    // A rebuild under way is replaced: its items, never shown, go with it.
    auto build = std::make_unique<TreeBuild>();
    build->source = repository.get();
    build->count = repository->GetCount();
    // The user's sort holds until Repository Order.
    build->column = tree->sortColumn();
    build->order = tree->header()->sortIndicatorOrder();
    build->place = std::move(place);
    if (treeBuild != nullptr) {
        // The notes of the rebuild replaced are still to be shown.
        build->statusNotes = std::move(treeBuild->statusNotes);
    }
    treeBuild = std::move(build);
    childrenAwaitingFacts.clear();
    entryItems.assign(static_cast<std::size_t>(treeBuild->count), nullptr);
    // The old items are taken out in the next turn when the build takes turns: noting the
    // place and taking the items out each walk them all. Meanwhile their selection is not
    // acted on and they do not open: they may name entries that are gone.
    if (treeBuild->count <= treePiece) {
        ContinueTreeBuild();
    } else {
        treeBuildTimer->start();
    }
}

void CQRXDlg::TakeOutTreeItems() {
    treeEventsEnabled = false;
    // Taken out at once, deleted a piece per turn: deleting hundreds of thousands of items
    // takes longer than taking them out.
    const QList<QTreeWidgetItem*> old = tree->invisibleRootItem()->takeChildren();
    retiredItems.reserve(retiredItems.size() + static_cast<std::size_t>(old.size()));
    for (QTreeWidgetItem* item : old) {
        retiredItems.emplace_back(item);
    }
    treeEventsEnabled = true;
}

void CQRXDlg::ContinueTreeBuild() {
    if (treeBuild == nullptr) {
        // The items of rebuilds done are deleted in pieces too.
        RetireTreeItems(static_cast<std::size_t>(treePiece));
        if (!retiredItems.empty()) {
            treeBuildTimer->start();
        }
        return;
    }
    if (treeBuild->source != repository.get() || treeBuild->count != repository->GetCount() ||
        entryItems.size() != static_cast<std::size_t>(treeBuild->count)) {
        // Entries came or went without a rebuild asked for: the items made may name others.
        StartTreeBuild(std::move(treeBuild->place));
        return;
    }
    // A tree of no more than a piece is rebuilt within the call, its old items deleted too.
    const bool whole = treeBuild->count <= treePiece;
    while (true) {
        // The build is held here during its step: a rebuild the step sets off (through a
        // signal) replaces it without deleting what the step works on.
        std::unique_ptr<TreeBuild> build = std::move(treeBuild);
        StepTreeBuild(*build);
        if (treeBuild != nullptr) {
            break;
        }
        if (build->stage != TreeBuild::Stage::Done) {
            treeBuild = std::move(build);
        }
        if (treeBuild == nullptr || !whole) {
            break;
        }
    }
    if (whole && treeBuild == nullptr) {
        retiredItems.clear();
    }
    if (treeBuild != nullptr || !retiredItems.empty()) {
        treeBuildTimer->start();
    }
}

void CQRXDlg::RetireTreeItems(std::size_t count) {
    const std::size_t kept = retiredItems.size() - std::min(count, retiredItems.size());
    retiredItems.resize(kept);
}

void CQRXDlg::StepTreeBuild(TreeBuild& build) {
    using Stage = TreeBuild::Stage;
    switch (build.stage) {
        case Stage::TakingOut:
            TakeOutTreeItems();
            build.stage = Stage::Making;
            break;
        case Stage::Making: {
            RetireTreeItems(static_cast<std::size_t>(treePiece));
            const std::int32_t end = build.next + std::min(treePiece, build.count - build.next);
            std::vector<std::unique_ptr<PictureTreeItem>> piece;
            for (std::int32_t i = build.next; i < end; ++i) {
                const CPictureInfo& picture = repository->GetPicture(i);
                if (!IsShown(picture, viewFilter)) {
                    continue;
                }
                // Facts read while the build goes on reach the item through its entry.
                PictureTreeItem* item = MakeEntryItem(i);
                piece.emplace_back(item);
                entryItems[static_cast<std::size_t>(i)] = item;
                // As CountItems counts: the child items still to be made are the entry's links.
                build.itemCount += 1 + static_cast<int>(picture.similar.size());
            }
            build.next = end;
            build.AddPiece(std::move(piece));
            if (build.next == build.count) {
                build.stage = Stage::Merging;
            }
            break;
        }
        case Stage::Merging:
            // A merge per turn.
            if (build.MergeLastRuns()) {
                build.stage = Stage::Inserting;
            }
            break;
        case Stage::Inserting:
            treeEventsEnabled = false;
            // One insertion of all items, already in the tree's order; the view lays them out
            // in a turn of its own before the selection.
            tree->addTopLevelItems(build.ReleaseItems());
            treeEventsEnabled = true;
            build.stage = Stage::Selecting;
            break;
        case Stage::Selecting:
            treeEventsEnabled = false;
            if (tree->topLevelItemCount() > 0) {
                tree->setCurrentItem(tree->topLevelItem(0));
            }
            if (build.place) {
                RestoreTreePlace(
                    *tree, *build.place, [this](const QString& path) -> QTreeWidgetItem* {
                        const std::int32_t index = repository->FindPicture(path);
                        return index >= 0 && static_cast<std::size_t>(index) < entryItems.size()
                                   ? entryItems[static_cast<std::size_t>(index)]
                                   : nullptr;
                    });
            }
            treeEventsEnabled = true;
            build.stage = Stage::Counting;
            break;
        case Stage::Counting: {
            // The facts not read yet are asked for in the order shown: the first screen fills
            // first.
            QStringList unknown;
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                if (const PictureTreeItem* item = TreeItem(tree->topLevelItem(i));
                    !item->HasFacts()) {
                    unknown.append(item->PathText());
                }
            }
            factsReader->Request(std::move(unknown));
            MarkProtectedItems();
            UpdateCommandStates();
            ShowTotals(build.itemCount);
            for (const QString& note : build.statusNotes) {
                SetStatusText(StatusText() + QStringLiteral("   ") + note);
            }
            build.stage = Stage::Summing;
            break;
        }
        case Stage::Summing:
            UpdateGroupsText();
            treeEventsEnabled = false;
            UpdatePreview();
            treeEventsEnabled = true;
            build.stage = Stage::Done;
            break;
        case Stage::Done:
            break;
    }
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
    const bool oldItem = treeBuild != nullptr && treeBuild->stage == TreeBuild::Stage::TakingOut;
    if (oldItem || item->parent() != nullptr || item->childCount() > 0) {
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
    ShowTotals(CountItems());
}

void CQRXDlg::ShowTotals(int count) {
    QString prefix = tr("Total items: ");
    if (showSimilar->isChecked()) {
        prefix = tr("Total items (similar): ");
    } else if (showLoadError->isChecked()) {
        prefix = tr("Total items (load error): ");
    }
    QString text = prefix + QString::number(count);
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
