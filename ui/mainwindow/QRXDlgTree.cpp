// The main window's picture tree: its rebuild, the view filters, the totals and the context
// menu.

#include "QRXDlg.h"
#include "TreeToolTips.h"
#include "cleanup/PictureGroups.h"
#include "cleanup/ProtectedFiles.h"

#include <QAction>
#include <QCursor>
#include <QHelpEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QRadioButton>
#include <QToolTip>
#include <QTreeWidget>

namespace vistrel {

namespace {

// Top-level items keep their entry's index here; child items keep nothing.
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
        if (!picture.similar.empty()) {
            item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        }
        items.append(item);
    }
    // One insertion of all items: a rebuild of tens of thousands stays quick.
    tree->addTopLevelItems(items);
    if (!items.isEmpty()) {
        tree->setCurrentItem(items.first());
    }
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
    for (const CSimilarInfo& link : repository->GetPicture(index).similar) {
        const QString& path = repository->GetPicture(link.index).path;
        auto* child = new QTreeWidgetItem(QStringList(path));
        if (reference.Protects(path)) {
            child->setForeground(0, ProtectedBrush());
        }
        children.append(child);
    }
    item->addChildren(children);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
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
        // Child items are made in the order of their parent entry's links.
        const std::int32_t index = parent->data(0, kEntryIndexRole).toInt();
        const int position = parent->indexOfChild(item);
        if (index >= 0 && index < repository->GetCount()) {
            const std::vector<CSimilarInfo>& links = repository->GetPicture(index).similar;
            if (position >= 0 && position < static_cast<int>(links.size())) {
                const CSimilarInfo& link = links[static_cast<std::size_t>(position)];
                text = SimilarToolTip(item->text(0), link.factor, link.orientation);
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
