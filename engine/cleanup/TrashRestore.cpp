#include "TrashRestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace vistrel {

namespace {

// A record holds a path of at most a few thousand bytes, percent-encoded or not.
constexpr qint64 kMaxRecordBytes = 64 * 1024;

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

RestoreOutcome RestoreFromTrash(const QString& pathInTrash, const QString& originalPath) {
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
