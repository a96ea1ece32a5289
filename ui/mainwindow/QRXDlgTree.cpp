// The main window's picture tree: its rebuild, the view filters, the totals and the context
// menu.

#include "QRXDlg.h"
#include "TreeToolTips.h"
#include "cleanup/PictureGroups.h"

#include <QAction>
#include <QCursor>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QToolTip>
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
    UpdateCommandStates();
    UpdateTotals();
    UpdateGroupsText();
    treeEventsEnabled = true;
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
    QList<QTreeWidgetItem*> children;
    for (const CSimilarInfo& link : repository->GetPicture(index).similar) {
        children.append(new QTreeWidgetItem(QStringList(repository->GetPicture(link.index).path)));
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
    SetStatusText(prefix + QString::number(CountItems()));
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
        text = PictureToolTip(item->text(0));
    }
    QToolTip::showText(event.globalPos(), text, tree->viewport(), tree->visualItemRect(item));
}

}  // namespace vistrel
