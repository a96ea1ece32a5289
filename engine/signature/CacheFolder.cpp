#include "CacheFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vistrel {

namespace {

QString SystemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray Encoded(const QString& path) {
    return QFile::encodeName(path);
}

// Whose a folder or file is and who may write it; `what` names it in the reason.
QString OwnerDistrust(const struct stat& status, const QString& what) {
    if (status.st_uid != geteuid()) {
        return QStringLiteral("%1 belongs to another user").arg(what);
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        // Another user could put a database of their own there, or change this one.
        return QStringLiteral("other users may write %1").arg(what);
    }
    return {};
}

}  // namespace

QString MakePrivateFolder(const QString& folder) {
    const QString absolute = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    // From the top down, so that each folder made gets 0700 whatever the umask is.
    QString made;
    for (const QString& part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        made += QLatin1Char('/') + part;
        struct stat status {};
        if (stat(Encoded(made).constData(), &status) == 0) {
            if (!S_ISDIR(status.st_mode)) {
                return SystemReason(ENOTDIR);
            }
            continue;
        }
        if (errno != ENOENT) {
            return SystemReason(errno);
        }
        if (mkdir(Encoded(made).constData(), 0700) != 0 && errno != EEXIST) {
            return SystemReason(errno);
        }
    }
    return {};
}

QString FolderDistrust(const QString& folder) {
    struct stat status {};
    if (stat(Encoded(folder).constData(), &status) != 0) {
        return SystemReason(errno);
    }
    return OwnerDistrust(status, QStringLiteral("its folder"));
}

QString FileDistrust(const QString& file) {
    struct stat status {};
    if (lstat(Encoded(file).constData(), &status) != 0) {
        return errno == ENOENT ? QString() : SystemReason(errno);
    }
    const QString what = QFileInfo(file).fileName();
    if (S_ISLNK(status.st_mode)) {
        return QStringLiteral("%1 is a symbolic link").arg(what);
    }
    if (!S_ISREG(status.st_mode)) {
        return QStringLiteral("%1 is not a regular file").arg(what);
    }
    return OwnerDistrust(status, what);
}

std::uint64_t FreeSpaceFloor(std::uint64_t volumeBytes) {
    constexpr std::uint64_t kMostFloor = std::uint64_t{1} << 30;
    return std::min(volumeBytes / 20, kMostFloor);
}

bool LeavesFreeSpace(std::uint64_t freeBytes, std::uint64_t volumeBytes, std::uint64_t bytes) {
    return freeBytes >= bytes && freeBytes - bytes >= FreeSpaceFloor(volumeBytes);
}

std::optional<VolumeSpace> SpaceOf(const QString& folder) {
    struct statvfs volume {};
    if (statvfs(Encoded(folder).constData(), &volume) != 0) {
        return std::nullopt;
    }
    VolumeSpace space;
    space.freeBytes = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
    space.volumeBytes = static_cast<std::uint64_t>(volume.f_blocks) * volume.f_frsize;
    space.readOnly = (volume.f_flag & ST_RDONLY) != 0;
    return space;
}

QStringList CacheFiles(const QString& database) {
    const QFileInfo info(database);
    QStringList files;
    // The log before the database: see RemoveCacheFiles.
    for (const QString& name :
         {database + QStringLiteral("-wal"), database + QStringLiteral("-shm"), database}) {
        struct stat status {};
        if (lstat(Encoded(name).constData(), &status) == 0) {
            files << name;
        }
    }
    const QStringList aside = QDir(info.absolutePath())
                                  .entryList({info.fileName() + QStringLiteral(".damaged-*")},
                                             QDir::Files | QDir::System);
    for (const QString& name : aside) {
        files << info.absolutePath() + QLatin1Char('/') + name;
    }
    return files;
}

std::int64_t DiskBytesOf(const QStringList& files) {
    std::int64_t bytes = 0;
    for (const QString& file : files) {
        struct stat status {};
        if (lstat(Encoded(file).constData(), &status) == 0) {
            bytes += static_cast<std::int64_t>(status.st_blocks) * 512;
        }
    }
    return bytes;
}

bool DatabaseInUse(const QString& database) {
    const int descriptor = open(Encoded(database + QStringLiteral("-shm")).constData(),
                                O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        return false;  // no shared memory: no connection in write-ahead mode
    }
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 128;
    probe.l_len = 1;
    // Asks who would stand in the way of a write lock; this process's own locks never do.
    const bool held = fcntl(descriptor, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    close(descriptor);
    return held;
}

QString RemoveCacheFiles(const QString& database, bool withDatabase) {
    const QString base = QFileInfo(database).fileName();
    for (const QString& file : CacheFiles(database)) {
        const bool setAside =
            QFileInfo(file).fileName().startsWith(base + QStringLiteral(".damaged-"));
        if (!withDatabase && !setAside) {
            continue;
        }
        if (unlink(Encoded(file).constData()) != 0 && errno != ENOENT) {
            return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file),
                                                SystemReason(errno));
        }
    }
    return {};
}

}  // namespace vistrel
