#pragma once

#include <QByteArray>

namespace vistrel {

/// Copies the regular file `source` into the open folder `folder` (a descriptor, O_PATH will do)
/// as `name`, for a move back from a trash on another volume: with the source's permissions and
/// access and modification times, written under a temporary name and synced before it takes
/// `name`, so that the name never shows a partial file, and never over anything at `name`.
/// Returns 0, or the errno of what failed (EEXIST when `name` is taken); on failure no copy is
/// left behind. The source is left alone. Any thread.
int CopyIntoFolder(const QByteArray& source, int folder, const QByteArray& name);

}  // namespace vistrel
