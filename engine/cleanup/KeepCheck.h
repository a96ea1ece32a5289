#pragma once

#include "KeepPlan.h"
#include "progress/ProgressObserver.h"

#include <QStringList>

#include <functional>
#include <vector>

namespace vistrel {

/// Keep One of Each Group's plans checked against the files as they are now.
struct KeepCheck {
    /// What still holds: each kept picture can be read and is the file it was, each copy is the
    /// file it was and still a near-copy of the kept picture (or chosen by the user).
    std::vector<KeepPlan> plans;
    /// The picture to keep of each group left alone: gone, changed or unreadable now.
    QStringList keptChanged;
    /// The files left where they are: changed since the plan was made, the kept file itself
    /// under another path, unreadable, or no longer a near-copy of the picture kept.
    QStringList notCopies;
};

/// Checks `plans` against the files now: every file's identity (FileIdentity) must match the
/// plan's, and each picture is decoded afresh (never from the signature cache), so that a copy
/// goes only when its content is still a near-copy of the kept picture's, in the orientation
/// planned and the mode `shapeOnly`. Any thread: it decodes every file, so run it off the GUI
/// thread. A stop through `progress` leaves what is unchecked out of the plans.
KeepCheck CheckKeepPlans(const std::vector<KeepPlan>& plans, bool shapeOnly,
                         ProgressObserver* progress = nullptr);

}  // namespace vistrel
