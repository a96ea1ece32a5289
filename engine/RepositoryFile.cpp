// Writing the repository file: UTF-16 little-endian lines, each ended by a single line feed.

#include "PictureRepository.h"

#include <QByteArray>
#include <QSaveFile>
#include <QStringView>

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

bool Flush(QSaveFile& file, QByteArray& buffer) {
    const bool ok = file.write(buffer) == buffer.size();
    buffer.clear();
    return ok;
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

bool CPictureRepository::SaveToFile(QString path) {
    // The previous file is replaced only by commit(); a QSaveFile destroyed before that throws
    // its temporary file away and leaves the previous file as it was.
    QSaveFile file(RepositoryFilePath(std::move(path)));
    if (!file.open(QIODevice::WriteOnly)) {
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
        if (buffer.size() >= kFlushBytes && !Flush(file, buffer)) {
            return false;
        }
    }
    if (!Flush(file, buffer) || !file.commit()) {
        return false;
    }
    modified = false;
    return true;
}

}  // namespace vistrel
