#include "FolderScanner.h"

#include "VirtualFileSystems.h"

#include <QByteArrayView>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
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

/// One walk: what it has seen so far, on the scanning thread alone.
struct ScanWalk {
    using Message = CFolderScanner::Message;

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
            if (!exclusions.IsEmpty() && exclusions.Excludes(entry->d_name, path)) {
                CountExcluded(path, entry->d_name);
                continue;
            }
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
            // whoever reads it. A file reached again through a hard or symbolic link is
            // reported once: twice, it would be its own near-copy.
            if (S_ISREG(info.st_mode) && HasListedExtension(entry->d_name) &&
                IsReadableName(folder, entry->d_name) && IsNewFile(info, path) &&
                reported.emplace(info.st_dev, info.st_ino).second) {
                Send({Message::Kind::File, QFile::decodeName(path.c_str())});
            }
        }
    }

    /// Counts an entry the exclusions leave out: a folder (never opened), or a file the scan
    /// would have reported. An entry that cannot be looked at is left out without a word, as
    /// the user asked.
    void CountExcluded(const std::string& path, const char* name) {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) {
            return;
        }
        if (S_ISDIR(info.st_mode)) {
            ++excludedFolders;
        } else if (S_ISREG(info.st_mode) && HasListedExtension(name)) {
            ++excludedFiles;
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
    /// would reach the receiver as a different file (or as the same text as another name), so
    /// it is skipped with a warning that names its folder.
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

    void Send(const Message& message) {
        if (!IsStopped()) {
            receiver(message);
        }
    }

    bool IsStopped() const { return stopRequested && stopRequested(); }

    const QStringList& extensions;
    const ScanExclusions& exclusions;
    const CFolderScanner::Receiver& receiver;
    const CFolderScanner::StopCheck& stopRequested;
    /// The folders entered and the files reported, by device and inode.
    std::set<std::pair<dev_t, ino_t>> visited;
    std::set<std::pair<dev_t, ino_t>> reported;
    /// The receiver's files by device and inode, with the name it holds each under.
    std::map<std::pair<dev_t, ino_t>, std::string> present;
    std::int64_t excludedFiles = 0;
    std::int64_t excludedFolders = 0;
    const VirtualFileSystems virtualFileSystems;
};

}  // namespace

bool CFolderScanner::Scan(const QString& rootFolder, const Receiver& receiver,
                          const StopCheck& stopRequested) const {
    if (!receiver) {
        return false;
    }
    ScanWalk walk{extensions, exclusions, receiver, stopRequested, {}, {}, {}, {}, {}, {}};
    const std::string root = QFile::encodeName(rootFolder).toStdString();
    struct stat info {};
    if (stat(root.c_str(), &info) == 0) {
        walk.visited.emplace(info.st_dev, info.st_ino);
    }
    for (const QString& path : presentFiles) {
        std::string name = QFile::encodeName(path).toStdString();
        if (stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            walk.present.emplace(std::pair(info.st_dev, info.st_ino), std::move(name));
        }
    }
    walk.ScanFolder(root);
    if (walk.IsStopped()) {
        return false;
    }
    receiver({Message::Kind::Finished, QString(), walk.excludedFiles, walk.excludedFolders});
    return true;
}

}  // namespace vistrel
