#pragma once

#include "KeepPlan.h"
#include "PictureGroups.h"
#include "settings/ReferenceFolders.h"

#include <QString>

#include <cstddef>
#include <vector>

namespace vistrel {

/// The reference folder, as the user gave it, under which `path` lies now (links followed, as
/// ReferenceFolders::ProtectsFile judges), or an empty string when none does. Reads the file
/// system: for one file just before it moves, or a tooltip. Any thread.
QString ProtectingFolder(const ReferenceFolders& reference, const QString& path);

/// Which pictures of `group` (by position) lie under a reference folder now
/// (ReferenceFolders::ProtectsFile). All false, with no file system access, when there is no
/// reference folder. Any thread.
std::vector<bool> ProtectedPictures(const std::vector<KeepCandidate>& group,
                                    const ReferenceFolders& reference);

/// The picture to keep once protection is weighed, after `rule` has chosen `chosen`: that one
/// when it is protected or no protected picture can be kept, else the protected picture that
/// can be kept which `rule` prefers. A group that holds a protected picture keeps it, and its
/// near-copies elsewhere may go. Any thread.
std::size_t KeepProtectedPicture(const std::vector<KeepCandidate>& group,
                                 const std::vector<bool>& isProtected, KeepRule rule,
                                 std::size_t chosen);

/// Leaves every protected picture that `actions` (DecideGroup's) would move where it is: its
/// action becomes KeepAction::Protected. Any thread.
void SpareProtected(std::vector<KeepAction>& actions, const std::vector<bool>& isProtected);

}  // namespace vistrel
