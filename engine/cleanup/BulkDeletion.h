#pragma once

#include "TrashMoves.h"
#include "progress/ProgressObserver.h"
#include "settings/ReferenceFolders.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace vistrel {

class CPictureRepository;

/// Moves `path` to the desktop trash (never removes it for good); true when it went.
bool MoveFileToTrash(const QString& path);
/// As MoveFileToTrash; `pathInTrash` receives where the trash keeps the file.
bool MoveFileToTrashTracked(const QString& path, QString* pathInTrash);

/// Tells whether the file of the entry at an index still holds the picture its signature was
/// made from.
using SameContentCheck = std::function<bool(std::int32_t index)>;

/// For each entry of `repository` (by index), whether `wanted` asks about it and its file still
/// gives the very signature the entry holds, decoded afresh (never from the signature cache).
/// Copies what it needs first, so the decoding may run on any thread while the repository
/// stays as it is. The checker reports each file it read to `progress`, which may stop it (the
/// rest count as changed).
std::function<std::vector<bool>(ProgressObserver* progress)> SameContentChecker(
    const CPictureRepository& repository, const std::vector<bool>& wanted);

/// The entries Delete All Similar would move: those linked to another one, by index.
std::vector<bool> LinkedEntries(const CPictureRepository& repository);

/// Moves the files of every entry that is linked to another one to the trash, with no question,
/// and drops their entries; only while the entry's file and that of one of its partners still
/// hold the pictures they were compared as (`sameContent`; by default a fresh decode on this
/// thread), so that a pair gone stale moves nothing. Every entry loses its links first,
/// whatever happens to the files. A file that lies in a reference folder of `reference` just
/// before its move (ReferenceFolders::ProtectsFile) stays. Returns the protected files that
/// would have gone; afterwards `marked` is set exactly on the other entries whose files
/// stayed. GUI thread.
QStringList DeleteSimilarFiles(CPictureRepository& repository,
                               const TrashFunction& trash = MoveFileToTrash,
                               SameContentCheck sameContent = {},
                               const ReferenceFolders& reference = {});

/// Delete All Similar in three steps, so that the moves may run on a worker while the
/// repository waits: this first step, on the GUI thread, clears every mark and link as
/// DeleteSimilarFiles does and returns the entries to move, in index order.
PlannedMoves PlanSimilarDeletion(CPictureRepository& repository, SameContentCheck sameContent);
/// The second step, on any thread: moves the planned files in order, each unless it lies in a
/// reference folder of `reference` just before its move. Stops between two files as WalkMoves.
std::vector<MoveOutcome> MoveSimilarFiles(const PlannedMoves& planned, const TrashMover& trash,
                                          const ReferenceFolders& reference,
                                          ProgressObserver* progress);

/// Delete All Damaged in the same three steps: the entries with `loadError`, marks cleared. GUI
/// thread.
PlannedMoves PlanDamagedDeletion(CPictureRepository& repository);
/// Moves each planned file unless it lies in a reference folder or is no longer damaged
/// (IsDamagedPictureNow at `side`) just before its move. Any thread, as MoveSimilarFiles.
std::vector<MoveOutcome> MoveDamagedFiles(const PlannedMoves& planned, int side,
                                          const TrashMover& trash,
                                          const ReferenceFolders& reference,
                                          ProgressObserver* progress);

/// Moves the files of every entry with `loadError` that is still damaged (IsDamagedPictureNow)
/// to the trash, with no question, and drops their entries; the links of the others are
/// renumbered. A file that lies in a reference folder of `reference` just before its move
/// stays. Returns the protected files that would have gone; afterwards `marked` is set exactly
/// on the other entries whose files stayed. GUI thread.
QStringList DeleteDamagedFiles(CPictureRepository& repository,
                               const TrashFunction& trash = MoveFileToTrash,
                               const ReferenceFolders& reference = {});

/// True when `path` is a regular file that can be opened and whose picture cannot be decoded
/// now (a fresh decode at `side`, never the signature cache): a missing or unreachable file is
/// not a damaged picture. Any thread.
bool IsDamagedPictureNow(const QString& path, int side);

/// The paths of the marked entries, in index order: the files a bulk deletion left behind.
QStringList MarkedPaths(const CPictureRepository& repository);

}  // namespace vistrel
