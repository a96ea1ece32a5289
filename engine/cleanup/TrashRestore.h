#pragma once

#include <QString>

namespace vistrel {

/// How a file came back, or why it did not.
enum class RestoreOutcome {
    Restored,
    /// Something is at the original path again; it was left alone.
    PathTaken,
    /// The trash no longer holds the file or its record (emptied, or restored by hand).
    NotInTrash,
    /// The trash's record names another place than the one the file came from.
    RecordDiffers,
    /// The move back failed (permissions, a full disk, a folder that is gone).
    Failed,
};

/// Moves `pathInTrash` (a file under a trash's "files" folder) back to `originalPath` and drops
/// its info record, provided the record names that path and nothing is there now. Never
/// overwrites a file.
RestoreOutcome RestoreFromTrash(const QString& pathInTrash, const QString& originalPath);

}  // namespace vistrel
