#pragma once

#include "TrashRestore.h"
#include "progress/ProgressObserver.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vistrel {

class CPictureRepository;
struct CPictureInfo;

/// Moves one file out of the user's way; true exactly when the file is gone from its place.
using TrashFunction = std::function<bool(const QString& path)>;
/// Moves a file to the trash; `pathInTrash` receives where it went (left empty when unknown).
using TrashMover = std::function<bool(const QString& path, QString* pathInTrash)>;

/// What became of one file a clean-up meant to move, decided just before its move.
enum class MoveVerdict : std::uint8_t {
    NotReached,  ///< the clean-up was stopped before it: untouched
    Moved,       ///< in the trash now
    Refused,     ///< the trash refused it: still in place
    Protected,   ///< left in place, as it lies in a reference folder now
    Changed,     ///< left in place, as it is no longer the file planned
};

/// One file's move as the thread that made it saw it: what Undo needs to put it back.
struct MoveOutcome {
    MoveVerdict verdict = MoveVerdict::NotReached;
    /// Where the trash keeps the file; empty when not moved, or when the mover does not say.
    QString pathInTrash;
    /// The folder the file left, read just before the move.
    std::optional<FolderIdentity> folder;
};

/// The files a clean-up means to move, in the order they go, with the entries they had when
/// the clean-up was planned.
struct PlannedMoves {
    std::vector<std::int32_t> indexes;
    std::vector<QString> paths;
};

/// Hears each file moved, with its entry, while the moves are applied to the repository: the
/// record Undo works from. GUI thread.
using MoveRecorder = std::function<void(const CPictureInfo& entry, const MoveOutcome& outcome)>;

/// A tracked mover made of a plain trash function (which keeps its own record, if any).
TrashMover TrackedBy(TrashFunction trash);

/// Moves `path` with `mover`, noting the folder it leaves and where it went. Any thread.
MoveOutcome MoveTracked(const QString& path, const TrashMover& mover);

/// Makes `count` moves in order on the calling thread: `move(k)` checks the k-th file and moves
/// it or not. `progress` (may be null) hears each one done and is asked between two moves
/// whether to stop: then the file in hand has been finished and the rest stay NotReached. Any
/// thread; `move` touches the file system only, never a repository.
std::vector<MoveOutcome> WalkMoves(std::size_t count,
                                   const std::function<MoveOutcome(std::size_t k)>& move,
                                   ProgressObserver* progress);

/// Applies the outcome of `planned` moves to `repository`: each moved file is heard by
/// `record` (may be empty) and its entry dropped, all at once; a refused or changed file's
/// entry is marked; a file not reached is left as it is. Returns the protected files. GUI
/// thread.
QStringList ApplyMoves(CPictureRepository& repository, const PlannedMoves& planned,
                       const std::vector<MoveOutcome>& outcomes, const MoveRecorder& record);

/// How many outcomes have `verdict`. Any thread.
std::size_t CountVerdicts(const std::vector<MoveOutcome>& outcomes, MoveVerdict verdict);

}  // namespace vistrel
