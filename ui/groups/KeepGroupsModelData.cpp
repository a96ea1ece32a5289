// What the list of Keep One of Each Group shows of each row: texts, marks, tips and thumbnails.

#include "KeepGroupsModel.h"

#include "common/FileSizeText.h"

#include <QFont>
#include <QLocale>
#include <QPalette>

#include <algorithm>

namespace vistrel {

QVariant CKeepGroupsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case PictureColumn:
            return tr("Picture");
        case ActionColumn:
            return tr("Action");
        case SizeColumn:
            return tr("Size");
        case BytesColumn:
            return tr("File Size");
        case ModifiedColumn:
            return tr("Modified");
        default:
            return {};
    }
}

QVariant CKeepGroupsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const int picture = PictureOf(index);
    return picture < 0 ? GroupData(GroupOf(index), index.column(), role)
                       : PictureData(picture, index.column(), role);
}

QVariant CKeepGroupsModel::GroupData(int group, int column, int role) const {
    const Group& entry = groups[Slot(group)];
    if (column != 0) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole: {
            QString text = tr("Group %1: %2 pictures").arg(group + 1).arg(entry.count);
            const int staying = static_cast<int>(
                std::count(entry.actions.begin(), entry.actions.end(), KeepAction::Stay));
            if (!entry.included) {
                text += tr(" (left alone)");
            } else if (entry.kept >= 0 && !pictures[Slot(entry.first + entry.kept)].facts.exists) {
                text += tr(" (no file left to keep: left alone)");
            } else if (entry.kept >= 0 && !entry.actions.empty() &&
                       entry.actions[Slot(entry.kept)] == KeepAction::Keep &&
                       !KeptKeepable(entry)) {
                text += tr(" (no picture left that can be read: left alone)");
            } else if (staying > 0) {
                text += tr(" (%1 similar but no near-copies: they stay)").arg(staying);
            }
            return text;
        }
        case Qt::CheckStateRole:
            return static_cast<int>(entry.included ? Qt::Checked : Qt::Unchecked);
        case Qt::ToolTipRole:
            return tr("Clear the box to leave this group alone.");
        default:
            return {};
    }
}

QVariant CKeepGroupsModel::PictureData(int picture, int column, int role) const {
    const Picture& entry = pictures[Slot(picture)];
    const Group& group = groups[Slot(entry.group)];
    const bool kept = group.kept == picture - group.first;
    const PictureFacts& facts = entry.facts;
    if (role == Qt::FontRole && kept && group.included) {
        QFont font;
        font.setBold(true);
        return font;
    }
    if (role == Qt::ForegroundRole && !group.included) {
        return QPalette().brush(QPalette::Disabled, QPalette::Text);
    }
    if (role == Qt::SizeHintRole) {
        // Said here, so that measuring a row never asks for its thumbnail.
        return QSize(thumbnailSide, thumbnailSide + 4);
    }
    if (role == Qt::DecorationRole && column == PictureColumn) {
        return Thumbnail(picture);
    }
    if (role == Qt::ToolTipRole && column == PictureColumn) {
        return entry.undecodable ? tr("%1\nThis picture cannot be read.").arg(entry.path)
                                 : entry.path;
    }
    if (role == Qt::ToolTipRole && column == ActionColumn && entry.isProtected) {
        return tr("In a reference folder: it never moves.");
    }
    if (role == Qt::ToolTipRole && column == ActionColumn && group.included && entry.hasFacts &&
        !kept && ActionOf(picture) == KeepAction::Stay && facts.exists) {
        return tr(
            "Similar to the picture kept, but no near-copy of it: it stays unless you "
            "tick it.");
    }
    if (role == Qt::CheckStateRole && column == ActionColumn) {
        if (!group.included || !MovableByHand(picture)) {
            return {};
        }
        return static_cast<int>(ActionOf(picture) == KeepAction::Trash ? Qt::Checked
                                                                       : Qt::Unchecked);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (column) {
        case PictureColumn:
            return entry.path;
        case ActionColumn:
            if (!entry.hasFacts || group.kept < 0) {
                return tr("...");
            }
            if (!group.included) {
                return tr("Stays");
            }
            if (!facts.exists) {
                return tr("File gone");
            }
            if (kept) {
                return entry.isProtected ? tr("Keep (protected)") : tr("Keep");
            }
            if (entry.isProtected) {
                return tr("Stays (protected)");
            }
            return ActionOf(picture) == KeepAction::Trash ? tr("To trash") : tr("Stays");
        case SizeColumn:
            if (!entry.hasFacts || !facts.exists) {
                return {};
            }
            return facts.size.isValid()
                       ? QStringLiteral("%1 x %2").arg(facts.size.width()).arg(facts.size.height())
                       : tr("Unreadable");
        case BytesColumn:
            return entry.hasFacts && facts.exists ? FileSizeText(facts.fileBytes) : QString();
        case ModifiedColumn:
            return entry.hasFacts && facts.exists
                       ? QLocale().toString(facts.modified, QLocale::ShortFormat)
                       : QString();
        default:
            return {};
    }
}

QVariant CKeepGroupsModel::Thumbnail(int picture) const {
    if (const QPixmap* thumbnail = thumbnails.object(picture)) {
        return *thumbnail;
    }
    if (pictures[Slot(picture)].undecodable) {
        return failedPlaceholder;
    }
    if (!requested.contains(picture) && requestThumbnail) {
        requested.insert(picture);
        requestThumbnail(picture, pictures[Slot(picture)].path);
    }
    return waitingPlaceholder;
}

}  // namespace vistrel
