#pragma once

#include "ScanExclusions.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace vistrel {

/// Walks a folder tree depth-first on the calling thread and hands every picture file, and
/// every folder or entry it could not read or left out, to a callback on that thread, in the
/// order found. Links are followed, but each folder is entered and each file (by device and
/// inode) reported once per scan; virtual file systems (/proc, /sys, /dev) are never entered,
/// and names that do not read back as the same bytes are skipped with a message. Entries the
/// exclusions name are left out silently, an excluded folder unopened, and only counted. One
/// scan at a time per scanner.
class CFolderScanner {
public:
    /// What the scan reports.
    struct Message {
        enum class Kind {
            File,      ///< `text` is the full path of a file whose extension is in the list.
            Error,     ///< `text` says why a folder or an entry could not be read.
            Skipped,   ///< `text` names what was left out on purpose, and why: a virtual file
                       ///< system, a name that cannot be represented exactly.
            Finished,  ///< The whole tree was walked; nothing follows. The counts are set.
        };
        Kind kind = Kind::Finished;
        QString text;
        /// Finished only: the picture files (those the scan would have reported) and the
        /// folders that the exclusions left out. What lies inside an excluded folder is not
        /// counted: it is never read.
        std::int64_t excludedFiles = 0;
        std::int64_t excludedFolders = 0;
    };

    /// Called on the scanning thread for each message, in order; the scan waits for it.
    using Receiver = std::function<void(const Message&)>;
    /// Asked between entries; true ends the scan at once. Scanning thread.
    using StopCheck = std::function<bool()>;

    /// Files whose extension (with its dot, any letter case) is in `extensions` are reported;
    /// the scanner keeps its own copy of the list.
    explicit CFolderScanner(QStringList extensions) : extensions(std::move(extensions)) {}

    /// Paths of files the receiver already holds, for the next Scan: a file among them that the
    /// scan reaches under another name (a hard or symbolic link) is not reported, as a second
    /// name of a file the scan reported is not.
    void SetPresentFiles(QStringList paths) { presentFiles = std::move(paths); }

    /// What the next Scan leaves out (ScanExclusions); none until set. The folder given to Scan
    /// is walked whatever the exclusions say: the user chose it.
    void SetExclusions(const QStringList& patterns) { exclusions = ScanExclusions(patterns); }

    /// Walks `rootFolder`, handing each message to `receiver`. True when the whole tree was
    /// walked (the last message is then Finished); false when `stopRequested` (may be empty)
    /// ended it first. Any thread; the scan runs on it.
    bool Scan(const QString& rootFolder, const Receiver& receiver,
              const StopCheck& stopRequested = {}) const;

private:
    QStringList extensions;
    QStringList presentFiles;
    ScanExclusions exclusions;
};

}  // namespace vistrel
