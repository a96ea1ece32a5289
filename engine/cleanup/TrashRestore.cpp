#include "TrashRestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace vistrel {

namespace {

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

// Renames without ever replacing what is at `target`; EXDEV and the like are left to the caller.
bool RenameNoReplace(const QByteArray& source, const QByteArray& target, int& error) {
    if (renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return true;
    }
    error = errno;
    if (error != EINVAL && error != ENOSYS) {
        return false;
    }
    // A file system without RENAME_NOREPLACE: a hard link fails on an existing name too.
    if (link(source.constData(), target.constData()) != 0) {
        error = errno;
        return false;
    }
    unlink(source.constData());
    return true;
}

// The original place the info record of `pathInTrash` names, in both readings: records are
// meant to be percent-encoded, but some writers (Qt 6.4 among them) leave the path as it is.
// Empty when there is no readable record.
QStringList RecordedPaths(const QString& pathInTrash) {
    QFile info(InfoPathOf(pathInTrash));
    if (!info.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QList<QByteArray> lines = info.readAll().split('\n');
    if (lines.isEmpty() || lines.front().trimmed() != "[Trash Info]") {
        return {};
    }
    for (const QByteArray& line : lines) {
        if (!line.startsWith("Path=") || line.size() == 5) {
            continue;
        }
        QStringList readings;
        for (const QByteArray& value :
             {QByteArray::fromPercentEncoding(line.mid(5)), line.mid(5)}) {
            QString path = QFile::decodeName(value);
            if (!path.startsWith(QLatin1Char('/'))) {
                path = TopDirOf(pathInTrash) + QLatin1Char('/') + path;
            }
            readings.append(QDir::cleanPath(path));
        }
        return readings;
    }
    return {};
}

}  // namespace

RestoreOutcome RestoreFromTrash(const QString& pathInTrash, const QString& originalPath) {
    const QFileInfo trashed(pathInTrash);
    if (!trashed.exists() && !trashed.isSymLink()) {
        return RestoreOutcome::NotInTrash;
    }
    const QStringList recorded = RecordedPaths(pathInTrash);
    if (recorded.isEmpty()) {
        return RestoreOutcome::NotInTrash;
    }
    if (!recorded.contains(QDir::cleanPath(QFileInfo(originalPath).absoluteFilePath()))) {
        return RestoreOutcome::RecordDiffers;
    }
    const QFileInfo target(originalPath);
    if (target.exists() || target.isSymLink()) {
        return RestoreOutcome::PathTaken;
    }
    const QByteArray source = QFile::encodeName(pathInTrash);
    const QByteArray destination = QFile::encodeName(originalPath);
    int error = 0;
    if (!RenameNoReplace(source, destination, error)) {
        if (error == EEXIST) {
            return RestoreOutcome::PathTaken;
        }
        if (error != EXDEV) {
            return RestoreOutcome::Failed;
        }
        // The trash sits on another volume: copy (which never replaces), then drop the copy
        // in the trash only once the file is back whole.
        if (!QFile::copy(pathInTrash, originalPath)) {
            return QFileInfo::exists(originalPath) ? RestoreOutcome::PathTaken
                                                   : RestoreOutcome::Failed;
        }
        QFile::remove(pathInTrash);
    }
    QFile::remove(InfoPathOf(pathInTrash));
    return RestoreOutcome::Restored;
}

}  // namespace vistrel
