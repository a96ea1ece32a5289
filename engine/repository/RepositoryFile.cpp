// Writing the repository file: UTF-16 little-endian lines, each ended by a single line feed.

#include "PictureRepository.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringView>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace vistrel {
namespace {

const QString kExtension = QStringLiteral(".qrx");
// The buffer is handed to the file in pieces of about this size, so that a large repository
// is never held twice in memory.
constexpr qsizetype kFlushBytes = 64 * 1024;

// Code units as the string holds them, low byte first, whatever the machine's byte order.
void AppendUtf16(QByteArray& out, QStringView text) {
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        out.append(static_cast<char>(unit & 0xFF));
        out.append(static_cast<char>(unit >> 8));
    }
}

void AppendLine(QByteArray& out, QStringView text) {
    AppendUtf16(out, text);
    AppendUtf16(out, u"\n");
}

void AppendNumberLine(QByteArray& out, std::int32_t number) {
    AppendLine(out, QString::number(number));
}

QString SystemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Hands the buffer to the system straight away, so that a failing write (a full disk) is seen
// here with the system's own reason: a buffered device would write its last piece only while
// closing, where QSaveFile does not look at the result.
bool Flush(QSaveFile& file, QByteArray& buffer, QString& reason) {
    const char* data = buffer.constData();
    qsizetype left = buffer.size();
    while (left > 0) {
        const ssize_t written = ::write(file.handle(), data, static_cast<std::size_t>(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            reason = SystemErrorText(written < 0 ? errno : ENOSPC);
            return false;
        }
        data += written;
        left -= written;
    }
    buffer.clear();
    return true;
}

// The file's bytes must be on the disk before the rename makes them the repository: after a
// crash or a power cut the name would otherwise point at a file that was never written.
bool SyncToDisk(QSaveFile& file, QString& reason) {
    while (::fsync(file.handle()) != 0) {
        if (errno != EINTR) {
            reason = SystemErrorText(errno);
            return false;
        }
    }
    return true;
}

// Makes the rename itself durable. A failure here comes after the new file took the name, so
// it is not a failed save; there is nothing the user could do about it.
void SyncFolder(const QString& filePath) {
    const QByteArray folder = QFile::encodeName(QFileInfo(filePath).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

// Only the ASCII letters count, so that ".QRX" matches but no other character is folded.
QString CPictureRepository::RepositoryFilePath(QString path) {
    if (path.size() <= kExtension.size()) {
        return path;
    }
    QString ending = path.right(kExtension.size());
    for (QChar& c : ending) {
        if (c >= u'A' && c <= u'Z') {
            c = QChar(c.unicode() + (u'a' - u'A'));
        }
    }
    if (ending != kExtension) {
        path += kExtension;
    }
    return path;
}

bool CPictureRepository::SaveToFile(QString path, QString* reason) {
    QString failure;
    const bool saved = WriteFile(RepositoryFilePath(std::move(path)), failure);
    if (saved) {
        modified = false;
    } else if (reason != nullptr) {
        *reason = failure;
    }
    return saved;
}

bool CPictureRepository::WriteFile(const QString& target, QString& reason) const {
    // The previous file is replaced only by commit(); a QSaveFile destroyed before that throws
    // its temporary file away and leaves the previous file as it was. The bytes go to its file
    // descriptor directly (see Flush), so it holds no buffer of its own.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
        return false;
    }
    QByteArray buffer;
    AppendNumberLine(buffer, GetCount());
    for (const CPictureInfo& picture : pictures) {
        AppendNumberLine(buffer, static_cast<std::int32_t>(picture.path.size()));
        AppendLine(buffer, picture.path);
        AppendNumberLine(buffer, static_cast<std::int32_t>(picture.similar.size()));
        for (const CSimilarInfo& link : picture.similar) {
            AppendNumberLine(buffer, link.index);
            AppendNumberLine(buffer, link.factor);
        }
        if (buffer.size() >= kFlushBytes && !Flush(file, buffer, reason)) {
            return false;
        }
    }
    if (!Flush(file, buffer, reason) || !SyncToDisk(file, reason)) {
        return false;
    }
    if (!file.commit()) {
        reason = file.errorString();
        return false;
    }
    SyncFolder(target);
    return true;
}

}  // namespace vistrel
