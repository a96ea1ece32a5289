#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vistrel {

class CPictureRepository;

/// Moves one file out of the user's way; true exactly when the file is gone from its place.
using TrashFunction = std::function<bool(const QString& path)>;

/// Moves `path` to the desktop trash (never removes it for good); true when it went.
bool MoveFileToTrash(const QString& path);
/// As MoveFileToTrash; `pathInTrash` receives where the trash keeps the file.
bool MoveFileToTrashTracked(const QString& path, QString* pathInTrash);

/// Moves the files of every entry that is linked to another one to the trash, with no question,
/// and drops their entries. Every entry loses its links first, whatever happens to the files.
/// Afterwards `marked` is set exactly on the entries whose files stayed. GUI thread.
void DeleteSimilarFiles(CPictureRepository& repository,
                        const TrashFunction& trash = MoveFileToTrash);

/// Moves the files of every entry with `loadError` that is still damaged (IsDamagedPictureNow)
/// to the trash, with no question, and drops their entries; the links of the others are
/// renumbered. Afterwards `marked` is set exactly on the entries whose files stayed. GUI thread.
void DeleteDamagedFiles(CPictureRepository& repository,
                        const TrashFunction& trash = MoveFileToTrash);

/// True when `path` is a regular file that can be opened and whose picture cannot be decoded
/// now (a fresh decode at `side`, never the signature cache): a missing or unreachable file is
/// not a damaged picture. Any thread.
bool IsDamagedPictureNow(const QString& path, int side);

/// The paths of the marked entries, in index order: the files a bulk deletion left behind.
QStringList MarkedPaths(const CPictureRepository& repository);

}  // namespace vistrel
