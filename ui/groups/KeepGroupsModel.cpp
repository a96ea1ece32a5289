#include "KeepGroupsModel.h"

#include "FileSizeText.h"
#include "PictureRepository.h"

#include <QFont>
#include <QLocale>
#include <QPainter>
#include <QPalette>

#include <algorithm>

namespace vistrel {

namespace {

// The model is one flat list, each group's row followed by its pictures' rows: a tree view keeps
// a persistent index for every expanded row, which for tens of thousands of groups takes it
// minutes. Picture rows carry their picture's number plus one in their internal id; group rows
// carry 0.
constexpr quintptr kGroupRowId = 0;

QPixmap Placeholder(int side, bool failed) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(150, 150, 150));
    const QRect box(side / 8, side / 8, side * 3 / 4, side * 3 / 4);
    painter.drawRect(box);
    if (failed) {
        // A crossed frame: the picture cannot be decoded.
        painter.setPen(QPen(QColor(190, 60, 60), 2));
        painter.drawLine(box.topLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomLeft());
    }
    return pixmap;
}

}  // namespace

CKeepGroupsModel::CKeepGroupsModel(const CPictureRepository& repository, int thumbnailSide,
                                   QObject* parent)
    : QAbstractItemModel(parent),
      thumbnailSide(thumbnailSide),
      waitingPlaceholder(Placeholder(thumbnailSide, false)),
      failedPlaceholder(Placeholder(thumbnailSide, true)) {
    for (const PictureGroup& members : ListPictureGroups(repository)) {
        Group group;
        group.first = static_cast<int>(pictures.size());
        group.count = static_cast<int>(members.size());
        group.factsMissing = group.count;
        for (const std::int32_t entry : members) {
            const CPictureInfo& info = repository.GetPicture(entry);
            pictures.push_back(Picture{
                info.path, info.loadError, false, false, {}, static_cast<int>(groups.size())});
        }
        groupRows.push_back(group.first + static_cast<int>(groups.size()));
        groups.push_back(group);
    }
}

void CKeepGroupsModel::SetFacts(int picture, const PictureFacts& facts) {
    Picture& entry = pictures[Slot(picture)];
    if (entry.hasFacts) {
        return;
    }
    entry.facts = facts;
    entry.hasFacts = true;
    ++factsRead;
    Group& group = groups[Slot(entry.group)];
    // The views hear of it once per batch, from the caller, not once per group.
    if (--group.factsMissing == 0) {
        ChooseKept(entry.group);
    }
}

void CKeepGroupsModel::SetRule(KeepRule newRule) {
    rule = newRule;
    for (int group = 0; group < GroupCount(); ++group) {
        if (groups[Slot(group)].factsMissing == 0) {
            ChooseKept(group);
        }
    }
    emit RowsChanged();
    emit PlansChanged();
}

void CKeepGroupsModel::ChooseKept(int group) {
    Group& entry = groups[Slot(group)];
    std::vector<KeepCandidate> candidates;
    candidates.reserve(Slot(entry.count));
    for (int i = 0; i < entry.count; ++i) {
        const Picture& picture = pictures[Slot(entry.first + i)];
        candidates.push_back(KeepCandidate{picture.path, picture.facts});
    }
    entry.kept = static_cast<int>(ChooseKeptPicture(candidates, rule));
}

bool CKeepGroupsModel::KeepPicture(const QModelIndex& index) {
    const int picture = PictureOf(index);
    if (picture < 0) {
        return false;
    }
    const Picture& entry = pictures[Slot(picture)];
    Group& group = groups[Slot(entry.group)];
    if (group.factsMissing > 0 || !entry.facts.exists) {
        return false;
    }
    group.kept = picture - group.first;
    emit RowsChanged();
    emit PlansChanged();
    return true;
}

void CKeepGroupsModel::SetGroupIncluded(const QModelIndex& index, bool included) {
    const int group = GroupOf(index);
    if (group < 0 || groups[Slot(group)].included == included) {
        return;
    }
    groups[Slot(group)].included = included;
    emit RowsChanged();
    emit PlansChanged();
}

bool CKeepGroupsModel::IsGroupRow(const QModelIndex& index) const {
    return index.isValid() && index.internalId() == kGroupRowId;
}

std::vector<KeepPlan> CKeepGroupsModel::Plans() const {
    std::vector<KeepPlan> plans;
    for (const Group& group : groups) {
        // A group none of whose files was there when the facts were read has nothing to move.
        if (!group.included || group.kept < 0 ||
            !pictures[Slot(group.first + group.kept)].facts.exists) {
            continue;
        }
        KeepPlan plan;
        for (int i = 0; i < group.count; ++i) {
            const QString& path = pictures[Slot(group.first + i)].path;
            if (i == group.kept) {
                plan.kept = path;
            } else {
                plan.others.append(path);
            }
        }
        plans.push_back(std::move(plan));
    }
    return plans;
}

CKeepGroupsModel::Totals CKeepGroupsModel::PlannedTotals() const {
    Totals totals;
    for (const Group& group : groups) {
        // A group whose picture to keep is gone will be left alone.
        if (!group.included || group.kept < 0 ||
            !pictures[Slot(group.first + group.kept)].facts.exists) {
            ++totals.groupsLeftAlone;
            continue;
        }
        for (int i = 0; i < group.count; ++i) {
            const Picture& picture = pictures[Slot(group.first + i)];
            if (i != group.kept && picture.facts.exists) {
                ++totals.files;
                totals.bytes += picture.facts.fileBytes;
            }
        }
    }
    return totals;
}

void CKeepGroupsModel::SetThumbnailRequester(std::function<void(int, const QString&)> requester) {
    requestThumbnail = std::move(requester);
}

void CKeepGroupsModel::SetThumbnail(int picture, const QImage& thumbnail) {
    if (picture < 0 || picture >= PictureCount()) {
        return;
    }
    requested.remove(picture);
    Picture& entry = pictures[Slot(picture)];
    entry.undecodable = thumbnail.isNull();
    if (!entry.undecodable) {
        thumbnails.insert(picture, new QPixmap(QPixmap::fromImage(thumbnail)));
    }
    const QModelIndex cell = PictureIndex(picture);
    emit dataChanged(cell, cell, {Qt::DecorationRole, Qt::ToolTipRole});
}

QModelIndex CKeepGroupsModel::GroupIndex(int group, int column) const {
    return createIndex(GroupRow(group), column, kGroupRowId);
}

QModelIndex CKeepGroupsModel::PictureIndex(int picture, int column) const {
    const int group = pictures[Slot(picture)].group;
    return createIndex(GroupRow(group) + 1 + picture - groups[Slot(group)].first, column,
                       static_cast<quintptr>(picture) + 1);
}

int CKeepGroupsModel::PictureOf(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == kGroupRowId) {
        return -1;
    }
    return static_cast<int>(index.internalId() - 1);
}

int CKeepGroupsModel::GroupOf(const QModelIndex& index) const {
    if (!index.isValid()) {
        return -1;
    }
    if (index.internalId() != kGroupRowId) {
        return pictures[Slot(PictureOf(index))].group;
    }
    // The last group whose row is at or before this one.
    const auto after = std::upper_bound(groupRows.begin(), groupRows.end(), index.row());
    return static_cast<int>(after - groupRows.begin()) - 1;
}

QModelIndex CKeepGroupsModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= Columns) {
        return {};
    }
    const QModelIndex groupRow = createIndex(row, column, kGroupRowId);
    const int group = GroupOf(groupRow);
    const int position = row - GroupRow(group) - 1;
    return position < 0 ? groupRow : PictureIndex(groups[Slot(group)].first + position, column);
}

QModelIndex CKeepGroupsModel::parent(const QModelIndex&) const {
    return {};
}

int CKeepGroupsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : GroupCount() + PictureCount();
}

int CKeepGroupsModel::columnCount(const QModelIndex&) const {
    return Columns;
}

Qt::ItemFlags CKeepGroupsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (IsGroupRow(index) && index.column() == 0) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

bool CKeepGroupsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !IsGroupRow(index) || index.column() != 0) {
        return false;
    }
    SetGroupIncluded(index, value.toInt() == Qt::Checked);
    return true;
}

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
            if (!entry.included) {
                text += tr(" (left alone)");
            } else if (entry.kept >= 0 && !pictures[Slot(entry.first + entry.kept)].facts.exists) {
                text += tr(" (no file left to keep: left alone)");
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
            return kept ? tr("Keep") : tr("To trash");
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
