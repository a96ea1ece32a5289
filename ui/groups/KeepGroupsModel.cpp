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
                                   bool shapeOnly, QObject* parent)
    : QAbstractItemModel(parent),
      thumbnailSide(thumbnailSide),
      waitingPlaceholder(Placeholder(thumbnailSide, false)),
      failedPlaceholder(Placeholder(thumbnailSide, true)) {
    for (const PictureGroup& members : ListPictureGroups(repository)) {
        Group group;
        group.first = static_cast<int>(pictures.size());
        group.count = static_cast<int>(members.size());
        group.factsMissing = group.count;
        group.nearCopies = ListNearCopies(repository, members, shapeOnly);
        for (const std::int32_t entry : members) {
            const CPictureInfo& info = repository.GetPicture(entry);
            Picture picture;
            picture.path = info.path;
            picture.loadError = info.loadError;
            picture.group = static_cast<int>(groups.size());
            pictures.push_back(std::move(picture));
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

std::vector<KeepCandidate> CKeepGroupsModel::Candidates(const Group& group) const {
    std::vector<KeepCandidate> candidates;
    candidates.reserve(Slot(group.count));
    for (int i = 0; i < group.count; ++i) {
        const Picture& picture = pictures[Slot(group.first + i)];
        candidates.push_back(KeepCandidate{picture.path, picture.facts, picture.loadError});
    }
    return candidates;
}

std::vector<bool> CKeepGroupsModel::HandPicked(const Group& group) const {
    std::vector<bool> picked(Slot(group.count));
    for (int i = 0; i < group.count; ++i) {
        picked[Slot(i)] = pictures[Slot(group.first + i)].choice == Choice::Move;
    }
    return picked;
}

void CKeepGroupsModel::ChooseKept(int group) {
    Group& entry = groups[Slot(group)];
    entry.kept = static_cast<int>(ChooseKeptPicture(Candidates(entry), rule));
    Decide(group);
}

void CKeepGroupsModel::Decide(int group) {
    Group& entry = groups[Slot(group)];
    entry.actions =
        DecideGroup(Candidates(entry), entry.nearCopies, Slot(entry.kept), HandPicked(entry));
    for (int i = 0; i < entry.count; ++i) {
        KeepAction& action = entry.actions[Slot(i)];
        if (action == KeepAction::Trash && pictures[Slot(entry.first + i)].choice == Choice::Stay) {
            action = KeepAction::Stay;
        }
    }
}

KeepAction CKeepGroupsModel::ActionOf(int picture) const {
    const Group& group = groups[Slot(pictures[Slot(picture)].group)];
    const int position = picture - group.first;
    return group.actions.empty() ? KeepAction::Stay : group.actions[Slot(position)];
}

bool CKeepGroupsModel::KeptKeepable(const Group& group) const {
    if (group.kept < 0) {
        return false;
    }
    const Picture& kept = pictures[Slot(group.first + group.kept)];
    return KeepCandidate{kept.path, kept.facts, kept.loadError}.Keepable();
}

bool CKeepGroupsModel::MovableByHand(int picture) const {
    const Picture& entry = pictures[Slot(picture)];
    const Group& group = groups[Slot(entry.group)];
    // Only beside a picture kept that can be read: otherwise the group stays whole.
    return !group.actions.empty() && picture - group.first != group.kept &&
           group.actions[Slot(group.kept)] == KeepAction::Keep && KeptKeepable(group) &&
           entry.facts.exists;
}

KeepAction CKeepGroupsModel::PictureAction(const QModelIndex& index) const {
    const int picture = PictureOf(index);
    return picture < 0 ? KeepAction::Stay : ActionOf(picture);
}

bool CKeepGroupsModel::KeepPicture(const QModelIndex& index) {
    const int picture = PictureOf(index);
    if (picture < 0) {
        return false;
    }
    Picture& entry = pictures[Slot(picture)];
    Group& group = groups[Slot(entry.group)];
    if (group.factsMissing > 0 ||
        !KeepCandidate{entry.path, entry.facts, entry.loadError}.Keepable()) {
        return false;
    }
    group.kept = picture - group.first;
    entry.choice = Choice::Plan;
    Decide(entry.group);
    emit RowsChanged();
    emit PlansChanged();
    return true;
}

bool CKeepGroupsModel::SetPictureMoved(const QModelIndex& index, bool moved) {
    const int picture = PictureOf(index);
    if (picture < 0 || !MovableByHand(picture)) {
        return false;
    }
    Picture& entry = pictures[Slot(picture)];
    entry.choice = moved ? Choice::Move : Choice::Stay;
    Decide(entry.group);
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
        if (!group.included || group.actions.empty()) {
            continue;
        }
        if (std::optional<KeepPlan> plan = MakeKeepPlan(Candidates(group), group.nearCopies,
                                                        group.actions, HandPicked(group))) {
            plans.push_back(std::move(*plan));
        }
    }
    return plans;
}

CKeepGroupsModel::Totals CKeepGroupsModel::PlannedTotals() const {
    Totals totals;
    for (const Group& group : groups) {
        int moved = 0;
        int staying = 0;
        for (int i = 0; i < group.count && !group.actions.empty(); ++i) {
            const Picture& picture = pictures[Slot(group.first + i)];
            if (group.actions[Slot(i)] == KeepAction::Trash) {
                ++moved;
                totals.bytes += group.included ? picture.facts.fileBytes : 0;
            } else if (group.actions[Slot(i)] == KeepAction::Stay) {
                ++staying;
            }
        }
        // A group left out, or whose picture to keep is gone or unreadable, stays whole.
        if (!group.included || moved == 0) {
            ++totals.groupsLeftAlone;
            totals.groupsLeftOut += group.included ? 0 : 1;
            continue;
        }
        totals.files += moved;
        if (staying > 0) {
            totals.picturesLeftAlone += staying;
            ++totals.groupsWithPicturesLeftAlone;
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
    if (IsGroupRow(index) ? index.column() == 0
                          : index.column() == ActionColumn && MovableByHand(PictureOf(index))) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

bool CKeepGroupsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole) {
        return false;
    }
    if (!IsGroupRow(index)) {
        return index.column() == ActionColumn &&
               SetPictureMoved(index, value.toInt() == Qt::Checked);
    }
    if (index.column() != 0) {
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
                return tr("Keep");
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
