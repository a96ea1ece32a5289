#pragma once

#include "progress/ProgressObserver.h"
#include "signature/SigningLimits.h"

#include <QString>

#include <functional>
#include <memory>

class QIODevice;

namespace vistrel {

class CPictureRepository;

/// The loader thread's parameter block: filled on the GUI thread before the thread starts, then
/// used by LoadRepositoryThread alone until it calls `finished`.
struct LoadParams {
    CPictureRepository* repository = nullptr;  ///< the repository to fill; not owned
    QString path;                              ///< the repository file to read
    /// Called once, on the loader thread, as its last action: after its last use of the
    /// repository and after `succeeded` is set. May be empty.
    std::function<void(bool succeeded)> finished;
    bool succeeded = false;  ///< the whole file was read; set before `finished` is called
    /// Hears how many pictures are done of the file's total (nothing until the file is read)
    /// and may stop the load, which then fails as a broken file does (the repository emptied);
    /// not owned, may be null.
    ProgressObserver* observer = nullptr;
    /// Where the signatures are looked up before a picture is decoded, and kept after; null
    /// for none.
    std::shared_ptr<SignatureCache> cache;
};

/// Thread routine of a repository load: replaces the entries of `params->repository` with those
/// of the file `params->path` (computing every signature again), then calls `params->finished`.
/// Anything but a regular file (a FIFO, a device, a folder) is refused without being read.
/// After any failure the repository is empty. Returns 1 on success, 0 on failure. Runs on the
/// loader thread, which is the repository's only user until it calls `finished`.
int LoadRepositoryThread(LoadParams* params);

/// Replaces the entries of `repository` with those of the repository file read from `file`,
/// which is open for reading; the repository then counts as unmodified. A record naming a file
/// that an earlier record holds under another path (same device and inode) is left out with its
/// links, and the repository then counts as modified, since it differs from the file. False,
/// with the repository emptied and `modified` as it was before, when the file is not a
/// repository file or is cut short (see ParseRepositoryFile). Any thread that owns the repository
/// for the time of the call. `signing`: how the signatures are made (threads, 0 for one per
/// core; the signature cache, null for none). `observer`, when given, hears of each picture done
/// and may stop the load between pictures: false then too, the repository emptied.
bool ReadRepository(CPictureRepository& repository, QIODevice& file, SigningLimits signing = {},
                    ProgressObserver* observer = nullptr);

}  // namespace vistrel
