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

/// Moves the files of every entry with `loadError` to the trash, with no question, and drops
/// their entries; the links of the others are renumbered. Afterwards `marked` is set exactly on
/// the entries whose files stayed. GUI thread.
void DeleteDamagedFiles(CPictureRepository& repository,
                        const TrashFunction& trash = MoveFileToTrash);

/// The paths of the marked entries, in index order: the files a bulk deletion left behind.
QStringList MarkedPaths(const CPictureRepository& repository);

}  // namespace vistrel
