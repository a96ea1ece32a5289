#pragma once

#include <QString>

namespace vistrel {

/// Whether a picture file could still stand in for a copy of it that is about to go.
enum class CopyState {
    Readable,
    /// Nothing is at the path, or something that is not a regular file.
    Missing,
    /// A regular file whose picture header cannot be read (or that cannot be opened).
    Unreadable,
};

/// Checks `path` by a stat and the picture's header, no decoding. Any thread.
CopyState CheckPictureCopy(const QString& path);

}  // namespace vistrel
