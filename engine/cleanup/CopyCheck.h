#pragma once

#include <QString>

#include <cstdint>

namespace vistrel {

class CPictureRepository;

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

/// True when entry `index` has similar pictures and none of the others of its group (the entries
/// joined to it by links, directly or through others, as ListPictureGroups finds them) can be
/// read now: the entry's file may be the last copy of the picture. Reads the files' headers until
/// the first readable one. GUI thread (the repository's thread).
bool IsOnlyReadableCopy(const CPictureRepository& repository, std::int32_t index);

}  // namespace vistrel
