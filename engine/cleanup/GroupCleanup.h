#pragma once

#include "BulkDeletion.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace vistrel {

class CPictureRepository;

/// One group as Keep One of Each Group will treat it: the picture that stays and the ones that
/// go to the trash, by path.
struct KeepPlan {
    QString kept;
    QStringList others;
};

/// What TrashAllButKept did.
struct KeepOutcome {
    /// The files moved to the trash; their entries are gone.
    QStringList moved;
    /// The files the trash refused; their entries stay.
    QStringList notMoved;
    /// The picture to keep of each group left alone because its file was gone.
    QStringList keptGone;
};

/// Moves the other pictures of each planned group to the trash and drops their entries (the
/// links to them go with them; the links of the pictures that stay are kept). A group whose
/// picture to keep is no longer a file is left alone entirely. Nothing is removed for good.
/// GUI thread.
KeepOutcome TrashAllButKept(CPictureRepository& repository, const std::vector<KeepPlan>& plans,
                            const TrashFunction& trash = MoveFileToTrash);

}  // namespace vistrel
