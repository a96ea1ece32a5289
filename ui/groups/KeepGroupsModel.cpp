#include "KeepGroupsModel.h"

#include "cleanup/BestCopy.h"
#include "cleanup/ProtectedFiles.h"
#include "progress/ProgressRun.h"
#include "repository/PictureRepository.h"

#include <QPainter>

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
                                   bool shapeOnly, QObject* parent,
                                   const ReferenceFolders& reference)
    : QAbstractItemModel(parent),
      thumbnailSide(thumbnailSide),
      waitingPlaceholder(Placeholder(thumbnailSide, false)),
      failedPlaceholder(Placeholder(thumbnailSide, true)) {
    // Listed on the thread pool while the window paints and waits: at tens of thousands of
    // groups the exact factors of the links at the near-copy limit read many signatures.
    struct Listed {
        PictureGroup members;
        std::vector<std::vector<NearCopy>> nearCopies;
    };
    const auto listed = RunWhileWaiting<std::vector<Listed>>([&repository, shapeOnly] {
        std::vector<Listed> all;
        for (PictureGroup& members : ListPictureGroups(repository)) {
            auto nearCopies = ListNearCopies(repository, members, shapeOnly);
            all.push_back({std::move(members), std::move(nearCopies)});
        }
        return all;
    });
    for (const auto& [members, nearCopies] : listed) {
        Group group;
        group.first = static_cast<int>(pictures.size());
        group.count = static_cast<int>(members.size());
        group.factsMissing = group.count;
        group.nearCopies = nearCopies;
        for (const std::int32_t entry : members) {
            const CPictureInfo& info = repository.GetPicture(entry);
            Picture picture;
            picture.path = info.path;
            picture.loadError = info.loadError;
            // Asked once, as the dialog opens; the move asks each file again.
            picture.isProtected = reference.ProtectsFile(info.path);
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
        if (groups[Slot(group)].factsMissing == 0 && !groups[Slot(group)].keptByHand) {
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
    MarkResaves(candidates, group.nearCopies);
    return candidates;
}

std::vector<bool> CKeepGroupsModel::Protection(const Group& group) const {
    std::vector<bool> flags(Slot(group.count));
    for (int i = 0; i < group.count; ++i) {
        flags[Slot(i)] = pictures[Slot(group.first + i)].isProtected;
    }
    return flags;
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
    const std::vector<KeepCandidate> candidates = Candidates(entry);
    // The rule chooses among the pictures the user did not tick to move, when there are any.
    std::vector<KeepCandidate> choosable;
    std::vector<int> positions;
    for (int i = 0; i < entry.count; ++i) {
        if (pictures[Slot(entry.first + i)].choice != Choice::Move) {
            choosable.push_back(candidates[Slot(i)]);
            positions.push_back(i);
        }
    }
    const std::size_t chosen =
        choosable.empty() ? ChooseKeptPicture(candidates, rule)
                          : static_cast<std::size_t>(positions[ChooseKeptPicture(choosable, rule)]);
    entry.kept =
        static_cast<int>(KeepProtectedPicture(candidates, Protection(entry), rule, chosen));
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
    SpareProtected(entry.actions, Protection(entry));
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
           entry.facts.exists && !entry.isProtected;
}

KeepAction CKeepGroupsModel::PictureAction(const QModelIndex& index) const {
    const int picture = PictureOf(index);
    return picture < 0 ? KeepAction::Stay : ActionOf(picture);
}

bool CKeepGroupsModel::IsProtected(const QModelIndex& index) const {
    const int picture = PictureOf(index);
    return picture >= 0 && pictures[Slot(picture)].isProtected;
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
    group.keptByHand = true;
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
    if (group < 0 || groups[Slot(group)].included == included || groups[Slot(group)].dropped) {
        return;
    }
    groups[Slot(group)].included = included;
    emit RowsChanged();
    emit PlansChanged();
}

bool CKeepGroupsModel::IsGroupRow(const QModelIndex& index) const {
    return index.isValid() && index.internalId() == kGroupRowId;
}

QStringList CKeepGroupsModel::GroupPaths(const QModelIndex& index) const {
    QStringList paths;
    if (const int group = GroupOf(index); group >= 0) {
        const Group& members = groups[Slot(group)];
        for (int i = 0; i < members.count; ++i) {
            paths.append(pictures[Slot(members.first + i)].path);
        }
    }
    return paths;
}

void CKeepGroupsModel::DropGroup(const QModelIndex& index) {
    const int group = GroupOf(index);
    if (group < 0) {
        return;
    }
    groups[Slot(group)].dropped = true;
    groups[Slot(group)].included = false;
    emit PlansChanged();
}

bool CKeepGroupsModel::IsDroppedRow(int row) const {
    const int group = GroupOf(index(row, 0));
    return group >= 0 && groups[Slot(group)].dropped;
}

int CKeepGroupsModel::ShownGroupCount() const {
    return static_cast<int>(std::count_if(groups.begin(), groups.end(),
                                          [](const Group& group) { return !group.dropped; }));
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
        if (group.dropped) {
            continue;
        }
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

}  // namespace vistrel
