#pragma once

#include <QString>

#include <sys/types.h>

#include <optional>

namespace vistrel {

/// Which folder a file was in, by device and inode: a folder moved away and replaced by another
/// one, or by a link to another one, under the same name is not the same folder.
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
};

/// The identity of the folder that holds `path` now (links in the folder's path followed);
/// none when the folder cannot be reached. Any thread.
std::optional<FolderIdentity> ReadFolderIdentity(const QString& path);

/// How a file came back, or why it did not.
enum class RestoreOutcome {
    Restored,
    /// Something is at the original path again; it was left alone.
    PathTaken,
    /// The trash no longer holds the file or its record (emptied, or restored by hand).
    NotInTrash,
    /// The trash's record names another place than the one the file came from.
    RecordDiffers,
    /// The original path now leads to another folder than the one the file left (the folder
    /// was moved, or replaced by a link), or to none.
    FolderChanged,
    /// The move back failed (permissions, a full disk).
    Failed,
};

/// Moves `pathInTrash` (a file under a trash's "files" folder) back to `originalPath` and drops
/// its info record, provided the record names that path, the path's folder is still `folder`
/// (the one the file left) and nothing is at the path now. Never overwrites a file; whatever
/// fails, the file stays in the trash. Any thread.
RestoreOutcome RestoreFromTrash(const QString& pathInTrash, const QString& originalPath,
                                const FolderIdentity& folder);

}  // namespace vistrel
