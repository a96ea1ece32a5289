#pragma once

#include "cleanup/GroupCleanup.h"
#include "cleanup/KeepPlan.h"
#include "cleanup/PictureFacts.h"
#include "cleanup/PictureGroups.h"
#include "settings/ReferenceFolders.h"

#include <QAbstractItemModel>
#include <QCache>
#include <QPixmap>
#include <QSet>

#include <cstdint>
#include <functional>
#include <vector>

namespace vistrel {

class CPictureRepository;

/// The groups of similar pictures as Keep One of Each Group shows them, as one list: a row per
/// group, with a check box that leaves the group out, followed by a row per picture with its
/// thumbnail and facts, the one to keep marked. Only near-copies of the picture kept go to the
/// trash unless the user ticks another picture's box. Thumbnails are asked for as rows are
/// painted. GUI thread.
class CKeepGroupsModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column { PictureColumn, ActionColumn, SizeColumn, BytesColumn, ModifiedColumn, Columns };

    /// The groups of `repository` as they are now (the model keeps no reference to it), with
    /// thumbnails of `thumbnailSide` pixels; `shapeOnly` is the mode the links were found in.
    /// A picture in a folder of `reference` is protected: kept where its group has one (over
    /// the rule's choice), never moved, and shown so.
    CKeepGroupsModel(const CPictureRepository& repository, int thumbnailSide, bool shapeOnly,
                     QObject* parent = nullptr, const ReferenceFolders& reference = {});

    /// The pictures of all groups, in group order: the numbers SetFacts and the thumbnail
    /// requests use.
    int PictureCount() const { return static_cast<int>(pictures.size()); }
    QString PicturePath(int picture) const { return pictures[Slot(picture)].path; }
    int GroupCount() const { return static_cast<int>(groups.size()); }
    /// How many pictures `group` has; a group's pictures are numbered one after the other.
    int GroupSize(int group) const { return groups[Slot(group)].count; }

    /// Records the facts of a picture; once a group has all of its facts, its picture to keep
    /// is chosen by the rule. Says nothing (facts come by the thousand): the caller calls
    /// FactsBatchDone after a batch.
    void SetFacts(int picture, const PictureFacts& facts);
    /// Tells the views that the rows of the facts set since are to be painted again.
    void FactsBatchDone() { emit RowsChanged(); }
    /// True once every picture's facts are in.
    bool AllFactsRead() const { return factsRead == pictures.size(); }
    int FactsReadCount() const { return static_cast<int>(factsRead); }
    /// Chooses the picture to keep of every group again by `rule`, but for the groups whose
    /// picture to keep the user chose; the pictures the user ticked or cleared stay so, and one
    /// the user ticked to move is not chosen while another can be kept.
    void SetRule(KeepRule rule);
    /// Makes the picture at `index` the one its group keeps; false (and nothing changes) for a
    /// group row, a picture whose facts are not in yet, or one that cannot be read.
    bool KeepPicture(const QModelIndex& index);
    /// Whether the picture at `index`, not the one kept, goes to the trash: the user's choice
    /// over the plan's (which moves near-copies of the picture kept only). False for a group
    /// row, the picture kept, a file gone, a protected picture, or before the facts are in.
    bool SetPictureMoved(const QModelIndex& index, bool moved);
    /// The action planned now for the picture at `index`.
    KeepAction PictureAction(const QModelIndex& index) const;
    /// Whether the picture at `index` lies in a reference folder.
    bool IsProtected(const QModelIndex& index) const;
    /// Includes or leaves out the group of `index` (a group row or one of its pictures).
    void SetGroupIncluded(const QModelIndex& index, bool included);
    bool IsGroupRow(const QModelIndex& index) const;
    /// The paths of the pictures of the group of `index` (a group row or one of its pictures).
    QStringList GroupPaths(const QModelIndex& index) const;
    /// Takes the group of `index` out of the plans and the totals for good: its pairs were
    /// marked not similar, and it is no group any more. The view hides its rows (IsDroppedRow).
    void DropGroup(const QModelIndex& index);
    /// Whether the row `row` (of the one list) belongs to a dropped group.
    bool IsDroppedRow(int row) const;
    /// The groups not dropped.
    int ShownGroupCount() const;
    /// The row of a group, and of a picture (by its number), in `column`.
    QModelIndex GroupIndex(int group, int column = PictureColumn) const;
    QModelIndex PictureIndex(int picture, int column = PictureColumn) const;

    /// The picture to keep and the ones to move of each included group that has a file to keep,
    /// in group order.
    std::vector<KeepPlan> Plans() const;
    /// How many files the plans move, how many bytes they hold, how many groups stay as they
    /// are, and how many pictures of the other groups stay, being similar to the picture kept
    /// but no near-copies of it (in how many groups).
    struct Totals {
        int files = 0;
        std::int64_t bytes = 0;
        int groupsLeftAlone = 0;
        /// Of those, the groups the user left out (the others have nothing to move: no
        /// near-copy of the picture kept, or no picture that can be read).
        int groupsLeftOut = 0;
        int picturesLeftAlone = 0;
        int groupsWithPicturesLeftAlone = 0;
    };
    Totals PlannedTotals() const;

    /// Called with a picture's number and path when its row is shown without a thumbnail.
    void SetThumbnailRequester(std::function<void(int, const QString&)> requester);
    /// A thumbnail arrived; a null one means the picture cannot be decoded.
    void SetThumbnail(int picture, const QImage& thumbnail);
    /// A thumbnail request was given up; the row asks again when next shown.
    void ForgetRequest(int picture) { requested.remove(picture); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    /// The plans changed: a group was chosen, included or left out.
    void PlansChanged();
    /// The texts and marks of any number of rows changed, their heights did not: the views
    /// paint what they show again. A tree view would take dataChanged over a span of rows
    /// with a walk over all its rows for each row of the span.
    void RowsChanged();

private:
    /// The user's word on a picture, over the plan's.
    enum class Choice { Plan, Move, Stay };
    struct Picture {
        QString path;
        bool loadError = false;
        bool hasFacts = false;
        bool undecodable = false;
        /// In a reference folder when the dialog opened: it never moves.
        bool isProtected = false;
        PictureFacts facts;
        int group = 0;
        Choice choice = Choice::Plan;
    };
    struct Group {
        int first = 0;  ///< the number of its first picture
        int count = 0;
        int factsMissing = 0;
        int kept = -1;            ///< position of the picture to keep; -1 until all facts are in
        bool keptByHand = false;  ///< the user chose the picture to keep: no rule changes it
        bool included = true;
        /// Marked not similar: out of the plans and the totals (DropGroup).
        bool dropped = false;
        /// ListNearCopies of the group, by position.
        std::vector<std::vector<NearCopy>> nearCopies;
        /// What happens to each picture, by position; empty until all facts are in.
        std::vector<KeepAction> actions;
    };

    static std::size_t Slot(int number) { return static_cast<std::size_t>(number); }
    int GroupRow(int group) const { return groupRows[Slot(group)]; }
    /// The picture number of a picture row, or -1 for a group row.
    int PictureOf(const QModelIndex& index) const;
    int GroupOf(const QModelIndex& index) const;
    void ChooseKept(int group);
    /// Decides the actions of `group` again from its picture to keep and the user's choices.
    void Decide(int group);
    std::vector<KeepCandidate> Candidates(const Group& group) const;
    /// Which pictures of `group` (by position) are protected.
    std::vector<bool> Protection(const Group& group) const;
    /// The pictures of `group` (by position) the user chose to move.
    std::vector<bool> HandPicked(const Group& group) const;
    KeepAction ActionOf(int picture) const;
    /// A picture row whose box the user may tick: not the one kept, its file there, facts in.
    bool MovableByHand(int picture) const;
    bool KeptKeepable(const Group& group) const;
    QVariant GroupData(int group, int column, int role) const;
    QVariant PictureData(int picture, int column, int role) const;
    QVariant Thumbnail(int picture) const;

    std::vector<Picture> pictures;
    std::vector<Group> groups;
    /// The row of each group, ascending.
    std::vector<int> groupRows;
    std::size_t factsRead = 0;
    KeepRule rule = KeepRule::BestCopy;
    int thumbnailSide = 0;
    std::function<void(int, const QString&)> requestThumbnail;
    // Thumbnails are made again when scrolled back to rather than held for every picture.
    mutable QCache<int, QPixmap> thumbnails{2000};
    mutable QSet<int> requested;
    QPixmap waitingPlaceholder;
    QPixmap failedPlaceholder;
};

}  // namespace vistrel
