#pragma once

#include "PictureGroups.h"
#include "comparison/kernels/Orientation.h"
#include "repository/FileIdentity.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vistrel {

class CPictureRepository;

/// The threshold under which a linked picture is a near-copy of another: the default threshold's
/// (4: factors below 5.12), whatever threshold the test used. A lax test groups pictures that
/// only look alike; only near-copies go to the trash without the user choosing them.
inline constexpr float kNearCopyThresholdPercent = 4.0f;

/// True when a factor (0..255) is that of a near-copy. Any thread.
bool IsNearCopyFactor(float factor);

/// A picture of a group that is a near-copy of another picture of the group.
struct NearCopy {
    std::size_t position = 0;  ///< its position in the group
    /// The orientation of this picture that looks like the other one.
    Orientation orientation = Orientation::None;
};

/// For each picture of `group` (by position), its near-copies in the group: the pictures linked
/// to it directly with a factor below the limit of kNearCopyThresholdPercent, taken exactly from
/// the two signatures in the link's orientation and in the mode the links were found in
/// (`shapeOnly`). GUI thread (reads the repository).
std::vector<std::vector<NearCopy>> ListNearCopies(const CPictureRepository& repository,
                                                  const PictureGroup& group, bool shapeOnly);

/// What Keep One of Each Group does with one picture of a group.
enum class KeepAction {
    Keep,   ///< the picture kept
    Trash,  ///< a near-copy of the picture kept, or chosen by the user: to the trash
    Stay,   ///< similar, but not a near-copy of the picture kept: left where it is
    Gone,   ///< nothing is at its path any more
    /// A picture that would go, left where it is as it lies in a reference folder
    /// (SpareProtected).
    Protected,
};

/// The action for each picture of `group` (by position) when the picture at `kept` stays.
/// `nearCopies` is ListNearCopies of the group; `handPicked` (by position, may be empty) the
/// pictures the user chose to move although they are no near-copies. A file that is the kept
/// file itself under another path always stays. When the picture to keep cannot be read, every
/// picture stays. Any thread.
std::vector<KeepAction> DecideGroup(const std::vector<KeepCandidate>& group,
                                    const std::vector<std::vector<NearCopy>>& nearCopies,
                                    std::size_t kept, const std::vector<bool>& handPicked = {});

/// One file of a plan, as it was when the plan was made.
struct PlannedFile {
    QString path;
    /// The file when its facts were read; a file that no longer matches is left alone.
    std::optional<FileIdentity> identity;
    /// For a copy: the orientation in which it looks like the picture kept.
    Orientation orientation = Orientation::None;
    /// For a copy: the user chose it, it is no near-copy of the picture kept.
    bool byHand = false;
};

/// One group as Keep One of Each Group will treat it: the picture that stays and the files that
/// go to the trash.
struct KeepPlan {
    PlannedFile kept;
    std::vector<PlannedFile> copies;
};

/// The plan of a group from its actions (DecideGroup); nothing when no file goes. Any thread.
std::optional<KeepPlan> MakeKeepPlan(const std::vector<KeepCandidate>& group,
                                     const std::vector<std::vector<NearCopy>>& nearCopies,
                                     const std::vector<KeepAction>& actions,
                                     const std::vector<bool>& handPicked = {});

/// True when `now` is the file `then` was, with the same content as far as the file system
/// tells: device, inode, size, modification and change times. Any thread.
bool SameFileUnchanged(const std::optional<FileIdentity>& then,
                       const std::optional<FileIdentity>& now);

}  // namespace vistrel
