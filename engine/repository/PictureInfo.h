#pragma once

#include "FileIdentity.h"
#include "SimilarInfo.h"
#include "signature/SignatureBytes.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace vistrel {

/// One picture entry of the repository: its path (the key), its signature and the links to the
/// entries found similar to it.
struct CPictureInfo {
    /// 3 x side x side bytes, column by column, each pixel red, green, blue; empty when the
    /// picture could not be read.
    SignatureBytes signature;
    /// The file's path exactly as it was added. The repository indexes entries by it, so it is
    /// never changed after the entry was added.
    QString path;
    bool loadError = false;             ///< the picture cannot be read (or could not be shown)
    bool marked = false;                ///< scratch flag of the bulk deletions: the file stayed
    std::vector<CSimilarInfo> similar;  ///< links in the order their results arrived
    /// The file's device and inode when the entry was added; none when it could not be stat'ed.
    /// The repository sets it and indexes entries by it too.
    std::optional<FileKey> file;

    /// The signature's first byte, or null when the entry has no signature.
    const std::uint8_t* SignatureData() const { return signature.data(); }
};

}  // namespace vistrel
