#include "FolderScanner.h"

#include "VirtualFileSystems.h"

#include <QByteArrayView>
#include <QFile>
#include <QMetaObject>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <utility>

namespace vistrel {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::string JoinPath(const std::string& folder, const char* name) {
    if (!folder.empty() && folder.back() == '/') {
        return folder + name;
    }
    return folder + '/' + name;
}

QString ErrorText(const std::string& path, int error) {
    return QFile::decodeName(path.c_str()) + QStringLiteral(": ") +
           QString::fromStdString(std::system_category().message(error));
}

}  // namespace

/// Everything the scan thread uses. The receiver's thread reaches it through the scanner and
/// through the messages in flight, the scan thread through its own reference.
struct CFolderScanner::Session : std::enable_shared_from_this<Session> {
    Session(QObject* window, const QString& rootFolder, const QStringList& extensions,
            const QStringList& presentFiles, Receiver receiver, std::chrono::milliseconds sendLimit)
        : window(window),
          rootFolder(QFile::encodeName(rootFolder).toStdString()),
          extensions(extensions),
          presentFiles(presentFiles),
          receiver(std::move(receiver)),
          sendLimit(sendLimit) {}

    /// The scan thread's routine.
    static void Run(const std::shared_ptr<Session>& self) {
        struct stat info {};
        if (stat(self->rootFolder.c_str(), &info) == 0) {
            self->visited.emplace(info.st_dev, info.st_ino);
        }
        for (const QString& path : std::exchange(self->presentFiles, {})) {
            std::string name = QFile::encodeName(path).toStdString();
            if (stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
                self->present.emplace(std::pair(info.st_dev, info.st_ino), std::move(name));
            }
        }
        self->ScanFolder(self->rootFolder);
        if (!self->IsStopped()) {
            self->Send({Message::Kind::Finished, QString()});
        }
        std::lock_guard lock(self->mutex);
        self->ended = true;
        self->changed.notify_all();
    }

    /// True when `folder` was listed to its end. Returns early once a stop is requested.
    bool ScanFolder(const std::string& folder) {
        DirHandle dir = OpenFolder(folder);
        if (!dir) {
            return false;
        }
        for (;;) {
            if (IsStopped()) {
                return false;
            }
            errno = 0;
            const dirent* entry = readdir(dir.get());
            if (entry == nullptr) {
                if (errno != 0) {
                    // A listing that fails half-way is given up rather than retried: readdir
                    // gives no way to resume it safely.
                    Send({Message::Kind::Error, ErrorText(folder, errno)});
                    return false;
                }
                return true;
            }
            if (entry->d_name[0] == '.') {
                continue;
            }
            const std::string path = JoinPath(folder, entry->d_name);
            struct stat info {};
            if (stat(path.c_str(), &info) != 0) {
                // A dangling link, or an entry removed since the listing began.
                Send({Message::Kind::Error, ErrorText(path, errno)});
                continue;
            }
            if (S_ISDIR(info.st_mode)) {
                // Links and bind mounts can lead back into the tree; each folder is walked once.
                if (IsReadableName(folder, entry->d_name) &&
                    visited.emplace(info.st_dev, info.st_ino).second) {
                    ScanFolder(path);
                }
                continue;
            }
            // Only regular files: opening a FIFO or a device named like a picture would block
            // the GUI thread that reads it. A file reached again through a hard or symbolic
            // link is reported once: twice, it would be its own near-copy.
            if (S_ISREG(info.st_mode) && HasListedExtension(entry->d_name) &&
                IsReadableName(folder, entry->d_name) && IsNewFile(info, path) &&
                reported.emplace(info.st_dev, info.st_ino).second) {
                Send({Message::Kind::File, QFile::decodeName(path.c_str())});
            }
        }
    }

    /// The listing of `folder`, or null (with an error sent) when it cannot be listed or lies
    /// on a virtual file system.
    DirHandle OpenFolder(const std::string& folder) {
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            Send({Message::Kind::Error, ErrorText(folder, errno)});
            return nullptr;
        }
        struct stat info {};
        if (fstat(fd, &info) == 0 && virtualFileSystems.Holds(fd, info.st_dev)) {
            close(fd);
            Send({Message::Kind::Skipped,
                  QFile::decodeName(folder.c_str()) +
                      QStringLiteral(": a virtual file system, not scanned")});
            return nullptr;
        }
        DirHandle dir(fdopendir(fd));
        if (!dir) {
            const int error = errno;
            close(fd);
            Send({Message::Kind::Error, ErrorText(folder, error)});
        }
        return dir;
    }

    /// True when `name` reads back as the same bytes once turned into text; any other name
    /// would reach the window as a different file (or as the same text as another name), so it
    /// is skipped with a warning that names its folder.
    bool IsReadableName(const std::string& folder, const char* name) {
        const QString text = QFile::decodeName(name);
        if (QFile::encodeName(text) == QByteArrayView(name)) {
            return true;
        }
        Send({Message::Kind::Skipped,
              QFile::decodeName(folder.c_str()) + QStringLiteral(": \"") + text +
                  QStringLiteral("\" skipped, its name is not valid in the system's encoding")});
        return false;
    }

    /// False for a file the receiver already holds under another name. Under its own name it is
    /// reported, and the receiver leaves it alone.
    bool IsNewFile(const struct stat& info, const std::string& path) const {
        const auto known = present.find(std::pair(info.st_dev, info.st_ino));
        return known == present.end() || known->second == path;
    }

    bool HasListedExtension(const char* name) const {
        const char* dot = std::strrchr(name, '.');
        if (dot == nullptr) {
            return false;
        }
        const QString extension = QFile::decodeName(dot);
        return std::any_of(extensions.cbegin(), extensions.cend(), [&](const QString& listed) {
            return extension.compare(listed, Qt::CaseInsensitive) == 0;
        });
    }

    /// Hands `message` to the receiver's thread and waits until it was handled, the send limit
    /// passed, or a stop was requested. A message the receiver has not handled in time is still
    /// handled later, in order, unless the scan is stopped first.
    void Send(Message message) {
        std::unique_lock lock(mutex);
        if (stopped) {
            return;
        }
        const std::uint64_t number = ++sent;
        // Posting under the lock: once Stop has set `stopped`, nothing reaches the window.
        QMetaObject::invokeMethod(
            window,
            [self = shared_from_this(), message = std::move(message), number] {
                self->Deliver(message, number);
            },
            Qt::QueuedConnection);
        changed.wait_for(lock, sendLimit, [&] { return stopped || handled >= number; });
    }

    /// Receiver's thread.
    void Deliver(const Message& message, std::uint64_t number) {
        if (!IsStopped()) {
            receiver(message);
        }
        std::lock_guard lock(mutex);
        handled = std::max(handled, number);
        changed.notify_all();
    }

    bool IsStopped() const {
        std::lock_guard lock(mutex);
        return stopped;
    }

    void RequestStop() {
        std::lock_guard lock(mutex);
        stopped = true;
        changed.notify_all();
    }

    /// True when the scan thread ended within `timeout`.
    bool WaitForEnd(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return ended; });
    }

    bool HasEnded() const {
        std::lock_guard lock(mutex);
        return ended;
    }

    QObject* const window;
    const std::string rootFolder;
    const QStringList extensions;
    /// Scan thread only: handed over by Start, turned into `present` as the scan begins.
    QStringList presentFiles;
    const Receiver receiver;
    const std::chrono::milliseconds sendLimit;
    /// Scan thread only: the folders entered and the files reported, by device and inode.
    std::set<std::pair<dev_t, ino_t>> visited;
    std::set<std::pair<dev_t, ino_t>> reported;
    /// The receiver's files by device and inode, with the name it holds each under.
    std::map<std::pair<dev_t, ino_t>, std::string> present;
    const VirtualFileSystems virtualFileSystems;

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool stopped = false;
    bool ended = false;
    std::uint64_t sent = 0;
    std::uint64_t handled = 0;
};

CFolderScanner::~CFolderScanner() {
    Stop();
}

bool CFolderScanner::Start(QObject* window, const QString& rootFolder,
                           const QStringList& extensions, Receiver receiver) {
    if (session != nullptr || thread.joinable()) {
        Stop();
        return false;
    }
    if (window == nullptr || !receiver) {
        return false;
    }
    auto started = std::make_shared<Session>(window, rootFolder, extensions, presentFiles,
                                             std::move(receiver), limits.sendLimit);
    try {
        thread = std::thread(&Session::Run, started);
    } catch (const std::system_error&) {
        return false;
    }
    session = std::move(started);
    return true;
}

bool CFolderScanner::Stop() {
    bool joined = true;
    if (session != nullptr) {
        session->RequestStop();
        if (thread.joinable()) {
            if (session->WaitForEnd(limits.stopWait)) {
                thread.join();
            } else {
                // Stuck in the file system: it keeps its session alive and, being stopped, can
                // no longer post anything, so it is safe to leave behind.
                thread.detach();
                joined = false;
            }
        }
    }
    session.reset();
    return joined;
}

bool CFolderScanner::IsScanning() const {
    return session != nullptr && !session->HasEnded();
}

}  // namespace vistrel
