#pragma once

#include "BulkDeletion.h"
#include "KeepPlan.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace vistrel {

class CPictureRepository;

/// What TrashAllButKept did.
struct KeepOutcome {
    /// The files moved to the trash; their entries are gone.
    QStringList moved;
    /// The files the trash refused; their entries stay.
    QStringList notMoved;
    /// The picture to keep of each group left alone because its file was gone or had changed.
    QStringList keptGone;
    /// The files left alone because they had changed since the plan was made, or are the file
    /// of a picture kept under another path.
    QStringList changed;
    /// The copies left in place as they lie in a reference folder now; their entries stay.
    QStringList spared;
};

/// Keep One of Each Group's moves in three steps, so that they may run on a worker while the
/// repository waits. The plans, and the copies to move with their entries, group by group.
struct KeepMoves {
    std::vector<KeepPlan> plans;
    /// The copies that have an entry, in plan order; `copy[k]` is the plan's file of the k-th.
    PlannedMoves planned;
    std::vector<PlannedFile> copy;
    /// The copies of plan g are those from groupBegin[g] to groupBegin[g + 1].
    std::vector<std::size_t> groupBegin;
};

/// What the moves did: an outcome per planned copy, and the plans whose picture to keep was
/// found gone or changed (their copies stay NotReached).
struct KeepMoveOutcomes {
    std::vector<MoveOutcome> copies;
    std::vector<bool> keptGone;
    /// The copies of groups not given up that a stop left untouched.
    std::size_t left = 0;
};

/// The first step, GUI thread: finds the entry of every planned copy. Copies without an entry,
/// or that are the picture kept by path, are left out.
KeepMoves PlanKeepMoves(const CPictureRepository& repository, const std::vector<KeepPlan>& plans);
/// The second step, any thread (the file system only): the checks and moves of TrashAllButKept,
/// group by group, each just before its move. `progress` (may be null) hears each copy and is
/// asked before each file whether to stop: the file in hand is finished, the rest stay.
KeepMoveOutcomes MoveKeepCopies(const KeepMoves& moves, const TrashMover& trash,
                                const ReferenceFolders& reference, ProgressObserver* progress);
/// The third step, GUI thread: each moved copy is heard by `record` (may be empty) and its
/// entry dropped, all at once; what happened to the others, as TrashAllButKept reports it.
KeepOutcome ApplyKeepMoves(CPictureRepository& repository, const KeepMoves& moves,
                           const KeepMoveOutcomes& outcomes, const MoveRecorder& record);

/// Moves the copies of each planned group to the trash and drops their entries (the links to
/// them go with them; the links of the pictures that stay are kept). Just before each move, the
/// kept file and the copy must still be the files planned (SameFileUnchanged), and a copy is
/// never the file of any picture kept: a group whose picture to keep is no longer the file
/// planned is left alone entirely. A copy that lies in a reference folder of `reference` just
/// before its move (ReferenceFolders::ProtectsFile), whatever the plan said, stays. Nothing is
/// removed for good. GUI thread.
KeepOutcome TrashAllButKept(CPictureRepository& repository, const std::vector<KeepPlan>& plans,
                            const TrashFunction& trash = MoveFileToTrash,
                            const ReferenceFolders& reference = {});

}  // namespace vistrel
