#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace vistrel {

/// Walks a folder tree depth-first on its own thread and hands every picture file to a receiver
/// on the receiver's thread, one file at a time. Links are followed, but each folder is entered
/// and each file (by device and inode) reported once per scan; virtual file systems (/proc,
/// /sys, /dev) are never entered, and names that do not read back as the same bytes are
/// skipped with an error. Start and Stop: the receiver's (GUI) thread.
class CFolderScanner {
public:
    /// What the scan reports. The receiver owns the text once it is called.
    struct Message {
        enum class Kind {
            File,      ///< `text` is the full path of a file whose extension is in the list.
            Error,     ///< `text` says why a folder or an entry could not be read.
            Skipped,   ///< `text` names what was left out on purpose, and why: a virtual file
                       ///< system, a name that cannot be represented exactly.
            Finished,  ///< The whole tree was walked; nothing follows.
        };
        Kind kind = Kind::Finished;
        QString text;
    };

    using Receiver = std::function<void(const Message&)>;

    /// How long the scan waits for the receiver to handle one message before going on, and how
    /// long Stop waits for the scan thread before abandoning it.
    struct Limits {
        std::chrono::milliseconds sendLimit{10000};
        std::chrono::milliseconds stopWait{5000};
    };

    CFolderScanner() = default;
    explicit CFolderScanner(Limits limits) : limits(limits) {}
    CFolderScanner(const CFolderScanner&) = delete;
    CFolderScanner& operator=(const CFolderScanner&) = delete;
    /// Stops a scan that is still running.
    ~CFolderScanner();

    /// Starts scanning `rootFolder` for files whose extension (with its dot, any letter case) is
    /// in `extensions`; the scanner keeps its own copy of the list. Every message reaches
    /// `receiver` through `window`'s event loop, on `window`'s thread, in the order found; none
    /// arrives once Stop has returned. Stop (or destroy) the scanner before `window` goes. True
    /// when the scan thread runs; on a scanner already running it stops that scan and fails.
    bool Start(QObject* window, const QString& rootFolder, const QStringList& extensions,
               Receiver receiver);

    /// Paths of files the receiver already holds, for the next Start: a file among them that the
    /// scan reaches under another name (a hard or symbolic link) is not reported, as a second
    /// name of a file the scan reported is not. The scan thread looks them up.
    void SetPresentFiles(QStringList paths) { presentFiles = std::move(paths); }

    /// Ends the scan, if any: wakes the scan thread and waits up to `stopWait` for it, then
    /// abandons it. Any number of times. True when no scan thread was left behind.
    bool Stop();

    /// True between a successful Start and Stop.
    bool IsRunning() const { return session != nullptr; }

    /// True while the scan thread is still walking or waiting for the receiver.
    bool IsScanning() const;

private:
    struct Session;

    Limits limits;
    QStringList presentFiles;
    /// What the scan thread shares with the receiver's thread; the thread holds its own
    /// reference, so an abandoned thread never reaches freed memory.
    std::shared_ptr<Session> session;
    std::thread thread;
};

}  // namespace vistrel
