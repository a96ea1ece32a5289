#pragma once

#include "progress/ProgressObserver.h"
#include "signature/SigningLimits.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace vistrel {

class CPictureRepository;

/// How an import is made, as plain values the caller reads from its settings.
struct ImportOptions {
    /// The extensions a folder scan takes (with the dot, any letter case), as
    /// GetAllEnabledExtensions gives them. Not used for single pictures.
    QStringList extensions;
    /// Threads that make the signatures (0: one per core), the decode budget, and the signature
    /// cache to use (null for none).
    SigningLimits signing;
    /// What the folder scan skips: folder names and shell-style patterns on the path, as the
    /// user keeps them (UserSettings::exclusions). Not used for single pictures.
    QStringList exclusions{};
};

/// What an import met besides the pictures it added, in the order it met them.
struct ImportMessage {
    enum class Kind {
        UnreadFolder,       ///< `text` says why a folder or an entry in it could not be read.
        Skipped,            ///< `text` names what the scan left out on purpose, and why.
        UnreadablePicture,  ///< `text` is the path of a picture added with `loadError`.
        /// Once, when the whole tree was scanned and the exclusions left something out:
        /// `excludedFiles` picture files and `excludedFolders` folders (not their content),
        /// `text` empty.
        Excluded
    };
    Kind kind;
    QString text;
    std::int64_t excludedFiles = 0;
    std::int64_t excludedFolders = 0;
};

/// Called on the import's thread for each message, as it is met.
using ImportMessages = std::function<void(const ImportMessage&)>;

/// Adds the picture files of the folder tree `folder` to `repository` in the order the scan
/// finds them (CFolderScanner: depth-first, each file once), their signatures made by a
/// SignaturePipeline; the entries are those of a serial making, one per file (FindFile). A
/// file the repository holds already under its own path keeps its turn and is left as it is;
/// under another path it is not reported by the scan. `observer` hears each file handled (done,
/// the files found so far, the path) and may stop the import, which drops what is not added
/// yet. True when the whole tree was scanned and added. Runs on the calling thread, which owns
/// the repository for the time of the call; the pipeline's workers only read picture files.
bool ImportFolder(CPictureRepository& repository, const QString& folder,
                  const ImportOptions& options, ProgressObserver& observer,
                  const ImportMessages& messages = {});

/// As ImportFolder for a list of picture files, added in their order (single pictures: Add To
/// Repository on a file, Search Similar, a picture on the command line). True unless stopped.
bool ImportPictures(CPictureRepository& repository, const std::vector<QString>& paths,
                    const ImportOptions& options, ProgressObserver& observer,
                    const ImportMessages& messages = {});

}  // namespace vistrel
