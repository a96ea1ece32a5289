#include "TrashRestore.h"

#include "RestoreCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace vistrel {

namespace {

// A record holds a path of at most a few thousand bytes, percent-encoded or not.
constexpr qint64 kMaxRecordBytes = 64 * 1024;

// Closes the descriptor it owns.
class FolderDescriptor {
public:
    explicit FolderDescriptor(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}
    FolderDescriptor(const FolderDescriptor&) = delete;
    FolderDescriptor& operator=(const FolderDescriptor&) = delete;
    ~FolderDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int Get() const { return fd; }
    std::optional<FolderIdentity> Identity() const {
        struct stat status {};
        if (fd < 0 || fstat(fd, &status) != 0) {
            return std::nullopt;
        }
        return FolderIdentity{status.st_dev, status.st_ino};
    }

private:
    int fd;
};

// A trash keeps each file under files/NAME and its record under info/NAME.trashinfo.
QString InfoPathOf(const QString& pathInTrash) {
    const QFileInfo file(pathInTrash);
    return file.dir().absoluteFilePath(QStringLiteral("../info/") + file.fileName() +
                                       QStringLiteral(".trashinfo"));
}

// The folder a relative record path counts from: the one holding the volume's trash,
// ".Trash-UID" or ".Trash/UID".
QString TopDirOf(const QString& pathInTrash) {
    QDir trash = QFileInfo(pathInTrash).dir();  // files/
    trash.cdUp();                               // the trash itself
    const bool perUserFolder = !trash.dirName().startsWith(QStringLiteral(".Trash"));
    trash.cdUp();
    if (perUserFolder) {
        trash.cdUp();
    }
    return trash.absolutePath();
}

// Renames `source` to `name` in `folder` without ever replacing what is there; EXDEV and the
// like are returned to the caller. 0 or an errno.
int RenameNoReplace(const QByteArray& source, int folder, const QByteArray& name) {
    if (renameat2(AT_FDCWD, source.constData(), folder, name.constData(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without RENAME_NOREPLACE: a hard link fails on an existing name too.
    if (linkat(AT_FDCWD, source.constData(), folder, name.constData(), 0) != 0) {
        return errno;
    }
    unlink(source.constData());
    return 0;
}

enum class RecordCheck { Missing, Names, Differs };

// Whether the info record of `pathInTrash` names `originalPath`. Records are meant to hold the
// path percent-encoded, but some writers (Qt 6.4 among them) write it as it is, line feeds
// included; so the value is not read up to the end of its line but held against the path the
// file is known to have come from, in both readings. Only the first Path key counts: a line feed
// in a name can make later lines look like keys.
RecordCheck CheckRecord(const QString& pathInTrash, const QString& originalPath) {
    QFile info(InfoPathOf(pathInTrash));
    if (!info.open(QIODevice::ReadOnly)) {
        return RecordCheck::Missing;
    }
    const QByteArray record = info.read(kMaxRecordBytes);
    const qsizetype headerEnd = record.indexOf('\n');
    if (headerEnd < 0 || record.left(headerEnd).trimmed() != "[Trash Info]") {
        return RecordCheck::Missing;
    }
    const qsizetype key = record.indexOf("\nPath=", headerEnd);
    if (key < 0 || record.size() == key + 6) {
        return RecordCheck::Missing;
    }
    const qsizetype value = key + 6;

    // A relative path counts from the folder that holds the volume's trash.
    const QString topDir = TopDirOf(pathInTrash);
    const QString expected = QDir::cleanPath(QFileInfo(originalPath).absoluteFilePath());
    QList<QByteArray> written{QFile::encodeName(expected)};
    if (expected.startsWith(topDir + QLatin1Char('/'))) {
        written.append(QFile::encodeName(expected.mid(topDir.size() + 1)));
    }
    for (const QByteArray& path : written) {
        const qsizetype end = value + path.size();
        if (record.mid(value, path.size()) == path &&
            (end == record.size() || record[end] == '\n')) {
            return RecordCheck::Names;
        }
    }

    const qsizetype lineEnd = record.indexOf('\n', value);
    QString decoded = QFile::decodeName(
        QByteArray::fromPercentEncoding(record.mid(value, lineEnd < 0 ? -1 : lineEnd - value)));
    if (!decoded.startsWith(QLatin1Char('/'))) {
        decoded = topDir + QLatin1Char('/') + decoded;
    }
    return QDir::cleanPath(decoded) == expected ? RecordCheck::Names : RecordCheck::Differs;
}

}  // namespace

std::optional<FolderIdentity> ReadFolderIdentity(const QString& path) {
    return FolderDescriptor(QFileInfo(path).absolutePath()).Identity();
}

RestoreOutcome RestoreFromTrash(const QString& pathInTrash, const QString& originalPath,
                                const FolderIdentity& folder) {
    const QFileInfo trashed(pathInTrash);
    if (!trashed.exists() && !trashed.isSymLink()) {
        return RestoreOutcome::NotInTrash;
    }
    switch (CheckRecord(pathInTrash, originalPath)) {
        case RecordCheck::Missing:
            return RestoreOutcome::NotInTrash;
        case RecordCheck::Differs:
            return RestoreOutcome::RecordDiffers;
        case RecordCheck::Names:
            break;
    }
    // Everything from here works relative to the folder opened once, so that the folder checked
    // is the one the file goes into, whatever happens to the path meanwhile.
    const QFileInfo target(originalPath);
    const FolderDescriptor opened(target.absolutePath());
    if (opened.Identity() != folder) {
        return RestoreOutcome::FolderChanged;
    }
    const QByteArray name = QFile::encodeName(target.fileName());
    struct stat existing {};
    if (fstatat(opened.Get(), name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        return RestoreOutcome::PathTaken;
    }
    if (errno != ENOENT) {
        return RestoreOutcome::Failed;
    }
    const QByteArray source = QFile::encodeName(pathInTrash);
    int error = RenameNoReplace(source, opened.Get(), name);
    if (error == EXDEV) {
        // The trash sits on another volume: copy, then drop the copy in the trash only once the
        // file is back whole.
        error = CopyIntoFolder(source, opened.Get(), name);
        if (error == 0) {
            unlink(source.constData());
        }
    }
    if (error == EEXIST) {
        return RestoreOutcome::PathTaken;
    }
    if (error != 0) {
        return RestoreOutcome::Failed;
    }
    QFile::remove(InfoPathOf(pathInTrash));
    return RestoreOutcome::Restored;
}

}  // namespace vistrel
