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
